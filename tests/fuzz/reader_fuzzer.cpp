// Fuzzes sfxpack's reader in memory on any installer: the listing walk, the
// reading that list, verify and extract share, and the tool's verdict, which
// must be the stub's. The stub's side is taken from the stub's own pieces:
// the format's walk, the host's name rules and its inflate engines (the
// whole-buffer engine where a record fits it, the streaming one else), so
// any difference between the two is a finding.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/name_check.h"
#include "support/inflate/inflate_stream.h"
#include "support/inflate/whole_inflate.h"
#include "tools/packlib/package.h"

using packlib::Bytes;

namespace {

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "finding: %s\n", what.c_str());
  std::abort();
}

struct StubWalk {
  packlib::MemorySource* memory;
  std::string name;
  std::vector<uint8_t>* work;
  std::vector<uint8_t>* whole;
};

Verdict stub_name(void* context, const char* name, int32_t length) {
  StubWalk& walk = *static_cast<StubWalk*>(context);
  walk.name.assign(name, size_t(length));
  return is_safe_output_name(name, length) ? Verdict::ok : Verdict::name_unsafe;
}

struct Span {
  const uint8_t* bytes;
  uint32_t left;
};

int32_t read_span(void* context, void* buffer, int32_t count) {
  Span& span = *static_cast<Span*>(context);
  uint32_t taken = std::min(span.left, uint32_t(count));
  std::memcpy(buffer, span.bytes, taken);
  span.bytes += taken, span.left -= taken;
  return int32_t(taken);
}

bool discard(void*, const void*, int32_t) {
  return true;
}

Verdict stub_stream(void* context, uint32_t size) {
  StubWalk& walk = *static_cast<StubWalk*>(context);
  const uint8_t* stream = walk.memory->bytes.data() + walk.memory->position;
  walk.memory->position += size;
  int32_t produced = 0;
  WholeInflate whole = inflate_whole(stream, size, walk.whole->data(), &produced);
  bool inflated = whole == WholeInflate::inflated;
  if (whole == WholeInflate::does_not_fit) {
    Span span{stream, size};
    inflated = inflate_stream(size, InflatePipes{&span, read_span, discard}, walk.work->data()) ==
               InflateOutcome::inflated;
  }
  if (!inflated)
    return Verdict::stream_damaged;
  return names_a_file(walk.name.data(), int32_t(walk.name.size())) ? Verdict::ok
                                                                   : Verdict::output_not_created;
}

Verdict accept(void*, const char*, int32_t) {
  return Verdict::ok;
}

Verdict stub_verdict(std::span<const uint8_t> file) {
  static std::vector<uint8_t> work(inflate_work_size);
  static std::vector<uint8_t> whole(size_t(whole_inflate_size > 0 ? whole_inflate_size : 1));
  packlib::InstallerSource in(file);
  PackageLocation location;
  Verdict verdict = locate_package(in.source, &location);
  if (verdict == Verdict::ok)
    verdict = check_package(in.source, location, work.data(), int32_t(work.size()));
  if (verdict != Verdict::ok)
    return verdict;
  StubWalk walk{&in.memory, {}, &work, &whole};
  return walk_records(in.source, location, RecordVisitor{&walk, stub_name, stub_stream, accept});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20))
    return 0;
  std::span<const uint8_t> file(data, size);
  packlib::Listing listing;
  Verdict walked = packlib::walk_installer(file, &listing);
  bool read = true;
  try {
    packlib::read_installer(file);
  } catch (const std::runtime_error&) {
    read = false;
  }
  if (read != (walked == Verdict::ok))
    finding("the listing and the walk disagree");
  Verdict tool = packlib::package_verdict(file, host_name_rules);
  Verdict stub = stub_verdict(file);
  if (tool != stub)
    finding("the stub says \"" + packlib::verdict_line(stub) + "\", the tool \"" +
            packlib::verdict_line(tool) + "\"");
  if (tool == Verdict::ok) {
    for (const packlib::ListedFile& listed : listing.files)
      if (!packlib::inflate_stream(file.subspan(size_t(listed.stream_offset), listed.stored_size)))
        finding("a listed stream of an accepted package does not inflate: " + listed.name);
  }
  return 0;
}
