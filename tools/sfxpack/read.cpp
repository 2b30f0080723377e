// sfxpack list, verify and extract: the stub's own engine over the installer
// or split set, read in place, with the tool's output on top.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "extract/extract.h"
#include "join/join.h"
#include "package/format.h"
#include "package/name_check.h"
#include "package/pe_image.h"
#include "support/os/paths.h"
#include "support/os/system.h"
#include "support/text/path_text.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/host.h"
#include "tools/packlib/package.h"
#include "tools/packlib/printable.h"
#include "tools/packlib/sha256.h"
#include "tools/packlib/stub_image.h"
#include "tools/sfxpack/cli.h"
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/frame.h"
#include "tools/sfxpack/progress.h"

namespace fs = std::filesystem;
using packlib::Bytes;

namespace sfxpack {

namespace {

// The first bytes read for what the file is and for its seal: every stub
// lies well inside them.
constexpr size_t stub_bytes = 1 << 20;

using packlib::File;

// An installer, or a head with its volumes, read in place as the stub reads
// its own file or its joined copy: one byte source over the pieces, the
// head as the joined copy holds it. Nothing is held in memory but the
// head's first bytes.
class InstallerFile {
public:
  explicit InstallerFile(const std::string& path) {
    add_piece(path);
    Bytes head = read_start(pieces_[0], std::min<size_t>(pieces_[0].size, stub_bytes));
    start = head;
    signed_file = certificate_table(head.data(), uint32_t(head.size()), pieces_[0].size).present;
    int32_t count = 0;
    if (head.size() >= size_t(layout::split_set_offset + layout::split_set_header_size) &&
        is_split_set_header(head.data() + layout::split_set_offset, &count)) {
      if (count > layout::largest_volume_count)
        throw std::runtime_error(path + ": split set of more than 200 files");
      // The head as the joined copy holds it: its marker broken, a
      // certificate table left behind.
      pieces_[0].size = break_joined_head(head.data(), uint32_t(head.size()), pieces_[0].size);
      patch_.assign(head.begin(), head.begin() + long(std::min<size_t>(head.size(), 512)));
      for (int i = 1; i < count; ++i) {
        volumes.push_back(packlib::volume_name(path, i));
        add_piece(volumes.back());
      }
    }
    size = 0;
    for (Piece& piece : pieces_) {
      piece.offset = size;
      size += piece.size;
    }
  }

  ByteSource source() { return ByteSource{this, read, seek}; }

  // A source that ends `cut` bytes early, for bytes appended behind an
  // installer.
  void cut_end(uint32_t cut) { limit_ = size - std::min(cut, size); }

  Bytes start; // the first bytes of the head as stored
  std::vector<std::string> volumes;
  bool signed_file = false;
  uint32_t size = 0;

private:
  struct Piece {
    File file;
    uint32_t offset = 0;
    uint32_t size = 0;
  };

  // A piece must be a regular file: a link to a device or a pipe would be
  // read without end. All of them together stay inside the format's 2 GiB.
  void add_piece(const std::string& path) {
    std::error_code error;
    fs::path native = packlib::utf8_path(path);
    fs::file_status status = fs::status(native, error);
    if (error || status.type() == fs::file_type::not_found)
      throw std::runtime_error(path + ": " +
                               (error ? error.message() : std::string("no such file")));
    if (status.type() != fs::file_type::regular)
      throw std::runtime_error(path + ": not a regular file");
    uint64_t bytes = fs::file_size(native, error);
    uint64_t total = bytes;
    for (const Piece& piece : pieces_)
      total += piece.size;
    if (error || total > uint64_t(layout::largest_compressed_size))
      throw std::runtime_error(path + ": larger than the 2 GiB an installer can hold");
    File file(packlib::open_file(native, "rb"));
    if (!file)
      throw packlib::failure(native, "cannot open");
    pieces_.push_back(Piece{std::move(file), 0, uint32_t(bytes)});
    limit_ = uint32_t(total);
  }

  static Bytes read_start(Piece& piece, size_t count) {
    Bytes bytes(count);
    std::fseek(piece.file.get(), 0, SEEK_SET);
    bytes.resize(std::fread(bytes.data(), 1, count, piece.file.get()));
    return bytes;
  }

