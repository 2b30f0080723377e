// The seal record of a shipped stub. The build's post-link step finds it by
// its mark in the executable file and writes the offset, length and CRC-32.
#include "support/environment.h"

extern "C" {
[[gnu::used]] volatile const SealRecord stub_seal = {
    {seal_mark[0], seal_mark[1], seal_mark[2], seal_mark[3], seal_mark[4], seal_mark[5],
     seal_mark[6], seal_mark[7]},
    0,
    0,
    0};
}

SealRecord own_seal() {
  SealRecord seal;
  for (int i = 0; i < 8; ++i)
    seal.mark[i] = stub_seal.mark[i];
  seal.offset = stub_seal.offset;
  seal.length = stub_seal.length;
  seal.crc = stub_seal.crc;
  return seal;
}
