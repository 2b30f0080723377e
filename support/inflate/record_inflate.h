// Inflating one record's stream, whatever its size: whole with the build's
// fast engine where the stream and its content fit its buffers, else
// streamed through zlib from the stream's start. The inflater owns the
// buffers and the choice; its caller only says where the stored bytes come
// from and where the inflated bytes go.
#pragma once

#include <cstdint>

#include "support/inflate/inflate_stream.h"

// The stored bytes, read in order from the stream's start; `back` moves the
// reading back over `count` bytes read (the fast engine found the content
// larger than its buffer); the inflated bytes go to `write`.
struct RecordPipes {
  void* context;
  int32_t (*read)(void* context, void* buffer, int32_t count);
  bool (*back)(void* context, uint32_t count);
  bool (*write)(void* context, const void* bytes, int32_t count);
};

// The buffers, taken from the heap at the first stream that needs them and
// kept until `release_inflater`.
struct RecordInflater {
  uint8_t* work = nullptr;
  uint8_t* whole_input = nullptr;
  uint8_t* whole_output = nullptr;
};

// Takes the buffers a stream of `size` stored bytes needs. Called before
// anything is created for the record: running out of memory ends the
// process, which must leave nothing half made behind.
void reserve_inflater(RecordInflater& inflater, uint32_t size);

// Inflates the stream of `size` stored bytes, in the buffers
// `reserve_inflater` took for it. Both engines reach one
// outcome on every stream; content reaching 2^31 bytes is `too_large`.
InflateOutcome inflate_record(RecordInflater& inflater, uint32_t size, const RecordPipes& pipes);

void release_inflater(RecordInflater& inflater);