  static int32_t read(void* context, void* buffer, int32_t count) {
    InstallerFile& in = *static_cast<InstallerFile*>(context);
    uint8_t* to = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count && in.position_ < in.limit_) {
      auto piece = std::upper_bound(in.pieces_.begin(), in.pieces_.end(), in.position_,
                                    [](uint32_t at, const Piece& p) { return at < p.offset; });
      Piece& from = *(piece - 1);
      uint32_t within = in.position_ - from.offset;
      size_t wanted =
          std::min<size_t>({size_t(count - done), from.size - within, in.limit_ - in.position_});
      if (wanted == 0)
        break;
      size_t got = 0;
      if (&from == &in.pieces_[0] && within < in.patch_.size()) {
        got = std::min(wanted, in.patch_.size() - within);
        std::memcpy(to + done, in.patch_.data() + within, got);
      } else {
        if (std::fseek(from.file.get(), long(within), SEEK_SET) != 0)
          return done > 0 ? done : -1;
        got = std::fread(to + done, 1, wanted, from.file.get());
        if (got == 0)
          return done > 0 ? done : -1;
      }
      done += int32_t(got);
      in.position_ += uint32_t(got);
    }
    return done;
  }

  static uint32_t seek(void* context, int32_t offset, int origin) {
    InstallerFile& in = *static_cast<InstallerFile*>(context);
    int64_t base = origin == seek_from_start     ? 0
                   : origin == seek_from_current ? in.position_
                                                 : in.limit_;
    int64_t position = base + offset;
    if (position < 0 || position > int64_t(UINT32_MAX - 1))
      return uint32_t(-1);
    in.position_ = uint32_t(position);
    return in.position_;
  }

