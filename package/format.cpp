// The package format's rules, over a byte source.
#include "package/format.h"

#include "package/pe_image.h"
#include "support/base/c_string.h"
#include "support/inflate/crc32.h"

uint32_t read_u32_from_zero(const ByteSource& source, bool* complete) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  int32_t count = source.read(source.context, bytes, 4);
  if (complete)
    *complete = count == 4;
  return load_u32(bytes);
}

uint8_t read_u8_from_zero(const ByteSource& source) {
  uint8_t byte = 0;
  source.read(source.context, &byte, 1);
  return byte;
}

int32_t read_text_field(const ByteSource& source, uint8_t length, char (&field)[256]) {
  fill_bytes(field, 0, sizeof field);
  source.read(source.context, field, length);
  return c_string_length(field);
}

bool is_package_header(const uint8_t* header, int32_t count) {
  return count >= 6 && same_bytes(header, layout::magic, sizeof layout::magic);
}

Advice warning_advice(uint8_t number) {
  static constexpr auto advice = [] {
    struct Table {
      Advice of[warning_count];
    } table{};
    for (int32_t i = 0; i < warning_count; ++i)
      table.of[i] = warning_table[i].advice;
    return table;
  }();
  return advice.of[number];
}

namespace {

// Bytes read at `position`: the count read, or -1 when it cannot be reached.
int32_t read_at(const ByteSource& source, uint32_t position, void* buffer, int32_t count) {
  if (source.seek(source.context, static_cast<int32_t>(position), 0) != position)
    return -1;
  return source.read(source.context, buffer, count);
}

} // namespace

void warning_message(uint8_t number, char (&text)[verdict_message_size]) {
  // The stub's copy of the messages: pointers only, from the table, for the
  // entries behind the format errors ("" where the stub shows none).
  static constexpr auto messages = [] {
    struct Messages {
      const char* text[warning_count - last_format_error - 1];
    } table{};
    for (int32_t i = last_format_error + 1; i < warning_count; ++i)
      table.text[i - last_format_error - 1] =
          warning_table[i].message ? warning_table[i].message : "";
    return table;
  }();
  if (number > last_format_error) {
    const char* message = messages.text[number - last_format_error - 1];
    copy_bytes(text, message, size_t(c_string_length(message)) + 1);
    return;
  }
  copy_bytes(text, format_error_template, sizeof format_error_template);
  text[format_error_digit] = static_cast<char>('0' + number);
}

namespace {

// Whether a package header stands at `offset`.
bool has_header_at(const ByteSource& source, uint32_t offset) {
  uint8_t header[layout::header_size];
  return offset < 0x80000000u && source.seek(source.context, int32_t(offset), 0) == offset &&
         is_package_header(header, source.read(source.context, header, layout::header_size));
}

} // namespace

uint32_t package_data_end(const ByteSource& source, uint32_t size) {
  // The headers of the stubs lie in the first 512 bytes.
  uint8_t headers[512];
  int32_t count = read_at(source, 0, headers, sizeof headers);
  CertificateTable table = certificate_table(headers, count > 0 ? uint32_t(count) : 0, size);
  return table.present ? table.offset : size;
}

