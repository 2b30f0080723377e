// Deleting the running executable at the next start of the machine.
#pragma once

// Enters "NUL=" and the running executable's path under every "[rename]"
// header of the restart-rename list "wininit.ini" in the Windows directory,
// creating the list when there is none. An entry already present, in any
// letter case, is dropped so that it stands once. A failure of the list's
// files ends the process with the system's error code. Nothing where the
// system has no Windows directory.
void delete_at_restart();

// The same for the list in `directory` (the stub's form of a path, without
// a trailing separator).
void enter_in_restart_list(const char* directory);
