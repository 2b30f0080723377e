// Progress on a terminal: the share of bytes done, which only goes up.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace sfxpack {

class Progress {
public:
  // Shown on stderr only when `shown` (a terminal, no --quiet).
  Progress(uint64_t total, bool shown) : total_(total), shown_(shown && total > 0) {}
  ~Progress() {
    if (shown_ && printed_ >= 0)
      std::fputs("\n", stderr);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Counts `bytes` more as done; safe from several threads.
  void add(uint64_t bytes) {
    uint64_t done = done_ += bytes;
    if (!shown_)
      return;
    int percent = int(done >= total_ ? 100 : done * 100 / total_);
    std::lock_guard<std::mutex> lock(lock_);
    if (percent <= printed_)
      return;
    printed_ = percent;
    std::fprintf(stderr, "\rsfxpack: %3d%% of %.1f MB", percent, double(total_) / 1e6);
  }

private:
  uint64_t total_;
  bool shown_;
  std::atomic<uint64_t> done_{0};
  std::mutex lock_;
  int printed_ = -1;
};

} // namespace sfxpack
