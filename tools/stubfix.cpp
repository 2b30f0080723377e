// stubfix: the post-link step of every stub build.
//
// For a Windows stub it lays the image out anew, smaller: the resources
// and the base relocations, which the linker leaves in sections of their
// own behind the import section, move into that section's last page, and
// the PE headers move to offset 136, so that bytes 128 to 135 (the
// split-set header of a head) have no other meaning and the headers of a
// three-section image fit one 512-byte block. Then, for every stub, it
// writes the seal: the sealed length and the CRC-32 of the file into the
// marked record inside the stub, and for a Windows stub the PE checksum.
// It fails when the image is not laid out as the build's linker script
// lays it, or the record is missing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/pe_image.h"
#include "package/seal.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/stub_image.h"

namespace {

// Bytes 0 to 127 keep the DOS header and stub, 128 to 135 are the
// split-set header's.
constexpr uint32_t headers_offset = 136;
constexpr uint32_t section_header_size = 40;
constexpr int resource_directory = 2;
constexpr int relocation_directory = 5;

[[noreturn]] void malformed(const std::string& what) {
  throw std::runtime_error("unexpected image: " + what);
}

uint32_t align_up(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct Section {
  uint8_t header[section_header_size];
  std::vector<uint8_t> data; // the raw bytes, then zeros up to the virtual size
  uint32_t virtual_size() const { return load_u32(header + 8); }
  uint32_t rva() const { return load_u32(header + 12); }
  std::string name() const {
    return std::string(reinterpret_cast<const char*>(header),
                       strnlen(reinterpret_cast<const char*>(header), 8));
  }
};

// A PE image taken apart: the DOS part, the NT headers (signature, file
// header, optional header) and the sections with their bytes.
struct Image {
  std::vector<uint8_t> dos;
  std::vector<uint8_t> nt;
  std::vector<Section> sections;
  uint32_t directories = 0; // offset of the data directories within `nt`

  explicit Image(const std::vector<uint8_t>& bytes) {
    PeFields pe = pe_fields(bytes.data(), uint32_t(bytes.size()));
    if (!pe.valid)
      malformed("no PE headers");
    uint32_t optional_size = load_u16(&bytes[pe.pe_offset + 20]);
    uint32_t count = load_u16(&bytes[pe.pe_offset + 6]);
    uint32_t table = pe.optional + optional_size;
    if (table + count * section_header_size > bytes.size())
      malformed("section table past the end");
    dos.assign(bytes.begin(), bytes.begin() + std::min<uint32_t>(pe.pe_offset, 128));
    nt.assign(bytes.begin() + pe.pe_offset, bytes.begin() + table);
    directories = pe.directories - pe.pe_offset;
    for (uint32_t i = 0; i < count; ++i) {
      Section section;
      std::memcpy(section.header, &bytes[table + i * section_header_size], section_header_size);
      uint32_t raw_size = load_u32(section.header + 16), raw = load_u32(section.header + 20);
      if (raw_size != 0 && (uint64_t(raw) + raw_size > bytes.size()))
        malformed("section " + section.name() + " past the end");
      if (raw_size != 0)
        section.data.assign(bytes.begin() + raw, bytes.begin() + raw + raw_size);
      if (section.data.size() < section.virtual_size() && raw_size != 0)
        section.data.resize(section.virtual_size());
      sections.push_back(std::move(section));
    }
  }

  uint32_t file_alignment() const { return load_u32(&nt[24 + 36]); }
  uint32_t section_alignment() const { return load_u32(&nt[24 + 32]); }
  uint8_t* directory(int index) { return &nt[directories + index * 8]; }

  int find(const char* name) const {
    for (size_t i = 0; i < sections.size(); ++i)
      if (sections[i].name() == name)
        return int(i);
    return -1;
  }

  // The file: headers at `headers_offset`, then every section's raw bytes
  // in one 512-byte-aligned run.
  std::vector<uint8_t> bytes() {
    uint32_t alignment = file_alignment();
    uint32_t table = headers_offset + uint32_t(nt.size());
    uint32_t size_of_headers =
        align_up(table + uint32_t(sections.size()) * section_header_size, alignment);
    nt[6] = uint8_t(sections.size());
    nt[7] = uint8_t(sections.size() >> 8);
    store_u32(&nt[24 + 60], size_of_headers);
    const Section& last = sections.back();
    store_u32(&nt[24 + 56], align_up(last.rva() + last.virtual_size(), section_alignment()));
    std::vector<uint8_t> out(size_of_headers, 0);
    std::copy(dos.begin(), dos.end(), out.begin());
    store_u32(&out[60], headers_offset);
    std::copy(nt.begin(), nt.end(), out.begin() + headers_offset);
    for (size_t i = 0; i < sections.size(); ++i) {
      Section& section = sections[i];
      // Trailing zeros within the virtual size need no file bytes.
      uint32_t used = uint32_t(section.data.size());
      while (used > 0 && section.data[used - 1] == 0)
        --used;
      uint32_t raw_size = used == 0 ? 0 : align_up(used, alignment);
      store_u32(section.header + 16, raw_size);
      store_u32(section.header + 20, raw_size == 0 ? 0 : uint32_t(out.size()));
      std::memcpy(&out[table + i * section_header_size], section.header, section_header_size);
      out.insert(out.end(), section.data.begin(), section.data.begin() + used);
      out.resize(out.size() + (raw_size - used), 0);
    }
    return out;
  }
};

// Adds `delta` to the address of every resource's data, walking the
// resource tree of `data` from its root at `root` (three levels: type,
// name, language).
void shift_resources(std::vector<uint8_t>& data, uint32_t root, uint32_t table, int32_t delta,
                     int depth) {
  if (depth > 3 || uint64_t(root) + table + 16 > data.size())
    malformed("resource directory");
  uint32_t entries =
      uint32_t(load_u16(&data[root + table + 12])) + load_u16(&data[root + table + 14]);
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t entry = root + table + 16 + i * 8;
    if (uint64_t(entry) + 8 > data.size())
      malformed("resource entry");
    uint32_t target = load_u32(&data[entry + 4]);
    if (target & 0x80000000u) {
      shift_resources(data, root, target & 0x7FFFFFFFu, delta, depth + 1);
      continue;
    }
    if (uint64_t(root) + target + 16 > data.size())
      malformed("resource data entry");
    store_u32(&data[root + target], load_u32(&data[root + target]) + uint32_t(delta));
  }
}

// Moves the resource and base-relocation sections, the image's last two,
// into the tail of the import section before them, when both fit in its
// last page. The relocations name places in the code and data, none in
// what moves; the resource tree holds the addresses of its data, which
// move with it.
void fold_into_import_section(Image& image) {
  int imports = image.find(".idata");
  int resources = image.find(".rsrc");
  int relocations = image.find(".reloc");
  int count = int(image.sections.size());
  if (imports < 0 || resources != imports + 1 || relocations != imports + 2 ||
      relocations != count - 1)
    malformed("the imports, resources and relocations are not the last three sections");
  Section& target = image.sections[size_t(imports)];
  Section* moved[2] = {&image.sections[size_t(resources)], &image.sections[size_t(relocations)]};
  const int directories[2] = {resource_directory, relocation_directory};
  uint32_t at[2];
  uint32_t end = target.rva() + target.virtual_size();
  for (int i = 0; i < 2; ++i) {
    uint8_t* entry = image.directory(directories[i]);
    if (load_u32(entry) != moved[i]->rva() || load_u32(entry + 4) > moved[i]->data.size())
      malformed("directory " + std::to_string(directories[i]) + " is not its section");
    at[i] = align_up(end, 4);
    end = at[i] + load_u32(entry + 4);
  }
  if (end > align_up(target.rva() + target.virtual_size(), image.section_alignment()))
    return; // no room: the image keeps its sections
  shift_resources(moved[0]->data, 0, 0, int32_t(at[0] - moved[0]->rva()), 1);
  for (int i = 0; i < 2; ++i) {
    uint8_t* entry = image.directory(directories[i]);
    target.data.resize(at[i] - target.rva(), 0);
    target.data.insert(target.data.end(), moved[i]->data.begin(),
                       moved[i]->data.begin() + load_u32(entry + 4));
    store_u32(entry, at[i]);
  }
  store_u32(target.header + 8, uint32_t(target.data.size()));
  std::memcpy(target.header, ".data\0\0\0", 8); // imports, data, resources, relocations
  image.sections.resize(size_t(imports) + 1);
}

std::vector<uint8_t> lay_out(const std::vector<uint8_t>& bytes) {
  Image image(bytes);
  if (image.find(".rsrc") >= 0)
    fold_into_import_section(image);
  return image.bytes();
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stubfix STUB\n");
    return 2;
  }
  try {
    std::vector<uint8_t> bytes = packlib::read_whole_file(argv[1]);
    if (packlib::is_pe_image(bytes)) {
      bytes = lay_out(bytes);
    }
    size_t seal_at = packlib::find_seal_record(bytes);
    uint32_t length = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> copy = bytes;
    uint32_t crc = seal_crc(copy.data(), length, static_cast<uint32_t>(seal_at));
    store_u32(&bytes[seal_at + seal_offset_field], static_cast<uint32_t>(seal_at));
    store_u32(&bytes[seal_at + seal_length_field], length);
    store_u32(&bytes[seal_at + seal_crc_field], crc);
    // Last, as it covers every byte: the seal leaves the field out.
    PeFields pe = pe_fields(bytes.data(), length);
    if (pe.valid)
      store_u32(&bytes[pe.checksum], pe_checksum(bytes.data(), length, pe));
    packlib::write_whole_file(argv[1], bytes);
    std::printf("%s: %u bytes, sealed\n", argv[1], length);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "stubfix: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
