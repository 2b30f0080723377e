# Build settings of the stub: small, no exceptions, no RTTI, static zlib.

if(WIN32)
  set(SFX_STUB_OPTIMIZE -Os)
else()
  set(SFX_STUB_OPTIMIZE -O2)
endif()

function(sfx_stub_code target)
  target_compile_options(${target} PRIVATE
    ${SFX_STUB_OPTIMIZE} -Wall -Wextra -fno-exceptions -fno-rtti
    -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
    -fno-stack-protector)
endfunction()

# zlib, always linked statically into the stub.
find_library(SFX_ZLIB_ARCHIVE NAMES libz.a REQUIRED)
find_path(SFX_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(sfx_zlib STATIC IMPORTED GLOBAL)
set_target_properties(sfx_zlib PROPERTIES
  IMPORTED_LOCATION ${SFX_ZLIB_ARCHIVE}
  INTERFACE_INCLUDE_DIRECTORIES ${SFX_ZLIB_INCLUDE})

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
  target_link_options(${target} PRIVATE -Wl,--gc-sections -s
    -Wl,-Map,${CMAKE_BINARY_DIR}/${target}.map -Wl,--undefined=${seal_symbol})
  if(WIN32)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
      set(entry _stub_entry)
    else()
      set(entry stub_entry)
    endif()
    set_source_files_properties(${CMAKE_SOURCE_DIR}/support/win32/crt.cpp PROPERTIES
      COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns")
    target_link_options(${target} PRIVATE -mwindows -nostartfiles -nodefaultlibs
      -Wl,-e,${entry} -Wl,--enable-stdcall-fixup -static)
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
