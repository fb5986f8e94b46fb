#include "platform/sync.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

// Callers tag event handles with bit 0 so that completions skip the port; the system ignores
// the tag, and so do we, explicitly.
HANDLE EventFromHandle(Handle event) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<std::uintptr_t>(event) & ~std::uintptr_t{1});
}

// INVALID_HANDLE_VALUE would be taken as the current process by the wait functions.
bool CheckEvent(Handle event) {
    if (IsValidHandle(event)) return true;
    SetLastError(err::kInvalidHandle);
    return false;
}

struct StartRecord {
    ThreadProc proc;
    void* arg;
};

DWORD WINAPI Trampoline(LPVOID parameter) {
    std::unique_ptr<StartRecord> start(static_cast<StartRecord*>(parameter));
    return start->proc(start->arg);
}

}  // namespace

Handle CreateEventHandle(bool manualReset, bool initiallySignaled) {
    return ::CreateEventA(nullptr, manualReset, initiallySignaled, nullptr);
}

bool SetEventHandle(Handle event) { return CheckEvent(event) && ::SetEvent(EventFromHandle(event)); }

bool ResetEventHandle(Handle event) {
    return CheckEvent(event) && ::ResetEvent(EventFromHandle(event));
}

WaitResult WaitEvent(Handle event, std::uint32_t timeoutMs) {
    if (!CheckEvent(event)) return WaitResult::Failed;
    switch (::WaitForSingleObject(EventFromHandle(event), timeoutMs)) {
        case WAIT_OBJECT_0: return WaitResult::Signaled;
        case WAIT_TIMEOUT: SetLastError(err::kWaitTimeout); return WaitResult::Timeout;
        default: return WaitResult::Failed;
    }
}

bool CloseEventHandle(Handle event) {
    return CheckEvent(event) && ::CloseHandle(EventFromHandle(event));
}

// --- threads

struct Thread::Impl {
    Impl(HANDLE h, DWORD i) : handle(h), id(i) {}
    ~Impl() { ::CloseHandle(handle); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    HANDLE handle;
    DWORD id;
};

Thread::Thread() = default;
Thread::~Thread() = default;

bool Thread::Start(ThreadProc proc, void* arg) {
    if (impl_) {
        SetLastError(err::kInvalidFunction);
        return false;
    }
    if (!proc) {
        SetLastError(err::kInvalidParameter);
        return false;
    }
    auto start = std::make_unique<StartRecord>(StartRecord{proc, arg});
    DWORD id = 0;
    HANDLE handle = ::CreateThread(nullptr, 0, Trampoline, start.get(), 0, &id);
    if (!handle) return false;
    start.release();  // the thread owns it now
    impl_ = std::make_unique<Impl>(handle, id);
    return true;
}

bool Thread::Running() const {
    return impl_ && ::WaitForSingleObject(impl_->handle, 0) == WAIT_TIMEOUT;
}

bool Thread::Join(std::uint32_t timeoutMs) {
    return !impl_ || ::WaitForSingleObject(impl_->handle, timeoutMs) == WAIT_OBJECT_0;
}

std::uint32_t Thread::Id() const { return impl_ ? impl_->id : 0; }

bool Thread::Terminate(std::uint32_t exitCode) {
    if (!impl_) {
        SetLastError(err::kInvalidHandle);
        return false;
    }
    return ::TerminateThread(impl_->handle, exitCode);
}

void Thread::Release() { impl_.reset(); }

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

ThreadExitKey::ThreadExitKey(Ending ending) {
    const DWORD index = ::FlsAlloc(ending);
    valid_ = index != FLS_OUT_OF_INDEXES;
    key_ = index;
}

ThreadExitKey::~ThreadExitKey() {
    if (valid_) ::FlsFree(static_cast<DWORD>(key_));
}

bool ThreadExitKey::Set(void* value) {
    return valid_ && ::FlsSetValue(static_cast<DWORD>(key_), value);
}

void FlushProcessWriteBuffers() { ::FlushProcessWriteBuffers(); }

std::int32_t InterlockedIncrement32(volatile std::int32_t* value) {
    return ::InterlockedIncrement(reinterpret_cast<volatile LONG*>(value));
}

std::int32_t InterlockedDecrement32(volatile std::int32_t* value) {
    return ::InterlockedDecrement(reinterpret_cast<volatile LONG*>(value));
}

}  // namespace fennex::platform
