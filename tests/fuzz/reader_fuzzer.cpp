// Fuzzes the reading that sfxpack list and verify run on any installer: the
// stub's own engine over memory, writing nothing. Going on past each
// record's verdict (as verify does) must stop where the stub stops, on the
// verdict the stub reaches; the records it reports must be the format's
// listing, and an accepted package's streams must all inflate.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "extract/extract.h"
#include "package/format.h"
#include "package/name_check.h"
#include "support/runtime/heap.h"
#include "tools/packlib/package.h"

namespace {

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "finding: %s\n", what.c_str());
  std::abort();
}

struct Reported {
  // Name and stored size; a name refused is reported before its size.
  std::vector<std::pair<std::string, uint32_t>> records;
  Verdict first = Verdict::ok; // the first record's own verdict
};

Verdict note(void* context, const RecordReport& report) {
  Reported& reported = *static_cast<Reported*>(context);
  reported.records.emplace_back(std::string(report.name.c_str(), size_t(report.name.length())),
                                report.verdict == Verdict::name_unsafe ? UINT32_MAX
                                                                       : report.stored_size);
  if (reported.first == Verdict::ok)
    reported.first = report.verdict;
  return Verdict::ok;
}

// The inflater's work area is kept from input to input, as the stub keeps
// it from record to record.
RecordInflater kept;

int32_t kept_blocks() {
  return kept.work != nullptr;
}

Verdict read(std::span<const uint8_t> file, Reported* reported) {
  packlib::InstallerSource in(file);
  RecordReader reader;
  reader.extractor.inflater = kept;
  reader.extractor.source = in.source;
  reader.writes = false;
  reader.name_is_safe = is_safe_posix_name;
  if (reported)
    reader.observer = RecordObserver{reported, note, nullptr};
  PackageLocation location;
  char command[setup_command_size];
  Verdict verdict = read_package(reader, &location, command);
  kept = reader.extractor.inflater;
  return verdict;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20))
    return 0;
  std::span<const uint8_t> file(data, size);
  Verdict stub = read(file, nullptr);
  Reported reported;
  Verdict walked = read(file, &reported);
  Verdict going_on = reported.first != Verdict::ok ? reported.first : walked;
  if (going_on != stub)
    finding("going on past records ends on \"" + packlib::verdict_line(going_on) +
            "\", the stub on \"" + packlib::verdict_line(stub) + "\"");
  packlib::Listing listing;
  if (packlib::walk_installer(file, &listing) == Verdict::ok && walked == Verdict::ok) {
    if (listing.files.size() != reported.records.size())
      finding("the engine reports another number of records than the format's walk");
    for (size_t i = 0; i < listing.files.size(); ++i)
      if (listing.files[i].name != reported.records[i].first ||
          (reported.records[i].second != UINT32_MAX &&
           listing.files[i].stored_size != reported.records[i].second))
        finding("the engine reports another record than the format's walk: " +
                listing.files[i].name);
  }
  if (heap_block_count() != kept_blocks())
    finding("the reading left heap blocks behind");
  return 0;
}
