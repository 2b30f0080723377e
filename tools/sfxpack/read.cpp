// sfxpack list, verify and extract: reading installers as the stub does.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/name_check.h"
#include "package/pe_image.h"
#include "tools/packlib/file_io.h"
#include "tools/packlib/package.h"
#include "tools/packlib/printable.h"
#include "tools/packlib/sha256.h"
#include "tools/packlib/stub_image.h"
#include "tools/sfxpack/cli.h"
#include "tools/sfxpack/commands.h"
#include "tools/sfxpack/progress.h"

namespace fs = std::filesystem;
using packlib::Bytes;

namespace sfxpack {

namespace {

// An installer as the stub reads it: a head of a split set is joined with
// its volumes, as the stub joins them.
struct Installer {
  Bytes bytes;
  bool signed_file = false;         // the file carries a code-signing certificate table
  std::vector<std::string> volumes; // of a head of a split set
};

Installer load_installer(const std::string& path) {
  Installer installer;
  installer.bytes = packlib::read_whole_file(packlib::utf8_path(path));
  Bytes& bytes = installer.bytes;
  size_t end = packlib::package_data_end(bytes);
  installer.signed_file = end != bytes.size();
  int32_t count = 0;
  if (bytes.size() >= size_t(layout::split_set_offset + layout::split_set_header_size) &&
      is_split_set_header(bytes.data() + layout::split_set_offset, &count)) {
    if (count > layout::largest_volume_count)
      throw std::runtime_error(path + ": split set of more than 200 files");
    // A signed head's certificate table stays behind, as in the stub's
    // joined copy.
    if (installer.signed_file) {
      uint32_t size = uint32_t(bytes.size());
      std::fill_n(bytes.begin() + certificate_table(bytes.data(), size, size).entry, 8, 0);
      bytes.resize(end);
    }
    for (int i = 1; i < count; ++i) {
      installer.volumes.push_back(packlib::volume_name(path, i));
      Bytes volume = packlib::read_whole_file(packlib::utf8_path(installer.volumes.back()));
      bytes.insert(bytes.end(), volume.begin(), volume.end());
    }
    bytes[layout::split_set_offset] = 0;
  }
  return installer;
}

// Bytes missing from a file whose start is a whole stub but whose package
// is cut short: walks the records from the header behind the stub as far
// as they go. 0 when that finds no header there or nothing missing.
uint64_t missing_bytes(const Bytes& bytes, uint32_t stub_length) {
  size_t header = stub_length;
  while (header < bytes.size() && header < stub_length + 8 && bytes[header] == 0)
    ++header;
  if (header + layout::header_size > bytes.size() ||
      !std::equal(layout::magic, layout::magic + 6, bytes.begin() + long(header)))
    return 0;
  uint64_t at = header + layout::header_size;
  while (at + 4 <= bytes.size() && load_u32(&bytes[at]) == layout::record_marker) {
    if (at + 5 > bytes.size())
      break;
    uint64_t size_at = at + 5 + bytes[at + 4];
    if (size_at + 4 > bytes.size())
      return size_at + 4 + layout::trailer_size - bytes.size();
    at = size_at + 4 + load_u32(&bytes[size_t(size_at)]);
  }
  // At least the trailer is missing behind the last whole record.
  return at + layout::trailer_size > bytes.size() ? at + layout::trailer_size - bytes.size()
                                                  : layout::trailer_size;
}

// Whether the path names a volume of a split set (".F" and two hexadecimal
// digits), which is read through its head.
bool is_volume_name(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot != std::string::npos && path.size() - dot == 4 && path[dot + 1] == 'F' &&
         std::isxdigit(static_cast<unsigned char>(path[dot + 2])) &&
         std::isxdigit(static_cast<unsigned char>(path[dot + 3]));
}

// What to say of a file the walk refuses, naming the likely cause: a volume
// given for its head, a download cut short, or the stub's own verdict.
std::string unreadable(const std::string& path, const Bytes& bytes, Verdict verdict) {
  bool located = verdict != Verdict::no_trailer && verdict != Verdict::offset_unreachable &&
                 verdict != Verdict::no_header && verdict != Verdict::end_unreachable;
  if (!located && is_volume_name(path))
    return "a volume of a split set, not an installer: give its head (the file of the same name "
           "with the head's own extension)";
  // Bytes added behind a whole installer (a download tool's or a
  // signer's) hide its trailer: say how many, rather than "truncated".
  for (size_t appended = 1; !located && appended <= 512 && appended < bytes.size(); ++appended) {
    packlib::Listing listing;
    if (packlib::walk_installer(std::span(bytes).first(bytes.size() - appended), &listing) ==
        Verdict::ok) {
      char message[verdict_message_size];
      verdict_message(verdict, message);
      return std::to_string(appended) + " bytes appended behind the installer's end (the " +
             "installer shows \"" + message + "\"); remove them";
    }
  }
  packlib::SealState seal = packlib::check_seal(bytes);
  bool cut = verdict != Verdict::stream_damaged && verdict != Verdict::name_length_rejected &&
             verdict != Verdict::run_length_rejected && verdict != Verdict::checksum_mismatch;
  if (cut && seal.sealed && seal.intact) {
    uint64_t missing = missing_bytes(bytes, seal.length);
    if (missing > 0) {
      char message[verdict_message_size];
      verdict_message(verdict, message);
      return "truncated: at least " + std::to_string(missing) +
             " bytes missing or damaged (the installer shows \"" + message + "\")";
    }
  }
  return packlib::verdict_line(verdict);
}

// The listing of an installer; throws naming the file and the cause.
packlib::Listing read_or_explain(const std::string& path, const Bytes& bytes) {
  packlib::Listing listing;
  Verdict verdict = packlib::walk_installer(bytes, &listing);
  if (verdict != Verdict::ok)
    throw std::runtime_error(path + ": " + unreadable(path, bytes, verdict));
  return listing;
}

uint64_t stored_bytes(const packlib::Listing& listing) {
  uint64_t total = 0;
  for (const packlib::ListedFile& file : listing.files)
    total += file.stored_size;
  return total;
}

// A size in a column of the listing: bare digits when exact.
std::string column(uint64_t bytes, bool exact) {
  return exact ? std::to_string(bytes) : size_text(bytes, false);
}

const char* kind_of(const Bytes& bytes) {
  PeFields pe = pe_fields(bytes.data(), uint32_t(std::min<size_t>(bytes.size(), UINT32_MAX)));
  if (pe.valid)
    return pe.plus ? "PE32+" : "PE32";
  return packlib::is_elf_image(bytes) ? "ELF" : "unknown";
}

} // namespace

int list(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments("list", words, {}, {"--json", "--bytes"});
  if (arguments.operands.size() != 1)
    throw UsageError("list", "list takes one installer");
  bool json = arguments.has("--json");
  bool exact = arguments.has("--bytes");
  Installer installer = load_installer(arguments.operands[0]);
  const Bytes& bytes = installer.bytes;
  packlib::Listing listing = read_or_explain(arguments.operands[0], bytes);
  std::string out = json ? "{\"kind\":\"" + std::string(kind_of(bytes)) + "\",\"files\":["
                         : "      stored         size  name\n";
  bool first = true;
  uint64_t stored_total = 0, size_total = 0;
  bool damaged = false;
  for (const packlib::ListedFile& file : listing.files) {
    auto content = packlib::inflate_stream(
        std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size));
    std::string size = !content ? (json ? "null" : "damaged")
                       : json   ? std::to_string(content->size())
                                : column(content->size(), exact);
    stored_total += file.stored_size;
    size_total += content ? content->size() : 0;
    damaged = damaged || !content;
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
    out += "],\"totals\":{\"files\":" + std::to_string(listing.files.size()) +
           ",\"stored\":" + std::to_string(stored_total) +
           ",\"size\":" + (damaged ? std::string("null") : std::to_string(size_total)) + "}";
    out += ",\"run\":" + (listing.run_command ? packlib::json_text(*listing.run_command) : "null");
    out += ",\"volumes\":[";
    for (size_t i = 0; i < installer.volumes.size(); ++i)
      out += (i ? "," : "") + packlib::json_text(installer.volumes[i]);
    out += std::string("],\"signed\":") + (installer.signed_file ? "true" : "false");
    out += ",\"sha256\":\"" + packlib::sha256_of_file(packlib::utf8_path(arguments.operands[0])) +
           "\"";
    char checksum[16] = "null";
    if (listing.options & layout::option_checksum)
      std::snprintf(checksum, sizeof checksum, "\"%08x\"", unsigned(listing.checksum));
    out += std::string(",\"checksum\":") + checksum +
           ",\"wait\":" + ((listing.options & layout::option_wait) ? "true" : "false") + "}\n";
  } else {
    char line[96];
    std::snprintf(line, sizeof line, "%12s %12s  ", column(stored_total, exact).c_str(),
                  column(size_total, exact).c_str());
    out += line + counted(listing.files.size(), "file") + "\n";
    if (listing.run_command)
      out += "run: " + packlib::printable(*listing.run_command) + "\n";
    if (!installer.volumes.empty())
      out += "volumes: " + std::to_string(installer.volumes.size()) + "\n";
    if (listing.options & layout::option_checksum) {
      char line[48];
      std::snprintf(line, sizeof line, "checksum: %08x (checked%s)\n", unsigned(listing.checksum),
                    (listing.options & layout::option_checksum_header) ? ", header included" : "");
      out += line;
    }
    if (listing.options & layout::option_wait)
      out += "waits for the setup command\n";
    if (std::string(kind_of(bytes)) == "ELF")
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
  Installer installer = load_installer(input);
  const Bytes& bytes = installer.bytes;
  int problems = 0;
  auto problem = [&](const std::string& text) {
    std::fprintf(stderr, "sfxpack: %s: %s\n", packlib::printable(input).c_str(),
                 packlib::printable(text, true).c_str());
    ++problems;
  };
  packlib::SealState seal = packlib::check_seal(bytes);
  packlib::Listing listing;
  Verdict verdict = packlib::walk_installer(bytes, &listing);
  // A volume holds no stub: what it is says enough.
  bool volume = verdict != Verdict::ok && !seal.sealed && is_volume_name(input);
  if (!seal.sealed && !volume)
    problem("the stub carries no seal");
  else if (seal.sealed && !seal.intact)
    problem("the stub's bytes do not match its seal");
  if (verdict != Verdict::ok) {
    problem(unreadable(input, bytes, verdict));
    return problems;
  }
  if (seal.sealed && seal.length > listing.package_offset)
    problem("the package begins inside the sealed stub");
  // Names are checked by the rules of the system the stub runs on.
  NameRules rules = packlib::is_elf_image(bytes) ? NameRules::posix : NameRules::windows;
  {
    Progress progress(stored_bytes(listing), !quiet && packlib::stderr_is_terminal());
    for (const packlib::ListedFile& file : listing.files) {
      progress.add(file.stored_size);
      // The stub's message for each, then what it means.
      if (!is_safe_name(file.name.data(), int32_t(file.name.size()), rules))
        problem(packlib::verdict_line(Verdict::name_unsafe) + ": " + packlib::printable(file.name));
      else if (!names_a_file(file.name.data(), int32_t(file.name.size())))
        problem(packlib::verdict_line(Verdict::output_not_created) + ": " +
                packlib::printable(file.name));
      if (!packlib::inflate_stream(
              std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size)))
        problem(packlib::verdict_line(Verdict::stream_damaged) +
                ": damaged stream: " + packlib::printable(file.name));
    }
  }
  if (problems == 0 && !quiet)
    std::printf("%s: OK, %s%s\n", input.c_str(), counted(listing.files.size(), "file").c_str(),
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

// Writes the files as the stub does: directories are made for the
// backslash-separated part of each name and opened one by one from the
// target, never through a link; names that would leave the target on this
// system, and links below the target, are refused.
int extract(const std::vector<std::string>& words) {
  Arguments arguments = parse_arguments("extract", words, {}, {});
  if (arguments.operands.size() != 2)
    throw UsageError("extract", "extract takes an installer and a directory");
  Bytes bytes = load_installer(arguments.operands[0]).bytes;
  packlib::Listing listing = read_or_explain(arguments.operands[0], bytes);
  fs::path target = packlib::utf8_path(arguments.operands[1]);
  Progress progress(stored_bytes(listing), packlib::stderr_is_terminal());
  for (const packlib::ListedFile& file : listing.files) {
    progress.add(file.stored_size);
    if (!is_safe_name(file.name.data(), int32_t(file.name.size()), host_name_rules) ||
        !names_a_file(file.name.data(), int32_t(file.name.size())))
      throw std::runtime_error("refusing unsafe name \"" + packlib::printable(file.name) + "\"");
    auto content = packlib::inflate_stream(
        std::span(bytes).subspan(size_t(file.stream_offset), file.stored_size));
    if (!content)
      throw std::runtime_error("damaged stream: " + packlib::printable(file.name));
    bool program = content->size() >= 2 && (*content)[0] == '#' && (*content)[1] == '!';
    program = program || (content->size() >= 4 && std::memcmp(content->data(),
                                                              "\x7F"
                                                              "ELF",
                                                              4) == 0);
    packlib::write_below(target, file.name, *content, program);
  }
  return 0;
}

} // namespace sfxpack
