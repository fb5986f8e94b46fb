// Named mutexes visible to every process of the user (OpenMutexA / CreateMutexA).
// POSIX: a lock on a file in the runtime directory, released by the system when the process dies,
// so a crashed holder never keeps a name taken.
#pragma once

#include "platform/types.h"

namespace fennex::platform {

// Creates the mutex (not owned) or opens the existing one, which LastError() then tells with
// 183 (ERROR_ALREADY_EXISTS); of callers creating one name at once, one alone sees it new.
// Null on failure.
Handle CreateNamedMutex(const char* name);
bool CloseNamedMutex(Handle mutex);

}  // namespace fennex::platform
