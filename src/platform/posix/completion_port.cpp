#include "platform/completion_port.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/last_error.h"
#include "platform/posix/objects.h"
#include "platform/win32_errors.h"

namespace fennex::platform {
namespace {

struct Completion {
    std::uint32_t bytes;
    std::uintptr_t key;
    Overlapped* record;
    std::uint32_t error;
};

// First in, first out, in a ring that only grows: once it has room for the requests a port
// keeps in flight, queueing a completion allocates nothing.
class CompletionQueue {
public:
    bool Empty() const { return count_ == 0; }
    void Push(const Completion& completion) {
        if (count_ == slots_.size()) Grow();
        slots_[(head_ + count_) % slots_.size()] = completion;
        ++count_;
    }
    Completion Pop() {
        const Completion front = slots_[head_];
        head_ = (head_ + 1) % slots_.size();
        --count_;
        return front;
    }

private:
    void Grow() {
        std::vector<Completion> larger(slots_.empty() ? 8 : 2 * slots_.size());
        for (std::size_t i = 0; i < count_; ++i) larger[i] = slots_[(head_ + i) % slots_.size()];
        slots_ = std::move(larger);
        head_ = 0;
    }

    std::vector<Completion> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

class PortObject : public posix::Object {
public:
    void Post(const Completion& completion) {
        {
            std::lock_guard lock(mutex_);
            queue_.Push(completion);
        }
        cv_.notify_one();  // outside the lock: the waiter need not wait for it
    }

    // False on time-out or when the port was closed during the wait.
    bool Take(Completion& out, std::uint32_t timeoutMs, bool& closed) {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return closed_ || !queue_.Empty(); };
        if (timeoutMs == kInfinite) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_until(lock,
                                   std::chrono::steady_clock::now() +
                                       std::chrono::milliseconds(timeoutMs),
                                   ready)) {
            closed = false;
            return false;
        }
        if (queue_.Empty()) {
            closed = true;
            return false;
        }
        out = queue_.Pop();
        return true;
    }

    void OnClose() override {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queue_ = {};
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    CompletionQueue queue_;
    bool closed_ = false;
};

bool Queue(Handle port, const Completion& completion) {
    auto object = posix::Find<PortObject>(port);
    if (!object) return false;
    object->Post(completion);
    return true;
}

}  // namespace

Handle CreatePort() { return posix::InsertObject(std::make_shared<PortObject>()); }

bool PostCompletion(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record) {
    if (record) record->Internal = err::kSuccess;  // as on Windows, where the status says it
    return Queue(port, {bytes, key, record, err::kSuccess});
}

bool CompleteRequest(Handle port, std::uint32_t bytes, std::uintptr_t key, Overlapped* record,
                     std::uint32_t error) {
    // The record carries the outcome as a driver leaves it: status and byte count.
    if (record) {
        record->Internal = error;
        record->InternalHigh = bytes;
    }
    return Queue(port, {bytes, key, record, error});
}

bool DequeueCompletion(Handle port, std::uint32_t* bytes, std::uintptr_t* key, Overlapped** record,
                       std::uint32_t timeoutMs) {
    if (record) *record = nullptr;
    auto object = posix::Find<PortObject>(port);
    if (!object) return false;
    Completion completion{};
    bool closed = false;
    if (!object->Take(completion, timeoutMs, closed)) {
        SetLastError(closed ? err::kAbandonedWait0 : err::kWaitTimeout);
        return false;
    }
    if (bytes) *bytes = completion.bytes;
    if (key) *key = completion.key;
    if (record) *record = completion.record;
    if (completion.error != err::kSuccess) {
        SetLastError(completion.error);
        return false;
    }
    return true;
}

bool ClosePort(Handle port) {
    if (!posix::Find<PortObject>(port)) return false;
    return posix::CloseObject(port);
}

}  // namespace fennex::platform
