// Threads, events and waits with Win32 semantics.
// Functions that fail return false (or a null / invalid handle) and leave the reason in LastError().
#pragma once

#include <cstdint>
#include <memory>

#include "platform/types.h"

namespace fennex::platform {

enum class WaitResult { Signaled, Timeout, Failed };

// --- events (CreateEvent / SetEvent / ResetEvent / WaitForSingleObject / CloseHandle)
Handle CreateEventHandle(bool manualReset, bool initiallySignaled);  // null on failure
bool SetEventHandle(Handle event);  // bit 0 of the handle is ignored, as the system ignores it
bool ResetEventHandle(Handle event);
WaitResult WaitEvent(Handle event, std::uint32_t timeoutMs);
bool CloseEventHandle(Handle event);

// An owned event.
class Event {
public:
    Event(bool manualReset, bool initiallySignaled)
        : handle_(CreateEventHandle(manualReset, initiallySignaled)) {}
    ~Event() { if (handle_) CloseEventHandle(handle_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool Valid() const { return handle_ != nullptr; }
    Handle Native() const { return handle_; }
    bool Set() { return SetEventHandle(handle_); }
    bool Reset() { return ResetEventHandle(handle_); }
    WaitResult Wait(std::uint32_t timeoutMs) { return WaitEvent(handle_, timeoutMs); }

private:
    Handle handle_;
};

// --- threads
using ThreadProc = std::uint32_t (*)(void* arg);

// One OS thread. The owner decides how long to wait for it; the destructor neither waits nor
// kills: a thread still running then is detached and must not touch anything the owner frees.
class Thread {
public:
    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread at once (default stack). False with LastError() on failure.
    bool Start(ThreadProc proc, void* arg);
    bool Running() const;     // started and not yet ended
    bool Started() const { return impl_ != nullptr; }
    // Waits up to timeoutMs for the thread to end; true when it has ended (or never started).
    bool Join(std::uint32_t timeoutMs);
    std::uint32_t Id() const;
    // Win32: TerminateThread. POSIX has no safe equivalent: the thread is left to end by itself
    // and false is returned.
    bool Terminate(std::uint32_t exitCode);
    // Forgets the thread (closes the handle without waiting).
    void Release();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

void SleepMs(std::uint32_t ms);
std::uint32_t CurrentThreadId();

// --- a value per thread, handed to `ending` when a thread that set it ends (a POSIX thread key,
// a Win32 fiber-local slot). It goes with the key: threads that end later call nothing, so a
// library holding one still unloads, as it would not while a thread-local object with a
// destructor lived. (Win32 also hands every thread's value to `ending` when the key goes.)
class ThreadExitKey {
public:
    using Ending = void(FENNEX_CALLBACK*)(void* value);
    explicit ThreadExitKey(Ending ending);
    ~ThreadExitKey();
    ThreadExitKey(const ThreadExitKey&) = delete;
    ThreadExitKey& operator=(const ThreadExitKey&) = delete;

    // The calling thread's value (null: none); false when the key could not be made.
    bool Set(void* value);

private:
    std::uintptr_t key_ = 0;
    bool valid_ = false;
};

// --- interlocked counters
std::int32_t InterlockedIncrement32(volatile std::int32_t* value);
std::int32_t InterlockedDecrement32(volatile std::int32_t* value);

// --- FlushProcessWriteBuffers: a full memory barrier on every processor that runs a thread of
// the process. A path taken rarely calls it so that a hot path on other threads can go without
// fences: after it returns, the others' earlier stores are visible to the caller, and the
// caller's earlier stores to the others' later loads.
void FlushProcessWriteBuffers();

}  // namespace fennex::platform
