// The system this build runs on, settled once here for the code above the
// OS layer (as the name rules that files are written by).
#pragma once

#ifdef _WIN32
inline constexpr bool host_is_windows = true;
#else
inline constexpr bool host_is_windows = false;
#endif