Verdict locate_package(const ByteSource& source, PackageLocation* location) {
  uint32_t size = source.seek(source.context, 0, 2);
  if (size == uint32_t(-1) || size < uint32_t(layout::trailer_size))
    return Verdict::end_unreachable;
  uint32_t end = package_data_end(source, size);
  // Signing aligns the table to 8 bytes with up to 7 zero bytes behind the
  // trailer; an unsigned file's trailer is its last 8 bytes. Where zero
  // bytes could be padding, a package offset whose low bytes look like the
  // marker makes a false candidate: the first one that points at a package
  // header is taken, else the first one at all.
  uint8_t tail[layout::trailer_size + 7];
  int32_t padding_allowed = end == size ? 0 : 7;
  int32_t tail_size = end >= sizeof tail ? int32_t(sizeof tail) : int32_t(end);
  fill_bytes(tail, 0, sizeof tail);
  read_at(source, end - uint32_t(tail_size), tail, tail_size);
  int32_t padding = -1;
  for (int32_t candidate = 0;
       candidate <= padding_allowed && candidate + layout::trailer_size <= tail_size; ++candidate) {
    if (candidate > 0 && tail[tail_size - candidate] != 0)
      break;
    const uint8_t* trailer = tail + tail_size - layout::trailer_size - candidate;
    if (load_u32(trailer) != layout::trailer_marker)
      continue;
    if (padding < 0)
      padding = candidate;
    if (padding_allowed == 0 || has_header_at(source, load_u32(trailer + layout::marker_size))) {
      padding = candidate;
      break;
    }
  }
  if (padding < 0)
    padding = 0;
  location->trailer = end - uint32_t(layout::trailer_size + padding);
  if (end < uint32_t(layout::trailer_size + padding) ||
      source.seek(source.context, static_cast<int32_t>(location->trailer), 0) != location->trailer)
    return Verdict::end_unreachable;
  if (read_u32_from_zero(source) != layout::trailer_marker)
    return Verdict::no_trailer;
  // The offset is a signed distance: 2^31 and more cannot be reached.
  location->package_offset = read_u32_from_zero(source);
  uint32_t position =
      source.seek(source.context, static_cast<int32_t>(location->package_offset), 0);
  if (position == uint32_t(-1) || position != location->package_offset)
    return Verdict::offset_unreachable;
  uint8_t header[layout::header_size];
  fill_bytes(header, 0, sizeof header);
  if (!is_package_header(header, source.read(source.context, header, layout::header_size)))
    return Verdict::no_header;
  location->options = PackageOptions{header[layout::options_offset]};
  location->checksum = load_u32(header + layout::checksum_offset);
  location->checksum_start = header_checksum_start(header);
  // Reserved bytes that are zero around a checksum field that is not: a
  // checksummed header whose option was lost. Writers that leave the
  // reserved bytes zero (or fill them all) are read as always.
  bool carries_checksum = location->checksum != 0 && header[layout::options_offset + 1] == 0 &&
                          load_u32(header + layout::checksum_offset + 4) == 0;
  if (carries_checksum && !location->options.checksum())
    return Verdict::checksum_mismatch;
  return Verdict::ok;
}

uint32_t header_checksum_start(const uint8_t* header) {
  if (!PackageOptions{header[layout::options_offset]}.checksum_header())
    return 0;
  uint8_t covered[layout::header_size];
  copy_bytes(covered, header, sizeof covered);
  store_u32(covered + layout::checksum_offset, 0);
  return crc32_fast_update(0, covered, sizeof covered);
}

namespace {

// The CRC-32 of the package's body; false when it cannot be read.
bool package_body_crc(const ByteSource& source, const PackageLocation& location, uint8_t* buffer,
                      int32_t size, uint32_t* crc) {
  uint32_t body = location.package_offset + uint32_t(layout::header_size);
  if (body > location.trailer || source.seek(source.context, static_cast<int32_t>(body), 0) != body)
    return false;
  uint32_t left = location.trailer - body;
  uint32_t sum = location.checksum_start;
  while (left > 0) {
    int32_t wanted = left < uint32_t(size) ? int32_t(left) : size;
    if (source.read(source.context, buffer, wanted) != wanted)
      return false;
    sum = crc32_fast_update(sum, buffer, size_t(wanted));
    left -= uint32_t(wanted);
  }
  *crc = sum;
  return source.seek(source.context, static_cast<int32_t>(body), 0) == body;
}

} // namespace

Verdict check_package(const ByteSource& source, const PackageLocation& location, uint8_t* buffer,
                      int32_t size) {
  if (!location.options.checksum())
    return Verdict::ok;
  uint32_t crc = 0;
  return package_body_crc(source, location, buffer, size, &crc) && crc == location.checksum
             ? Verdict::ok
             : Verdict::checksum_mismatch;
}