  std::vector<Piece> pieces_;
  Bytes patch_; // the joined head's first bytes, where they differ from the file's
  uint32_t position_ = 0;
  uint32_t limit_ = 0;
};

// One file record as the engine reported it.
struct ReadRecord {
  std::string name;
  uint32_t stored_size = 0;
  uint32_t size = 0;
  Verdict verdict = Verdict::ok;
};

// What reading found: the verdict the walk ended with, and every record
// reported on the way.
struct Reading {
  Verdict verdict = Verdict::ok;
  PackageLocation location;
  std::vector<ReadRecord> records;
  std::optional<std::string> run_command;
};

struct Collector {
  Reading* reading;
  bool go_on; // past a record's own verdict, to report them all
  Progress* progress;
  bool exhausted = false; // memory ran out while collecting
};

// The walk is the stub's code, built without exceptions: none may pass
// through it, so running out of memory stops the walk here and is thrown
// again once it has returned.
Verdict collect_record(void* context, const RecordReport& report) noexcept {
  Collector& collector = *static_cast<Collector*>(context);
  try {
    collector.reading->records.push_back(
        ReadRecord{std::string(report.name.c_str(), size_t(report.name.length())),
                   report.stored_size, report.size, report.verdict});
  } catch (const std::bad_alloc&) {
    collector.exhausted = true;
    return Verdict::content_too_large;
  }
  collector.progress->add(report.stored_size);
  return collector.go_on ? Verdict::ok : report.verdict;
}

void collect_command(void* context, const char* command, int32_t length) noexcept {
  Collector& collector = *static_cast<Collector*>(context);
  try {
    collector.reading->run_command = std::string(command, size_t(length));
  } catch (const std::bad_alloc&) {
    collector.exhausted = true;
  }
}

bool any_name(const char*, int32_t) {
  return true;
}

enum class Mode { list, verify, extract };

// Locates and checks the package as the stub does, then runs the stub's
// record walk over it: list and verify inflate and check every stream and
// write nothing; extract writes below `target` as the stub does.
Reading read_installer(InstallerFile& file, Mode mode, const String& target, bool shown) {
  load_code_page();
  Reading reading;
  Progress progress(file.size, shown);
  Collector collector{&reading, mode != Mode::extract, &progress};
  RecordReader reader;
  reader.extractor.source = file.source();
  reader.extractor.target_path = target;
  reader.writes = mode == Mode::extract;
  // Names are checked by the rules of the system the stub runs on; list
  // only shows them.
  if (mode == Mode::list)
    reader.name_is_safe = any_name;
  else if (mode == Mode::verify)
    reader.name_is_safe =
        packlib::is_elf_image(file.start) ? is_safe_posix_name : is_safe_windows_name;
  reader.observer = RecordObserver{&collector, collect_record, collect_command};
  char setup_command[setup_command_size];
  reading.verdict = read_package(reader, &reading.location, setup_command);
  finish_extraction(reader.extractor, String());
  release_inflater(reader.extractor.inflater);
  if (collector.exhausted)
    throw std::bad_alloc();
  return reading;
}

// Whether the path names a volume of a split set (".F" and two hexadecimal
// digits), which is read through its head.
bool is_volume_name(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot != std::string::npos && path.size() - dot == 4 && path[dot + 1] == 'F' &&
         std::isxdigit(static_cast<unsigned char>(path[dot + 2])) &&
         std::isxdigit(static_cast<unsigned char>(path[dot + 3]));
}

std::string shown_message(Verdict verdict) {
  char message[verdict_message_size];
  verdict_message(verdict, message);
  return message;
}

// At least how many bytes a package cut short lacks: its records are walked
// from the header as far as the file holds them, each stream skipped, and
// what the next field, the next record's marker and the trailer would need
// is counted. 0 when no header stands behind the stub.
uint64_t missing_bytes(InstallerFile& file, uint32_t stub_length) {
  struct Reach {
    ByteSource source;
    uint64_t needed;
  };
  ByteSource source = file.source();
  uint8_t header[layout::header_size] = {};
  // Up to 7 zero bytes of alignment stand between stub and header.
  for (uint32_t at = stub_length; at < stub_length + 8; ++at)
    if (source.seek(source.context, int32_t(at), seek_from_start) == at &&
        source.read(source.context, header, layout::header_size) == layout::header_size &&
        is_package_header(header, layout::header_size)) {
      PackageLocation location;
      location.package_offset = at;
      location.trailer = uint32_t(layout::largest_compressed_size) - layout::trailer_size;
      Reach reach{source, at + uint64_t(layout::header_size)};
      auto name = [](void* context, const char*, int32_t) {
        Reach& r = *static_cast<Reach*>(context);
        r.needed = r.source.seek(r.source.context, 0, seek_from_current) + uint64_t(4);
        return Verdict::ok;
      };
      auto stream = [](void* context, uint32_t size) {
        Reach& r = *static_cast<Reach*>(context);
        r.needed = r.source.seek(r.source.context, int32_t(size), seek_from_current) +
                   uint64_t(layout::marker_size);
        return Verdict::ok;
      };
      auto command = [](void*, const char*, int32_t) { return Verdict::ok; };
      walk_records(source, location, RecordVisitor{&reach, name, stream, command});
      uint64_t end = reach.needed + layout::trailer_size;
      return end > file.size ? end - file.size : layout::trailer_size;
    }
  return 0;
}

// What to say of a file the walk refuses, naming the likely cause: a volume
// given for its head, bytes appended behind it, a download cut short, or
// the stub's own verdict.
std::string unreadable(const std::string& path, InstallerFile& file, Verdict verdict) {
  bool located = verdict != Verdict::no_trailer && verdict != Verdict::offset_unreachable &&
                 verdict != Verdict::no_header && verdict != Verdict::end_unreachable;
  if (!located && is_volume_name(path))
    return "a volume of a split set, not an installer: give its head (the file of the same name "
           "with the head's own extension)";
  // Bytes added behind a whole installer (a download tool's or a
  // signer's) hide its trailer: say how many, rather than "truncated".
  std::vector<uint8_t> buffer(64 << 10);
  for (uint32_t appended = 1; !located && appended <= 512 && appended < file.size; ++appended) {
    file.cut_end(appended);
    PackageOptions options;
    bool whole = is_whole_package(file.source(), buffer.data(), int32_t(buffer.size()), &options);
    file.cut_end(0);
    if (whole)
      return std::to_string(appended) + " bytes appended behind the installer's end (the " +
             "installer shows \"" + shown_message(verdict) + "\"); remove them";
  }
  packlib::SealState seal = packlib::check_seal(file.start);
  bool cut = verdict != Verdict::stream_damaged && verdict != Verdict::name_length_rejected &&
             verdict != Verdict::run_length_rejected && verdict != Verdict::checksum_mismatch;
  if (cut && seal.sealed && seal.intact) {
    uint64_t missing = missing_bytes(file, seal.length);
    if (missing > 0)
      return "truncated: at least " + std::to_string(missing) +
             " bytes missing or damaged (the installer shows \"" + shown_message(verdict) + "\")";
  }
  return packlib::verdict_line(verdict);
}

// A size in a column of the listing: bare digits when exact.
std::string column(uint64_t bytes, bool exact) {
  return exact ? std::to_string(bytes) : size_text(bytes, false);
}

const char* kind_of(const Bytes& bytes) {
  static constexpr const char* names[] = {"unknown", "PE32", "PE32+", "ELF", "script"};
  return names[uint8_t(packlib::kind_of_image(bytes))];
}

// A record whose stream the stub would not take: shown as damaged.
bool stream_taken(const ReadRecord& record) {
  return record.verdict == Verdict::ok || record.verdict == Verdict::output_not_created;
}

} // namespace

