# Build settings of the stub: small, no exceptions, no RTTI, static zlib.

if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # No frame pointer: the run-time error report takes return addresses,
  # never walks frames, and EBP as one more register saves 3 per cent.
  # Jump tables hold absolute addresses, each one a base relocation; small
  # functions kept out of line cost fewer bytes than their inlined copies.
  # Data keeps the alignment the ABI asks for, not the wider one GCC prefers,
  # and the stack the 4-byte alignment the 32-bit Windows ABI guarantees:
  # nothing in the stub needs more, and both leave padding out. Arguments are
  # pushed rather than stored into a frame reserved up front, which takes a
  # third fewer bytes per call; that needs the stack probe off, which is safe
  # only while no frame reaches a page, so a larger frame fails the build.
  # Link-time optimisation sees the whole stub at once: it drops what no
  # caller reaches and folds constants across files (a sixth of the code).
  set(SFX_ZLIB_OPTIMIZE -Oz -flto -fomit-frame-pointer -fno-jump-tables
    -fno-inline-small-functions -malign-data=abi -mpreferred-stack-boundary=2
    -mno-stack-arg-probe -mno-accumulate-outgoing-args
    -Werror=frame-larger-than=2048 -Werror=vla)
  # The stub's own code, none of it a hot loop, also leaves out the passes
  # that make it larger at -Oz, each measured on this stub (together 2 per
  # cent); zlib's inflate keeps them, for its speed.
  set(SFX_STUB_OPTIMIZE ${SFX_ZLIB_OPTIMIZE} -fno-expensive-optimizations
    -fno-tree-scev-cprop -fno-tree-loop-im -fno-tree-loop-ivcanon -fno-cse-follow-jumps
    -fno-tree-coalesce-vars)
elseif(WIN32)
  # Size is a goal of the 32-bit stub only; the 64-bit one is what runs
  # under Wine, so its inflate is built for speed.
  set(SFX_STUB_OPTIMIZE -Os)
  set(SFX_ZLIB_OPTIMIZE -O3)
else()
  set(SFX_STUB_OPTIMIZE -O2)
  set(SFX_ZLIB_OPTIMIZE -O3)
endif()

# Data sections only off Windows: on PE targets they put zeroed variables
# into .data, where they take room in the file.
if(WIN32)
  set(SFX_DATA_SECTIONS "")
else()
  set(SFX_DATA_SECTIONS -fdata-sections)
endif()

# The x86_64 Windows stub keeps its unwind tables (.pdata, .xdata): without
# them 64-bit Windows dispatches a fault by a fallback scan, and the
# run-time error report may not be reached. Elsewhere nothing unwinds.
if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(SFX_UNWIND_TABLES -fasynchronous-unwind-tables)
else()
  set(SFX_UNWIND_TABLES -fno-asynchronous-unwind-tables)
endif()

function(sfx_stub_code target)
  target_compile_options(${target} PRIVATE
    ${SFX_STUB_OPTIMIZE} -Wall -Wextra -Werror=return-type -fno-exceptions -fno-rtti
    -ffunction-sections ${SFX_DATA_SECTIONS} ${SFX_UNWIND_TABLES}
    -fno-stack-protector)
endfunction()

