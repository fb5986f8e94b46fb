// I/O completion ports with Win32 semantics.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace fennex::platform {

// A port not yet associated with any device (CreateIoCompletionPort(INVALID_HANDLE_VALUE, ...)).
// Null on failure.
Handle CreatePort();

// PostQueuedCompletionStatus: the record comes out of DequeueCompletion as a success.
bool PostCompletion(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record);

// What a driver does when it finishes an overlapped request: stores the status in the record
// and queues it. A non-zero error makes the record dequeue as a failure with that error.
bool CompleteRequest(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record,
                     std::uint32_t error);

// GetQueuedCompletionStatus. True when a successful completion was dequeued. False otherwise,
// with LastError(): 258 on time-out (*record null), or the failed request's error (*record set).
bool DequeueCompletion(Handle port, std::uint32_t* bytes, std::uintptr_t* key, Overlapped** record,
                       std::uint32_t timeoutMs);

bool ClosePort(Handle port);

}  // namespace fennex::platform
