// The system's completion ports. Completions that we queue ourselves on behalf of a driver
// (CompleteRequest, used by the simulated driver) carry their outcome in the record's Internal
// field as a Win32 error number: 0 for success. A record dequeued with a non-zero Internal is
// reported as a failure with that error, like a failed request that the kernel completes. Real
// kernel completions of successful requests leave Internal 0 (STATUS_SUCCESS); the kernel's
// failed completions are reported as failures by the system itself.
#include "platform/completion_port.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace fennex::platform {

Handle CreatePort() {
    return ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
}

bool PostCompletion(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record) {
    if (record) record->Internal = err::kSuccess;
    return ::PostQueuedCompletionStatus(port, bytes, key, reinterpret_cast<OVERLAPPED*>(record));
}

bool CompleteRequest(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record,
                     std::uint32_t error) {
    if (record) {
        record->Internal = error;
        record->InternalHigh = bytes;
    }
    return ::PostQueuedCompletionStatus(port, bytes, key, reinterpret_cast<OVERLAPPED*>(record));
}

bool DequeueCompletion(Handle port, std::uint32_t* bytes, std::uintptr_t* key, Overlapped** record,
                       std::uint32_t timeoutMs) {
    DWORD count = 0;
    ULONG_PTR completionKey = 0;
    OVERLAPPED* overlapped = nullptr;
    const BOOL ok = ::GetQueuedCompletionStatus(port, &count, &completionKey, &overlapped, timeoutMs);
    const DWORD error = ok ? 0 : ::GetLastError();
    if (record) *record = reinterpret_cast<Overlapped*>(overlapped);
    if (!ok && !overlapped) {  // time-out, or a bad or closed port
        SetLastError(error);
        return false;
    }
    if (bytes) *bytes = count;
    if (key) *key = completionKey;
    if (!ok) {
        SetLastError(error);
        return false;
    }
    if (overlapped && overlapped->Internal != 0) {
        SetLastError(static_cast<std::uint32_t>(overlapped->Internal));
        return false;
    }
    return true;
}

bool ClosePort(Handle port) {
    if (!IsValidHandle(port)) {
        SetLastError(err::kInvalidHandle);
        return false;
    }
    return ::CloseHandle(port);
}

}  // namespace fennex::platform
