// Files a run is still writing, removed when SIGINT or SIGTERM ends the
// tool, so that a stopped run leaves no partial output behind.
#pragma once

#include <filesystem>

namespace packlib {

// Removes the noted files, newest first, when the tool is interrupted.
void remove_pending_on_signals();

// Notes a temporary file or directory; those that have been renamed into
// place by then are simply gone.
void note_pending(const std::filesystem::path& path);

} // namespace packlib
