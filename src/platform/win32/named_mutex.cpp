#include "platform/named_mutex.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

// A null or empty name would make an unnamed mutex that no other process can see.
bool ValidName(const char* name) {
    if (name && *name) return true;
    SetLastError(err::kInvalidParameter);
    return false;
}

}  // namespace

Handle CreateNamedMutex(const char* name) {
    if (!ValidName(name)) return nullptr;
    // The system sets the last error only when the name existed; make "made anew" readable.
    ::SetLastError(ERROR_SUCCESS);
    return ::CreateMutexA(nullptr, FALSE, name);
}

bool CloseNamedMutex(Handle mutex) {
    if (!IsValidHandle(mutex)) {
        SetLastError(err::kInvalidHandle);
        return false;
    }
    return ::CloseHandle(mutex);
}

}  // namespace fennex::platform
