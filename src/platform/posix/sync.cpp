#include "platform/sync.h"

#include <linux/membarrier.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/last_error.h"
#include "platform/posix/objects.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Waits on `cv` until `ready()` or the time-out; true when ready.
template <class Ready>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
             std::uint32_t timeoutMs, Ready ready) {
    if (timeoutMs == kInfinite) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, Clock::now() + std::chrono::milliseconds(timeoutMs), ready);
}

class EventObject : public posix::Object {
public:
    EventObject(bool manualReset, bool signaled) : manualReset_(manualReset), signaled_(signaled) {}

    void Set() {
        std::lock_guard lock(mutex_);
        signaled_ = true;
        // An auto-reset event releases one waiter; a manual one all of them.
        if (manualReset_) cv_.notify_all(); else cv_.notify_one();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signaled_ = false;
    }
    bool Wait(std::uint32_t timeoutMs) {
        std::unique_lock lock(mutex_);
        if (!WaitFor(cv_, lock, timeoutMs, [this] { return signaled_; })) return false;
        if (!manualReset_) signaled_ = false;
        return true;
    }

private:
    const bool manualReset_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_;
};

// Thread ids are ours: a process-wide counter, so that every thread (ours or not) has a
// stable non-zero 32-bit id.
std::atomic<std::uint32_t> g_nextThreadId{1};
thread_local std::uint32_t t_threadId = 0;

std::uint32_t NewThreadId() { return g_nextThreadId.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

Handle CreateEventHandle(bool manualReset, bool initiallySignaled) {
    return posix::InsertObject(std::make_shared<EventObject>(manualReset, initiallySignaled));
}

bool SetEventHandle(Handle event) {
    auto object = posix::Find<EventObject>(event);
    if (!object) return false;
    object->Set();
    return true;
}

bool ResetEventHandle(Handle event) {
    auto object = posix::Find<EventObject>(event);
    if (!object) return false;
    object->Reset();
    return true;
}

WaitResult WaitEvent(Handle event, std::uint32_t timeoutMs) {
    auto object = posix::Find<EventObject>(event);
    if (!object) return WaitResult::Failed;
    if (object->Wait(timeoutMs)) return WaitResult::Signaled;
    SetLastError(err::kWaitTimeout);
    return WaitResult::Timeout;
}

bool CloseEventHandle(Handle event) {
    if (!posix::Find<EventObject>(event)) return false;
    return posix::CloseObject(event);
}

// --- threads

struct ThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;
    std::uint32_t id = 0;
};

// The state is shared with the running thread, so that Release and the destructor can drop
// their side while the thread goes on. A thread seen to have ended is also joined, so that it
// has left the library's code for good (the library may be unloaded next); one that has not
// ended is let go.
struct Thread::Impl {
    std::shared_ptr<ThreadState> state;
    std::thread thread;
    std::mutex joinMutex;

    void JoinEnded() {
        std::lock_guard lock(joinMutex);
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
    }
    ~Impl() {
        bool ended = false;
        {
            std::lock_guard lock(state->mutex);
            ended = state->ended;
        }
        if (ended) JoinEnded();
        if (thread.joinable()) thread.detach();
    }
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
    auto state = std::make_shared<ThreadState>();
    state->id = NewThreadId();
    auto impl = std::make_unique<Impl>();
    impl->state = state;
    try {
        impl->thread = std::thread([state, proc, arg] {
            t_threadId = state->id;
            proc(arg);
            posix::EndThreadWindows();
            std::lock_guard lock(state->mutex);
            state->ended = true;
            state->cv.notify_all();
        });
    } catch (const std::system_error&) {
        SetLastError(err::kNotEnoughMemory);
        return false;
    }
    impl_ = std::move(impl);
    return true;
}

bool Thread::Running() const {
    if (!impl_) return false;
    std::lock_guard lock(impl_->state->mutex);
    return !impl_->state->ended;
}

bool Thread::Join(std::uint32_t timeoutMs) {
    if (!impl_) return true;
    ThreadState& state = *impl_->state;
    {
        std::unique_lock lock(state.mutex);
        if (!WaitFor(state.cv, lock, timeoutMs, [&state] { return state.ended; })) return false;
    }
    impl_->JoinEnded();
    return true;
}

std::uint32_t Thread::Id() const { return impl_ ? impl_->state->id : 0; }

// There is no safe way to kill one thread of a process here: the thread runs on and ends by
// itself; the caller learns that nothing was done.
bool Thread::Terminate(std::uint32_t) {
    SetLastError(impl_ ? err::kNotSupported : err::kInvalidHandle);
    return false;
}

void Thread::Release() { impl_.reset(); }

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::uint32_t CurrentThreadId() {
    if (t_threadId == 0) t_threadId = NewThreadId();
    return t_threadId;
}

ThreadExitKey::ThreadExitKey(Ending ending) {
    pthread_key_t key{};
    valid_ = ::pthread_key_create(&key, ending) == 0;
    key_ = static_cast<std::uintptr_t>(key);
}

ThreadExitKey::~ThreadExitKey() {
    if (valid_) ::pthread_key_delete(static_cast<pthread_key_t>(key_));
}

bool ThreadExitKey::Set(void* value) {
    return valid_ && ::pthread_setspecific(static_cast<pthread_key_t>(key_), value) == 0;
}

void FlushProcessWriteBuffers() {
    // The expedited form interrupts only the processors running this process; it needs
    // registering once. Kernels without it have the global form, which waits longer.
    static const bool expedited =
        syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    if (expedited && syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0) return;
    syscall(SYS_membarrier, MEMBARRIER_CMD_GLOBAL, 0, 0);
}

std::int32_t InterlockedIncrement32(volatile std::int32_t* value) {
    return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST);
}

std::int32_t InterlockedDecrement32(volatile std::int32_t* value) {
    return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST);
}

}  // namespace fennex::platform
