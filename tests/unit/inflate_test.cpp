// The inflate engines: content across the buffers' edges, every kind of
// damaged stream, failures on either side, each case through zlib's engine
// and, where the build has them, ISA-L's and the build's own (libdeflate's
// for what fits the blocks, ISA-L's for the rest).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <zlib.h>

#include "support/inflate/inflate_stream.h"
#include "tools/packlib/package.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reads from `stored`, failing the read at `fail_read` (counted from 1);
// collects what is written, failing once more than `write_room` bytes came.
struct Pipes {
  explicit Pipes(Bytes bytes) : stored(std::move(bytes)) {}
  Bytes stored;
  size_t position = 0;
  int reads = 0, fail_read = 0;
  Bytes written;
  size_t write_room = SIZE_MAX;

  static int32_t read(void* context, void* buffer, int32_t count) {
    Pipes& pipes = *static_cast<Pipes*>(context);
    if (++pipes.reads == pipes.fail_read)
      return -1;
    size_t left = pipes.stored.size() - pipes.position;
    size_t taken = std::min(left, size_t(count));
    std::copy_n(pipes.stored.begin() + long(pipes.position), taken, static_cast<uint8_t*>(buffer));
    pipes.position += taken;
    return int32_t(taken);
  }
  static bool write(void* context, const void* bytes, int32_t count) {
    Pipes& pipes = *static_cast<Pipes*>(context);
    if (pipes.written.size() + size_t(count) > pipes.write_room)
      return false;
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    pipes.written.insert(pipes.written.end(), from, from + count);
    return true;
  }
};

using Engine = InflateOutcome (*)(uint32_t, const InflatePipes&, uint8_t*);

std::vector<Engine> engines() {
  std::vector<Engine> all;
  for (int32_t i = 0; i < inflate_engine_count; ++i)
    all.push_back(inflate_engines[i].inflate);
  return all;
}

InflateOutcome inflate(Engine engine, Pipes& pipes, uint32_t stored_size) {
  Bytes work(inflate_work_size);
  return engine(stored_size, InflatePipes{&pipes, Pipes::read, Pipes::write}, work.data());
}

InflateOutcome inflate(Engine engine, Pipes& pipes) {
  return inflate(engine, pipes, uint32_t(pipes.stored.size()));
}

