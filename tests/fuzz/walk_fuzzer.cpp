// Fuzzes the package format in memory: the trailer and header checks, the
// checksum, the record walk and the joined-copy check over any bytes, with
// or without a PE image (PE32 or PE32+) and a certificate table around
// them; the PE checksum; the split-set header and the volume names.
//
// The first input byte chooses the surroundings, the rest is the file.
// Beyond "no crash": every verdict is one of the shared table's, a package
// the walk accepts comes back record for record from the tool's writer,
// the joined-copy check agrees with the walk, and the PE checksum taken in
// two pieces equals the one taken whole.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/pe_image.h"
#include "tools/packlib/package.h"

using packlib::Bytes;

namespace {

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "finding: %s\n", what);
  std::abort();
}

struct Record {
  std::string name;
  Bytes stream;
  bool operator==(const Record&) const = default;
};

struct Walk {
  Verdict verdict = Verdict::ok;
  PackageLocation location;
  std::vector<Record> records;
  std::optional<std::string> command;
};

struct Recorder {
  packlib::InstallerSource* in;
  Walk* walk;
};

Verdict take_name(void* context, const char* name, int32_t length) {
  static_cast<Recorder*>(context)->walk->records.push_back({std::string(name, size_t(length)), {}});
  return Verdict::ok;
}

Verdict take_stream(void* context, uint32_t size) {
  Recorder& recorder = *static_cast<Recorder*>(context);
  packlib::MemorySource& memory = recorder.in->memory;
  auto begin = memory.bytes.begin() + memory.position;
  recorder.walk->records.back().stream.assign(begin, begin + size);
  memory.position += size;
  return Verdict::ok;
}

Verdict take_command(void* context, const char* command, int32_t length) {
  static_cast<Recorder*>(context)->walk->command = std::string(command, size_t(length));
  return Verdict::ok;
}

Walk walk(std::span<const uint8_t> file) {
  Walk result;
  packlib::InstallerSource in(file);
  result.verdict = locate_package(in.source, &result.location);
  if (result.verdict != Verdict::ok)
    return result;
  uint8_t buffer[4096];
  result.verdict = check_package(in.source, result.location, buffer, sizeof buffer);
  if (result.verdict != Verdict::ok)
    return result;
  Recorder recorder{&in, &result};
  result.verdict = walk_records(in.source, result.location,
                                RecordVisitor{&recorder, take_name, take_stream, take_command});
  return result;
}

// A PE image's headers in 512 bytes, as a stub's are: the DOS header
// pointing at "PE\0\0", a file header and an optional header with its data
// directories.
Bytes pe_headers(bool plus) {
  Bytes headers(512, 0);
  headers[0] = 'M', headers[1] = 'Z';
  store_u32(&headers[60], 64);
  headers[64] = 'P', headers[65] = 'E';
  uint32_t optional = 64 + 24;
  headers[optional] = 0x0B;
  headers[optional + 1] = plus ? 0x02 : 0x01;
  return headers;
}

// The file the flags describe around `body`.
Bytes surround(uint8_t flags, std::span<const uint8_t> body) {
  Bytes file;
  if (flags & 1)
    file = pe_headers(flags & 2);
  file.insert(file.end(), body.begin(), body.end());
  if ((flags & 1) && (flags & 4)) {
    if (flags & 8)
      file.resize((file.size() + 7) & ~size_t(7), 0); // signing's alignment
    uint32_t table_size = 8 + 8 * uint32_t(flags >> 4);
    PeFields pe = pe_fields(file.data(), uint32_t(file.size()));
    store_u32(&file[pe.certificates], uint32_t(file.size()));
    store_u32(&file[pe.certificates + 4], table_size);
    file.resize(file.size() + table_size, 0xC5);
  }
  return file;
}

void check_verdict(Verdict verdict) {
  if (verdict == Verdict::ok)
    return;
  if (uint8_t(verdict) >= uint8_t(Verdict::content_too_large))
    finding("a verdict outside the walk's");
  char text[verdict_message_size];
  verdict_message(verdict, text);
  if (text[0] == '\0')
    finding("a verdict without a message");
}

// The tool writes the records again behind the same bytes in front: the
// walk must find the same records, command and options.
void check_round_trip(std::span<const uint8_t> file, const Walk& first) {
  for (const Record& record : first.records)
    if (record.name.size() > size_t(layout::longest_name))
      return; // a name the writer does not store
  if (first.command && first.command->size() > size_t(layout::largest_length))
    return;
  packlib::PackageBuilder builder(file.first(first.location.package_offset));
  builder.header().options(first.location.options.bits);
  for (const Record& record : first.records)
    builder.record(record.name, record.stream);
  if (first.command)
    builder.run(*first.command);
  builder.trailer();
  if (first.location.options.checksum())
    builder.seal_checksum();
  Walk second = walk(builder.bytes());
  if (second.verdict != Verdict::ok || second.records != first.records ||
      second.command != first.command ||
      second.location.options.bits != first.location.options.bits)
    finding("a package the walk accepts does not come back from the writer");
}

void check_pe_checksum(std::span<const uint8_t> file, uint8_t split) {
  PeFields pe = pe_fields(file.data(), uint32_t(file.size()));
  if (!pe.valid)
    return;
  uint32_t whole = pe_checksum(file.data(), uint32_t(file.size()), pe);
  PeChecksum pieces;
  pieces.field = pe.checksum;
  uint32_t first = uint32_t(file.size() * split / 256);
  add_to_pe_checksum(pieces, file.data(), first);
  add_to_pe_checksum(pieces, file.data() + first, uint32_t(file.size()) - first);
  if (pe_checksum_value(pieces) != whole)
    finding("the PE checksum taken in pieces differs");
}

void check_split_header(std::span<const uint8_t> file) {
  if (file.size() < size_t(layout::split_set_offset + layout::split_set_header_size))
    return;
  int32_t count = 0;
  if (is_split_set_header(file.data() + layout::split_set_offset, &count)) {
    uint8_t again[8];
    store_split_set_header(again, count);
    int32_t read_back = -1;
    if (!is_split_set_header(again, &read_back) || read_back != count)
      finding("a split-set header does not survive writing");
  }
  char extension[5];
  volume_extension(count & 0xFF, extension);
  if (extension[0] != '.' || extension[1] != 'F' || extension[4] != '\0')
    finding("a volume extension of the wrong form");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20))
    return 0;
  Bytes file = surround(data[0], std::span(data + 1, size - 1));
  Walk first = walk(file);
  check_verdict(first.verdict);
  // The joined-copy check reaches the same verdict on the same bytes.
  packlib::InstallerSource in(file);
  uint8_t buffer[512];
  PackageOptions options;
  if (is_whole_package(in.source, buffer, sizeof buffer, &options) !=
      (first.verdict == Verdict::ok))
    finding("the joined-copy check and the walk disagree");
  if (first.verdict == Verdict::ok)
    check_round_trip(file, first);
  check_pe_checksum(file, data[0]);
  check_split_header(file);
  return 0;
}
