// Names the calling thread as tools show it (top -H, /proc/<pid>/task/*/comm, a debugger), so
// that a profile says which of the program's threads did what. At most 15 characters.
#pragma once

namespace platform {

void NameThisThread(const char* name);

}  // namespace platform