int list(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments("list", words, {}, {"--json", "--bytes"});
  if (arguments.operands.size() != 1)
    throw UsageError("list", "list takes one installer");
  bool json = arguments.has("--json");
  bool exact = arguments.has("--bytes");
  const std::string& path = arguments.operands[0];
  InstallerFile installer(path);
  Reading reading = read_installer(installer, Mode::list, String(), false);
  bool structural = reading.verdict != Verdict::ok && reading.verdict != Verdict::command_too_long;
  if (structural)
    throw std::runtime_error(path + ": " + unreadable(path, installer, reading.verdict));
  const PackageOptions& options = reading.location.options;
  std::string out = json ? "{\"kind\":\"" + std::string(kind_of(installer.start)) + "\",\"files\":["
                         : "      stored         size  name\n";
  bool first = true;
  uint64_t stored_total = 0, size_total = 0;
  bool damaged = false;
  for (const ReadRecord& file : reading.records) {
    bool inflated = stream_taken(file);
    std::string size = !inflated ? (json ? "null" : "damaged")
                       : json    ? std::to_string(file.size)
                                 : column(file.size, exact);
    stored_total += file.stored_size;
    size_total += inflated ? file.size : 0;
    damaged = damaged || !inflated;
    if (json) {
      out +=
          std::string(first ? "" : ",") + "{\"name\":" + packlib::json_text(file.name) +
          (packlib::is_utf8(file.name) ? "" : ",\"name_bytes\":" + packlib::json_bytes(file.name)) +
          ",\"stored\":" + std::to_string(file.stored_size) + ",\"size\":" + size + "}";
    } else {
      char line[64];
      std::snprintf(line, sizeof line, "%12s %12s  ", column(file.stored_size, exact).c_str(),
                    size.c_str());
      out += line + packlib::printable(file.name) + "\n";
    }
    first = false;
  }
  if (json) {
    out += "],\"totals\":{\"files\":" + std::to_string(reading.records.size()) +
           ",\"stored\":" + std::to_string(stored_total) +
           ",\"size\":" + (damaged ? std::string("null") : std::to_string(size_total)) + "}";
    out += ",\"run\":" + (reading.run_command ? packlib::json_text(*reading.run_command) : "null");
    out += ",\"volumes\":[";
    for (size_t i = 0; i < installer.volumes.size(); ++i)
      out += (i ? "," : "") + packlib::json_text(installer.volumes[i]);
    out += std::string("],\"signed\":") + (installer.signed_file ? "true" : "false");
    out += ",\"sha256\":\"" + packlib::sha256_of_file(packlib::utf8_path(path)) + "\"";
    char checksum[16] = "null";
    if (options.checksum())
      std::snprintf(checksum, sizeof checksum, "\"%08x\"", unsigned(reading.location.checksum));
    out += std::string(",\"checksum\":") + checksum +
           ",\"wait\":" + (options.wait() ? "true" : "false") +
           ",\"options\":" + (options.reads_options() ? "true" : "false") + "}\n";
  } else {
    char line[96];
    std::snprintf(line, sizeof line, "%12s %12s  ", column(stored_total, exact).c_str(),
                  column(size_total, exact).c_str());
    out += line + counted(reading.records.size(), "file") + "\n";
    if (reading.run_command)
      out += "run: " + packlib::printable(*reading.run_command) + "\n";
    if (!installer.volumes.empty())
      out += "volumes: " + std::to_string(installer.volumes.size()) + "\n";
    if (options.checksum()) {
      char line[48];
      std::snprintf(line, sizeof line, "checksum: %08x (checked%s)\n",
                    unsigned(reading.location.checksum),
                    options.checksum_header() ? ", header included" : "");
      out += line;
    }
    if (options.wait())
      out += "waits for the setup command\n";
    if (options.reads_options())
      out += "reads options: --target DIR, --list, --check, --quiet, --noexec, --wait, "
             "--keep, -- ARGS\n";
    if (packlib::is_elf_image(installer.start))
      out += "runs on: Linux with glibc 2.34 or later\n";
    if (installer.signed_file)
      out += installer.volumes.empty()
                 ? "signed: a code-signing certificate table ends the file (not checked)\n"
                 : "signed (head only): the volumes are not covered by the signature\n";
  }
  std::fputs(out.c_str(), stdout);
  return 0;
}

