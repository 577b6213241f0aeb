#pragma once
#include <string>

namespace tarvos {

// Claims the instance name for this process until it ends. False when another process
// holds the same name (that copy is running). When the claim cannot be made at all (no
// usable folder for it), true: a launcher is never kept from starting by its own guard.
// A later call in the same process with a name it already holds is false as well.
bool AcquireSingleInstance(const std::string& name);

// Gives a name this process holds back before the process ends: a copy that starts its own
// replacement and ends frees the name first, so the replacement never takes the dying copy
// for a running one. Nothing when the name is not held here.
void ReleaseSingleInstance(const std::string& name);

}  // namespace tarvos
