// SHA-256 (FIPS 180-4), written plainly: the tool hashes what it has just
// written, where a few hundred megabytes a second are plenty.
#include "tools/packlib/sha256.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/packlib/file_io.h"
#include "tools/packlib/host.h"

namespace packlib {

namespace {

constexpr uint32_t round_constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t rotate(uint32_t value, int bits) {
  return (value >> bits) | (value << (32 - bits));
}

} // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::block(const uint8_t* bytes) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(bytes[4 * i]) << 24 | uint32_t(bytes[4 * i + 1]) << 16 |
           uint32_t(bytes[4 * i + 2]) << 8 | bytes[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  for (int i = 0; i < 64; ++i) {
    uint32_t t1 = h + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                  round_constants[i] + w[i];
    uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  state_[5] += f;
  state_[6] += g;
  state_[7] += h;
}

void Sha256::add(const uint8_t* bytes, size_t count) {
  total_ += count;
  while (count > 0) {
    if (pending_count_ == 0 && count >= 64) {
      block(bytes);
      bytes += 64;
      count -= 64;
      continue;
    }
    size_t take = std::min(count, 64 - pending_count_);
    std::memcpy(pending_ + pending_count_, bytes, take);
    pending_count_ += take;
    bytes += take;
    count -= take;
    if (pending_count_ == 64) {
      block(pending_);
      pending_count_ = 0;
    }
  }
}

std::string Sha256::hex() {
  uint64_t bits = total_ * 8;
  uint8_t tail[72] = {0x80};
  size_t padding = (pending_count_ < 56 ? 56 : 120) - pending_count_;
  for (int i = 0; i < 8; ++i)
    tail[padding + size_t(i)] = uint8_t(bits >> (56 - 8 * i));
  add(tail, padding + 8);
  std::string out;
  for (uint32_t word : state_) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", unsigned(word));
    out += digits;
  }
  return out;
}

std::string sha256_of_file(const std::filesystem::path& path) {
  File file(open_file(path, "rb"));
  if (!file)
    throw std::runtime_error(shown_path(path) + ": cannot be read");
  Sha256 hash;
  std::vector<uint8_t> buffer(size_t(1) << 20);
  while (size_t count = std::fread(buffer.data(), 1, buffer.size(), file.get()))
    hash.add(buffer.data(), count);
  if (std::ferror(file.get()))
    throw std::runtime_error(shown_path(path) + ": cannot be read");
  return hash.hex();
}

} // namespace packlib