namespace {

// Checks one installer; answers the number of problems it reported.
int verify_one(const std::string& input, bool quiet) {
  InstallerFile installer(input);
  int problems = 0;
  auto problem = [&](const std::string& text) {
    std::fprintf(stderr, "sfxpack: %s: %s\n", packlib::printable(input).c_str(),
                 packlib::printable(text, true).c_str());
    ++problems;
  };
  packlib::SealState seal = packlib::check_seal(installer.start);
  Reading reading =
      read_installer(installer, Mode::verify, String(), !quiet && packlib::stderr_is_terminal());
  // A volume holds no stub: what it is says enough.
  bool volume = reading.verdict != Verdict::ok && !seal.sealed && is_volume_name(input);
  if (!seal.sealed && !volume)
    problem("the stub carries no seal");
  else if (seal.sealed && !seal.intact)
    problem("the stub's bytes do not match its seal");
  if (reading.records.empty() && reading.verdict != Verdict::ok) {
    problem(unreadable(input, installer, reading.verdict));
    return problems;
  }
  if (seal.sealed && seal.length > reading.location.package_offset)
    problem("the package begins inside the sealed stub");
  // The stub's message for each record it would refuse, then what it means.
  for (const ReadRecord& file : reading.records)
    if (file.verdict == Verdict::stream_damaged)
      problem(packlib::verdict_line(file.verdict) +
              ": damaged stream: " + packlib::printable(file.name));
    else if (file.verdict != Verdict::ok)
      problem(packlib::verdict_line(file.verdict) + ": " + packlib::printable(file.name));
  if (reading.verdict != Verdict::ok)
    problem(unreadable(input, installer, reading.verdict));
  if (problems == 0 && !quiet)
    std::printf("%s: OK, %s%s\n", input.c_str(), counted(reading.records.size(), "file").c_str(),
                !installer.signed_file      ? ""
                : installer.volumes.empty() ? ", signed (the signature itself is not checked)"
                                            : ", signed (head only: the volumes are not covered)");
  return problems;
}

} // namespace

int verify(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments("verify", words, {}, {"--quiet"});
  if (arguments.operands.empty())
    throw UsageError("verify", "verify needs one or more installers");
  int failed = 0;
  for (const std::string& input : arguments.operands) {
    try {
      failed += verify_one(input, arguments.has("--quiet")) != 0;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "sfxpack: %s\n", packlib::printable(error.what(), true).c_str());
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}

// Writes the files with the stub's own extraction: directories are made for
// the backslash-separated part of each name and opened one by one from the
// target, never through a link; each file is written under a temporary
// name and renamed over its name; names that would leave the target on
// this system are refused.
int extract(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments("extract", words, {}, {});
  if (arguments.operands.size() != 2)
    throw UsageError("extract", "extract takes an installer and a directory");
  const std::string& path = arguments.operands[0];
  const std::string& directory = arguments.operands[1];
  InstallerFile installer(path);
  load_code_page();
  String target;
  if (!engine_path(directory, &target))
    throw std::runtime_error(directory + ": a name this system's code page cannot hold");
  target = full_path(target);
  if (target.empty())
    throw packlib::failure(packlib::utf8_path(directory), "cannot open");
  if (!ends_in_backslash(target))
    target += '\\';
  Reading reading = read_installer(installer, Mode::extract, target, packlib::stderr_is_terminal());
  if (reading.verdict == Verdict::ok)
    return 0;
  std::string name = reading.records.empty() || reading.records.back().verdict == Verdict::ok
                         ? std::string()
                         : reading.records.back().name;
  if (reading.verdict == Verdict::output_not_created && name.empty())
    throw packlib::failure(packlib::utf8_path(directory), "cannot create");
  if (reading.verdict == Verdict::name_unsafe)
    throw std::runtime_error("refusing \"" + packlib::printable(name) +
                             "\": it would leave the target directory, or meets a link below it");
  if (!name.empty())
    throw std::runtime_error(directory + ": " + packlib::printable(name) + ": " +
                             packlib::verdict_line(reading.verdict));
  throw std::runtime_error(path + ": " + unreadable(path, installer, reading.verdict));
}

} // namespace sfxpack