namespace {

// Whether `size` bytes from the source's position lie inside the package,
// whose data ends at `end`. Checked before anything of that size is read or
// allocated.
bool fits_before(const ByteSource& source, uint32_t size, uint32_t end) {
  uint32_t here = source.seek(source.context, 0, 1);
  return size <= layout::largest_compressed_size && here != uint32_t(-1) && here <= end &&
         size <= end - here;
}

} // namespace

Verdict walk_records(const ByteSource& source, const PackageLocation& location,
                     const RecordVisitor& visitor) {
  uint32_t package_end = location.trailer + layout::trailer_size;
  char field[256];
  bool complete = false;
  uint32_t marker = read_u32_from_zero(source, &complete);
  while (complete && marker == layout::record_marker) {
    uint8_t name_length = read_u8_from_zero(source);
    if (name_length == layout::rejected_length)
      return Verdict::name_length_rejected;
    Verdict verdict =
        visitor.file_name(visitor.context, field, read_text_field(source, name_length, field));
    if (verdict != Verdict::ok)
      return verdict;
    uint32_t size = read_u32_from_zero(source);
    if (!fits_before(source, size, package_end))
      return Verdict::stream_beyond_end;
    verdict = visitor.file_stream(visitor.context, size);
    if (verdict != Verdict::ok)
      return verdict;
    marker = read_u32_from_zero(source, &complete);
  }
  if (complete && marker == layout::run_marker) {
    uint8_t length = read_u8_from_zero(source);
    if (length == layout::rejected_length)
      return Verdict::run_length_rejected;
    return visitor.run_command(visitor.context, field, read_text_field(source, length, field));
  }
  // The records end at the trailer, or at a writer's gap too short to hold
  // a record (no record fits in fewer than 9 bytes). Any other end is a
  // damaged package whose later records would go missing without a word.
  uint32_t here = source.seek(source.context, 0, 1);
  uint32_t tail_start = here - uint32_t(layout::marker_size);
  bool at_trailer = complete && marker == layout::trailer_marker && tail_start == location.trailer;
  bool short_gap = complete && here != uint32_t(-1) && tail_start < location.trailer &&
                   location.trailer - tail_start < uint32_t(layout::shortest_record);
  return at_trailer || short_gap ? Verdict::ok : Verdict::records_end_elsewhere;
}

namespace {

// Names and the command pass unexamined: only the walk's verdict counts.
Verdict accept_text(void*, const char*, int32_t) {
  return Verdict::ok;
}

Verdict skip_stream(void* context, uint32_t size) {
  const ByteSource& source = *static_cast<ByteSource*>(context);
  return source.seek(source.context, static_cast<int32_t>(size), 1) == uint32_t(-1)
             ? Verdict::stream_beyond_end
             : Verdict::ok;
}

} // namespace

bool is_whole_package(const ByteSource& source, uint8_t* buffer, int32_t size,
                      PackageOptions* options) {
  ByteSource skipping = source; // the visitor's context: it seeks past each stream
  PackageLocation location;
  if (locate_package(source, &location) != Verdict::ok)
    return false;
  *options = location.options;
  return check_package(source, location, buffer, size) == Verdict::ok &&
         walk_records(source, location,
                      RecordVisitor{&skipping, accept_text, skip_stream, accept_text}) ==
             Verdict::ok;
}

bool is_split_set_header(const uint8_t* bytes, int32_t* volume_count) {
  *volume_count = static_cast<int32_t>(load_u32(bytes + layout::marker_size));
  return load_u32(bytes) == layout::split_set_marker;
}

void store_split_set_header(uint8_t* bytes, int32_t volume_count) {
  store_u32(bytes, layout::split_set_marker);
  store_u32(bytes + layout::marker_size, static_cast<uint32_t>(volume_count));
}

void volume_extension(int32_t number, char (&extension)[5]) {
  extension[0] = '.';
  extension[1] = 'F';
  extension[2] = hex_digit(static_cast<uint32_t>(number) >> 4);
  extension[3] = hex_digit(static_cast<uint32_t>(number));
  extension[4] = '\0';
}