# zlib, always linked statically. The tools and tests take the system's
# static library whole.
find_library(SFX_ZLIB_ARCHIVE NAMES libz.a REQUIRED)
find_path(SFX_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(sfx_zlib STATIC IMPORTED GLOBAL)
set_target_properties(sfx_zlib PROPERTIES
  IMPORTED_LOCATION ${SFX_ZLIB_ARCHIVE}
  INTERFACE_INCLUDE_DIRECTORIES ${SFX_ZLIB_INCLUDE})

# The stubs take only zlib's inflate, built from Debian's zlib source
# (tools/fetch-sources.sh): no gzip, no default allocators, function
# sections; for size on i686, for speed elsewhere (-O3 inflates a few per
# cent faster than the system's build). The Windows stubs need the source:
# their size is what the README reports. The POSIX stub falls back to the
# system library.
set(SFX_ZLIB_SOURCE ${CMAKE_SOURCE_DIR}/build/zlib-src CACHE PATH
  "zlib's source, for the stubs' inflate (tools/fetch-sources.sh)")
if(EXISTS ${SFX_ZLIB_SOURCE}/inflate.c)
  # The stub reports a damaged stream by its own messages and never reads
  # zlib's: copies of inflate.c and inffast.c without the message texts
  # leave out the strings, the stores and their relocations (half a KiB).
  foreach(file inflate.c inffast.c)
    file(READ ${SFX_ZLIB_SOURCE}/${file} text)
    string(REGEX REPLACE "strm->msg = \\(char \\*\\)\"[^\"]*\"" "" text "${text}")
    file(WRITE ${CMAKE_BINARY_DIR}/zlib-quiet/${file} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SFX_ZLIB_SOURCE}/${file})
  endforeach()
  add_library(sfx_stub_zlib STATIC
    ${CMAKE_BINARY_DIR}/zlib-quiet/inflate.c
    ${SFX_ZLIB_SOURCE}/inftrees.c
    ${CMAKE_BINARY_DIR}/zlib-quiet/inffast.c
    ${SFX_ZLIB_SOURCE}/zutil.c)
  target_include_directories(sfx_stub_zlib PUBLIC ${SFX_ZLIB_SOURCE})
  # Z_SOLO would also turn zlib's copies into byte loops of its own; memcpy
  # (the C library's, or support/os/win32/crt.cpp) copies stored blocks far
  # faster.
  target_compile_definitions(sfx_stub_zlib PRIVATE NO_GZIP Z_SOLO BUILDFIXED HAVE_MEMCPY)
  target_compile_options(sfx_stub_zlib PRIVATE ${SFX_ZLIB_OPTIMIZE} -ffunction-sections -fno-exceptions
    ${SFX_UNWIND_TABLES} -include string.h -w)
  # zutil's message table is only reached through zError and inftrees'
  # copyright string not at all; sections of their own let the linker drop
  # them. (inflate.c keeps one data section: it has zeroed variables.)
  set_source_files_properties(${SFX_ZLIB_SOURCE}/zutil.c ${SFX_ZLIB_SOURCE}/inftrees.c
    PROPERTIES COMPILE_OPTIONS -fdata-sections)
  message(STATUS "stub zlib: inflate from ${SFX_ZLIB_SOURCE}")
elseif(WIN32)
  message(FATAL_ERROR "zlib source missing in ${SFX_ZLIB_SOURCE}: run tools/fetch-sources.sh")
else()
  add_library(sfx_stub_zlib ALIAS sfx_zlib)
  message(WARNING "stub zlib: no source in ${SFX_ZLIB_SOURCE}, linking ${SFX_ZLIB_ARCHIVE}")
endif()

# Locates stubfix, the post-link step that lays out and seals a stub.
if(SFX_HOST_TOOLS_DIR)
  set(SFX_STUBFIX ${SFX_HOST_TOOLS_DIR}/stubfix)
elseif(NOT CMAKE_CROSSCOMPILING)
  set(SFX_STUBFIX $<TARGET_FILE:stubfix>)
else()
  message(FATAL_ERROR "A cross build needs SFX_HOST_TOOLS_DIR (the posix build's bin)")
endif()

# Links a stub executable and seals it. A Windows stub is a GUI program with
# its own entry point and no C run-time library.
function(sfx_stub_executable target)
  # The seal record must survive section garbage collection even where no
  # code reads it.
  if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(seal_symbol _stub_seal)
  else()
    set(seal_symbol stub_seal)
  endif()
  # zlib's inflate takes the build's Adler-32: an object file, so that it is
  # linked ahead of any zlib archive.
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/support/inflate/zlib_checksum.cpp)
  target_link_options(${target} PRIVATE ${SFX_STUB_OPTIMIZE} -Wl,--gc-sections -s
    -Wl,-Map,${CMAKE_BINARY_DIR}/${target}.map -Wl,--undefined=${seal_symbol})
  if(WIN32)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
      set(entry _stub_entry)
    else()
      set(entry stub_entry)
    endif()
    # memcpy and its kin must not turn into calls of themselves, and stay
    # plain code: the compiler emits calls to them after link-time
    # optimisation has chosen what to keep.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/support/os/win32/crt.cpp PROPERTIES
      COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns;-fno-lto")
    # Reproducible (no time stamp) and hardened explicitly rather than by
    # the linker's defaults: relocatable, no executable data, aware of
    # terminal services, and on x86_64 the full address space for ASLR.
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp -Wl,--dynamicbase
      -Wl,--nxcompat -Wl,--tsaware)
    # The i686 stub may use the address space it has: 3 GiB on 32-bit
    # systems booted for it, 4 GiB on 64-bit ones.
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
      target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
    else()
      target_link_options(${target} PRIVATE -Wl,--large-address-aware)
    endif()
    target_link_options(${target} PRIVATE -mwindows -nostartfiles -nodefaultlibs
      -Wl,-e,${entry} -Wl,--enable-stdcall-fixup -static -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/stub.ld)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/stub.ld)
    target_link_libraries(${target} PRIVATE kernel32 user32 shell32 gcc)
  else()
    target_link_options(${target} PRIVATE -Wl,--as-needed -static-libgcc)
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    add_dependencies(${target} stubfix)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${SFX_STUBFIX} $<TARGET_FILE:${target}>
    COMMENT "Laying out and sealing ${target}")
endfunction()
