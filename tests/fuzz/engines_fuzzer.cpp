// Holds the inflate engines to one verdict on any stream: the input is
// the stream itself (first byte even), or content to deflate at a level and
// window of its choosing and then change at one byte (first byte odd), so
// that streams close to valid ones are explored as well as raw bytes.
// Where both engines inflate a stream, their bytes must be the same.
//
// One difference is allowed: a stream declaring a window below 32 KiB that
// reaches further back. zlib keeps only the declared window between calls,
// so whether it refuses depends on where its output blocks fall; ISA-L
// always keeps 32 KiB and inflates what the distances say.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/inflate/inflate_stream.h"
#include "tools/packlib/package.h"

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "finding: %s\n", what.c_str());
  std::abort();
}

struct Run {
  const Bytes* stream;
  size_t position = 0;
  Bytes written;

  static int32_t read(void* context, void* buffer, int32_t count) {
    Run& run = *static_cast<Run*>(context);
    std::memcpy(buffer, run.stream->data() + run.position, size_t(count));
    run.position += size_t(count);
    return count;
  }
  static bool write(void* context, const void* bytes, int32_t count) {
    Run& run = *static_cast<Run*>(context);
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    run.written.insert(run.written.end(), from, from + count);
    return true;
  }
};

const char* outcome_name(InflateOutcome outcome) {
  switch (outcome) {
  case InflateOutcome::inflated:
    return "inflated";
  case InflateOutcome::damaged:
    return "damaged";
  default:
    return "another outcome";
  }
}

Bytes stream_of(const uint8_t* data, size_t size) {
  if (size == 0 || data[0] % 2 == 0)
    return size == 0 ? Bytes{} : Bytes(data + 1, data + size);
  if (size < 5)
    return Bytes{};
  int level = data[1] % 10;
  int window = 9 + (data[1] / 10) % 7;
  Bytes stream = packlib::deflate_stream({data + 5, size - 5}, level, window);
  size_t at = size_t(data[2]) | size_t(data[3]) << 8;
  if (data[4] != 0 && at < stream.size())
    stream[at] ^= data[4];
  return stream;
}

Bytes work(inflate_work_size);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (64 << 10))
    return 0;
  Bytes stream = stream_of(data, size);
  Run zlib{&stream};
  InflateOutcome by_zlib = zlib_inflate_stream(
      uint32_t(stream.size()), InflatePipes{&zlib, Run::read, Run::write}, work.data());
  bool small_window = !stream.empty() && (stream[0] >> 4) < 7;
  // ISA-L's streaming alone, and the build's engine (libdeflate's
  // decompressor for streams this small).
  for (int32_t i = 1; i < inflate_engine_count; ++i) {
    const InflateEngine& engine = inflate_engines[i];
    Run other{&stream};
    InflateOutcome by_other = engine.inflate(
        uint32_t(stream.size()), InflatePipes{&other, Run::read, Run::write}, work.data());
    if (by_zlib != by_other && !(small_window && by_zlib == InflateOutcome::damaged &&
                                 by_other == InflateOutcome::inflated))
      finding(std::string("zlib: ") + outcome_name(by_zlib) + ", " + engine.name + ": " +
              outcome_name(by_other));
    if (by_zlib == InflateOutcome::inflated && by_other == InflateOutcome::inflated &&
        zlib.written != other.written)
      finding(std::string("zlib and ") + engine.name + " inflate the stream to different bytes");
  }
  return 0;
}
