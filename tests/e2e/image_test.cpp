// The Windows stubs as files: PE layout, subsystem, the free split-set header
// bytes, the imported DLLs and the size. The i686 stub cannot run here, so
// this is what checks it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "package/format.h"
#include "package/pe_image.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/stub_image.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint32_t u32(const Bytes& b, size_t at) {
  return load_u32(&b[at]);
}
uint16_t u16(const Bytes& b, size_t at) {
  return load_u16(&b[at]);
}

struct Image {
  Bytes bytes;
  uint32_t pe = 0;
  bool plus = false;
  uint32_t optional = 0;
  uint32_t directories = 0;

  explicit Image(const fs::path& path) : bytes(packlib::read_whole_file(path)) {
    PeFields fields = pe_fields(bytes.data(), uint32_t(bytes.size()));
    pe = fields.pe_offset;
    optional = fields.optional;
    plus = fields.plus;
    directories = fields.directories;
  }

  // File offset of a relative virtual address.
  size_t offset_of(uint32_t rva) const {
    uint32_t sections = u16(bytes, pe + 6);
    uint32_t table = optional + u16(bytes, pe + 20);
    for (uint32_t i = 0; i < sections; ++i) {
      size_t s = table + i * 40;
      uint32_t address = u32(bytes, s + 12), size = u32(bytes, s + 8), raw = u32(bytes, s + 20);
      if (rva >= address && rva < address + size)
        return raw + (rva - address);
    }
    return 0;
  }

  uint32_t directory_entry(int index, int field) const {
    return u32(bytes, directories + index * 8 + field * 4);
  }

  // True when some section is both writable and executable.
  bool has_writable_code() const {
    uint32_t sections = u16(bytes, pe + 6);
    uint32_t table = optional + u16(bytes, pe + 20);
    for (uint32_t i = 0; i < sections; ++i) {
      uint32_t flags = u32(bytes, table + i * 40 + 36);
      if ((flags & 0x20000000) && (flags & 0x80000000))
        return true;
    }
    return false;
  }

  std::set<std::string> imported_dlls() const {
    std::set<std::string> names;
    size_t at = offset_of(directory_entry(1, 0)); // data directory 1: imports
    for (; at && u32(bytes, at + 12) != 0; at += 20) {
      std::string name(reinterpret_cast<const char*>(&bytes[offset_of(u32(bytes, at + 12))]));
      for (char& c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
      names.insert(name);
    }
    return names;
  }
};

class WindowsStub : public testing::TestWithParam<const char*> {};

TEST_P(WindowsStub, Layout) {
  fs::path path = fs::path(SFX_SOURCE_DIR) / "build" / GetParam() / "bin" / "stub.exe";
  if (!fs::exists(path))
    GTEST_SKIP() << path << " not built";
  Image image(path);
  ASSERT_TRUE(packlib::is_pe_image(image.bytes));
  EXPECT_EQ(image.pe, 136u);
  for (size_t i = 128; i < 136; ++i)
    ASSERT_EQ(image.bytes[i], 0) << "byte " << i;
  bool win32 = std::string(GetParam()) == "win32";
  EXPECT_EQ(u16(image.bytes, image.pe + 4), win32 ? 0x14C : 0x8664);
  EXPECT_EQ(image.plus, !win32);
  EXPECT_EQ(u16(image.bytes, image.optional + 68), 2); // GUI subsystem
  EXPECT_EQ(image.imported_dlls(),
            (std::set<std::string>{"kernel32.dll", "user32.dll", "shell32.dll"}));
  packlib::SealState seal = packlib::check_seal(image.bytes);
  EXPECT_TRUE(seal.sealed && seal.intact);
  EXPECT_EQ(seal.length, image.bytes.size());
  // The sections are laid out by the build's own linker script: the image
  // must still be relocatable (address-space layout randomisation) with
  // non-executable data, and nothing writable may be executable.
  // Hardened explicitly: relocatable, no executable data, aware of terminal
  // services, and on x86_64 the high-entropy address space.
  uint16_t dll_characteristics = u16(image.bytes, image.optional + 70);
  uint16_t hardened = win32 ? 0x8140 : 0x8160;
  EXPECT_EQ(dll_characteristics & hardened, hardened);
  // Every stub may use the whole address space it has (large-address aware).
  EXPECT_NE(u16(image.bytes, image.pe + 22) & 0x0020, 0);
  // Reproducible: no time stamp; and a checksum that is right for the file
  // as stubfix left it.
  EXPECT_EQ(u32(image.bytes, image.pe + 8), 0u);
  PeFields fields = pe_fields(image.bytes.data(), uint32_t(image.bytes.size()));
  EXPECT_EQ(u32(image.bytes, fields.checksum),
            pe_checksum(image.bytes.data(), uint32_t(image.bytes.size()), fields));
  // The x86_64 stub keeps its unwind tables, which 64-bit Windows dispatches
  // faults by.
  if (!win32) {
    EXPECT_NE(image.offset_of(image.directory_entry(3, 0)), 0u);
    EXPECT_GT(image.directory_entry(3, 1), 0u);
  }
  EXPECT_NE(image.offset_of(image.directory_entry(5, 0)), 0u); // base relocations
  EXPECT_GT(image.directory_entry(5, 1), 0u);
  EXPECT_NE(image.offset_of(image.directory_entry(12, 0)), 0u); // import address table
  EXPECT_FALSE(image.has_writable_code());
  // The application manifest: the Windows versions from Vista to 10/11, no
  // code page of its own (names follow the package's option), no execution
  // level (so that Windows keeps its
  // installer detection and the 32-bit stub its file virtualization).
  EXPECT_NE(image.offset_of(image.directory_entry(2, 0)), 0u);
  std::string text(image.bytes.begin(), image.bytes.end());
  size_t start = text.find("<assembly"), end = text.find("</assembly>");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  std::string manifest = text.substr(start, end - start);
  for (const char* os :
       {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + os + "\"/>"), std::string::npos)
        << os;
  EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
  EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos);
  // The 32-bit stub stays within 35 KiB whole (the build takes zlib's
  // inflate from source, or fails): headers, code and constants, and one
  // data section with the imports, the manifest and the relocations. The
  // README reports the sizes.
  if (win32) {
    EXPECT_LE(image.bytes.size(), 35u * 1024);
    EXPECT_EQ(u16(image.bytes, image.pe + 6), 3); // code, zeroed data, data
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsStub, testing::Values("win32", "win64"));

} // namespace
