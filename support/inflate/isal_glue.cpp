// The three functions ISA-L's inflate calls from the parts of ISA-L the
// stubs leave out (its deflate and its CRC library): the checksums come
// from the stub's own implementations.
#include <cstddef>
#include <cstdint>
#include <igzip_lib.h>

#include "support/base/bytes.h"
#include "support/inflate/adler32.h"
#include "support/inflate/crc32.h"

// ISA-L keeps a running Adler-32 as B | (A - 1), so that it starts at 0 as
// its CRCs do.
extern "C" uint32_t isal_adler32_bam1(uint32_t adler, const unsigned char* start, uint64_t count) {
  using adler32_detail::modulus;
  uint32_t low = adler & 0xffff;
  low = low == modulus - 1 ? 0 : low + 1;
  adler = adler32_update((adler & 0xffff0000) | low, start, size_t(count));
  low = adler & 0xffff;
  low = low == 0 ? modulus - 1 : low - 1;
  return (adler & 0xffff0000) | low;
}

// For gzip streams, which the stubs never ask for.
extern "C" uint32_t crc32_gzip_refl(uint32_t crc, const unsigned char* bytes, uint64_t count) {
  return crc32_fast_update(crc, bytes, size_t(count));
}

extern "C" void isal_gzip_header_init(isal_gzip_header* header) {
  fill_bytes(header, 0, sizeof *header);
  header->os = 0xff;
}
