// Basic handle and record types shared by every platform service.
// The layouts follow Win32 so that the Win32 implementation can hand them to the system as they are.
#pragma once

#include <cstdint>

// The calling convention of functions that the system calls back (window procedures, thread
// ends): Win32's WINAPI, which differs from the default only on x86.
#if defined(_WIN32) && !defined(_WIN64)
#define FENNEX_CALLBACK __stdcall
#else
#define FENNEX_CALLBACK
#endif

namespace fennex::platform {

// An opaque OS handle: a Win32 HANDLE, or on POSIX the key of one of our own objects.
using Handle = void*;

// INVALID_HANDLE_VALUE: all bits set.
inline Handle InvalidHandleValue() { return reinterpret_cast<Handle>(~std::uintptr_t{0}); }
inline bool IsValidHandle(Handle h) { return h != nullptr && h != InvalidHandleValue(); }

// The system's overlapped record, laid out exactly as Win32's OVERLAPPED.
struct Overlapped {
    std::uintptr_t Internal;      // completion status
    std::uintptr_t InternalHigh;  // bytes transferred
    std::uint32_t Offset;
    std::uint32_t OffsetHigh;
    Handle hEvent;                // event to signal; bit 0 set keeps the completion off the port
};

// Wait timeout that never expires (INFINITE).
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

}  // namespace fennex::platform