Bytes pattern(size_t size, unsigned seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i)
    bytes[i] = uint8_t((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

TEST(InflateStream, SizesAroundTheBuffers) {
  // Stored (level 0) streams put stored and inflated sizes right at the
  // input and output buffers' edges.
  for (size_t size :
       {size_t(0), size_t(1), size_t(5000), size_t(inflate_input_size - 11),
        size_t(inflate_input_size), size_t(inflate_output_size - 1), size_t(inflate_output_size),
        size_t(inflate_output_size + 1), size_t(3 * inflate_output_size + 7)}) {
    Bytes content = pattern(size, unsigned(size));
    for (int level : {0, 6, 9})
      for (Engine engine : engines()) {
        Pipes pipes{packlib::deflate_stream(content, level)};
        ASSERT_EQ(inflate(engine, pipes), InflateOutcome::inflated)
            << size << " at level " << level;
        EXPECT_TRUE(pipes.written == content) << size << " at level " << level;
      }
  }
}

TEST(InflateStream, DamagedStreams) {
  Bytes good = packlib::deflate_stream(pattern(300000, 1));
  Bytes bad_check = good;
  bad_check.back() ^= 1;
  Bytes cut(good.begin(), good.end() - 3);
  Bytes bad_header = good;
  bad_header[1] ^= 1;
  Bytes trailing = good;
  trailing.push_back(0);
  // Past the bytes an engine holds in its bit buffer, and past a block read.
  Bytes trailing_more = good;
  trailing_more.insert(trailing_more.end(), 9, 0);
  Bytes trailing_block = good;
  trailing_block.insert(trailing_block.end(), inflate_input_size + 1, 0);
  Bytes twice = good;
  twice.insert(twice.end(), good.begin(), good.end());
  Bytes bad_block = {0x78, 0x9C, 0x07, 0x00}; // block type 3
  // A header asking for a preset dictionary (FDICT set, check bits valid).
  Bytes dictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  Bytes window_too_large = {0x88, 0x1C, 0x03, 0x00};
  Bytes not_deflate = {0x79, 0x18, 0x03, 0x00};
  Bytes header_only(good.begin(), good.begin() + 2);
  for (const Bytes& stream :
       {bad_check, cut, bad_header, trailing, trailing_more, trailing_block, twice, bad_block,
        dictionary, window_too_large, not_deflate, header_only, Bytes{0x78}, Bytes{}})
    for (Engine engine : engines()) {
      Pipes pipes{stream};
      EXPECT_EQ(inflate(engine, pipes), InflateOutcome::damaged) << stream.size();
    }
}

TEST(InflateStream, FailuresOnEitherSide) {
  // A stream read in many blocks, and one that fits the blocks whole (the
  // 64-bit builds inflate that one in one call).
  struct Row {
    Bytes content;
    int level;
    std::vector<int> failing_reads;
  };
  for (const Row& row : {Row{pattern(1 << 20, 2), 0, {1, 2, 5}}, Row{pattern(100000, 4), 6, {1}}}) {
    Bytes stream = packlib::deflate_stream(row.content, row.level);
    for (Engine engine : engines()) {
      for (int fail_read : row.failing_reads) {
        Pipes pipes{stream};
        pipes.fail_read = fail_read;
        EXPECT_EQ(inflate(engine, pipes), InflateOutcome::read_failed) << fail_read;
      }
      // Fewer stored bytes than the size says: the read comes back short.
      Pipes short_source{Bytes(stream.begin(), stream.end() - 100)};
      EXPECT_EQ(inflate(engine, short_source, uint32_t(stream.size())),
                InflateOutcome::read_failed);
      Pipes full{stream};
      full.write_room = row.content.size() / 2;
      EXPECT_EQ(inflate(engine, full), InflateOutcome::write_failed);
    }
  }
}

TEST(InflateStream, ContentOf2GiBIsTooLarge) {
  // After a full flush the next 4 MiB of zeros compress to the same bytes
  // again: a header and 513 such pieces hold more than 2^31 bytes.
  Bytes zeros(4 << 20, 0), piece(1 << 20), stream;
  z_stream deflater{};
  ASSERT_EQ(deflateInit(&deflater, 1), Z_OK);
  for (int round = 0; round < 2; ++round) {
    deflater.next_in = zeros.data();
    deflater.avail_in = uInt(zeros.size());
    deflater.next_out = piece.data();
    deflater.avail_out = uInt(piece.size());
    ASSERT_EQ(deflate(&deflater, Z_FULL_FLUSH), Z_OK);
    Bytes produced(piece.begin(), piece.end() - long(deflater.avail_out));
    for (int copies = round == 0 ? 1 : 512; copies > 0; --copies)
      stream.insert(stream.end(), produced.begin(), produced.end());
  }
  deflateEnd(&deflater);
  auto discard = [](void*, const void*, int32_t) { return true; };
  Bytes work(inflate_work_size);
  for (Engine engine : engines()) {
    Pipes pipes{stream};
    EXPECT_EQ(
        engine(uint32_t(stream.size()), InflatePipes{&pipes, Pipes::read, discard}, work.data()),
        InflateOutcome::too_large);
  }
}

TEST(InflateStream, StreamsFromOtherProducers) {
  Bytes content = pattern(70000, 3);
  for (int level = 0; level <= 9; ++level)
    for (int window = 9; window <= 15; ++window)
      for (Engine engine : engines()) {
        Pipes pipes{packlib::deflate_stream(content, level, window)};
        ASSERT_EQ(inflate(engine, pipes), InflateOutcome::inflated) << level << "/" << window;
        EXPECT_TRUE(pipes.written == content);
      }
}

} // namespace
