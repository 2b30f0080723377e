// The seal record of a shipped stub. The build's post-link step finds it by
// its mark in the executable file and writes the offset, length and CRC-32.
#include "extract/self_check.h"

// External linkage, so that the link keeps it by name even where no code
// reads it.
extern "C" {
extern const SealRecord stub_seal;
[[gnu::used]] const SealRecord stub_seal = {{seal_mark[0], seal_mark[1], seal_mark[2], seal_mark[3],
                                             seal_mark[4], seal_mark[5], seal_mark[6],
                                             seal_mark[7]},
                                            0,
                                            0,
                                            0};
}

// Read through a volatile view: the compiler must not fold the zeros it
// was built with into the code.
SealRecord own_seal() {
  const volatile SealRecord& record = stub_seal;
  SealRecord seal;
  for (int i = 0; i < 8; ++i)
    seal.mark[i] = record.mark[i];
  seal.offset = record.offset;
  seal.length = record.length;
  seal.crc = record.crc;
  return seal;
}
