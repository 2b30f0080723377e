// The pending list lives in fixed storage: a signal handler may not allocate.
#include "tools/packlib/pending.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace packlib {

namespace {

char pending[1024][4096];
volatile std::sig_atomic_t pending_count = 0;

// Newest first, so that spool files go before their directory.
extern "C" void remove_pending(int signal_number) {
  for (int i = pending_count - 1; i >= 0; --i)
    std::remove(pending[i]);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

} // namespace

void remove_pending_on_signals() {
  std::signal(SIGINT, remove_pending);
  std::signal(SIGTERM, remove_pending);
}

void note_pending(const std::filesystem::path& path) {
  std::string text = path.string();
  if (text.size() < sizeof pending[0] && pending_count < 1024) {
    std::memcpy(pending[pending_count], text.c_str(), text.size() + 1);
    pending_count = pending_count + 1;
  }
}

} // namespace packlib
