// Readers of frame buffers that, as a rule, take no lock and make no atomic read-modify-write: a
// host reads a frame in hundreds of row calls, and each of those would cost more than the row's
// copy.
//
// Two guards, one for memory and one for content. A buffer owner (a port's session) is freed
// only when no reader is in it: a reading thread announces the owner in a record of its own,
// with plain stores, and then checks that it may still read there; a writer that is about to
// free an owner first takes it out of reach, then waits in WaitForFrameReaders, where a
// process-wide barrier orders every reader's announcement before the writer's look at the
// records. That barrier is costly, and owners are replaced rarely (a mode change, a close).
//
// A frame's content changes with every frame, so it is guarded without waits (FramePair).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define FENNEX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FENNEX_TSAN 1
#endif
#endif

#ifdef FENNEX_TSAN
// The thread sanitizer's dynamic annotations, which every program built with it exports (so a
// host that loads an instrumented library finds them too).
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#endif

namespace fennex::driver {

class FrameRead {
public:
    struct alignas(64) Record {  // a cache line each: readers do not share lines
        std::atomic<const void*> owner{nullptr};
        std::atomic<bool> taken{false};
    };

    // Takes the calling thread's record for the length of this read.
    FrameRead() : record_(t_record), borrowed_(false) {
        if (!record_) Claim();
    }
    // Ends the announcement; the copy is done before any writer that looks afterwards.
    ~FrameRead() {
        record_->owner.store(nullptr, std::memory_order_release);
        if (borrowed_) record_->taken.store(false, std::memory_order_release);
    }
    FrameRead(const FrameRead&) = delete;
    FrameRead& operator=(const FrameRead&) = delete;

    // Reads from `owner`. Check afterwards that the owner is still the one to read from. A
    // plain store: the writer's barrier orders it against its mark.
    void Announce(const void* owner) {
        record_->owner.store(owner, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }

    // Records kept by reading threads now; a thread's record comes back when it ends.
    static std::size_t RecordsKept();

private:
    // The thread's own record, once it has one.
    static inline thread_local Record* t_record = nullptr;
    // Takes a record for the thread, or lends one for this read when none is left.
    void Claim();

    Record* record_;
    bool borrowed_;
};

// For writers, once `owner` is out of reach of new readers: waits until no reader is left in it.
void WaitForFrameReaders(const void* owner);

// Two frame buffers that one writer refills in turn while readers copy from the frame published
// last. That frame stays whole until the next one is published: only the other buffer is
// refilled. Each buffer counts its refills, odd while one is under way; a reader keeps a copy
// only if the count was even and had not moved by the end of it, else it copies again from the
// frame published meanwhile. A reader that the refills keep overtaking (a large copy while frames
// come faster than it copies) reads under a lock that the next refill waits for, so every read
// ends; no other read makes the writer wait.
class FramePair {
public:
    // Before the pair is shared.
    void Resize(std::size_t bytes) {
        for (auto& buffer : buffers_) buffer.assign(bytes, 0);
    }

    // --- the writer: one refill at a time
    // The buffer of the next frame, which readers now keep off.
    std::uint8_t* BeginRefill() {
        if (slowReaders_.load(std::memory_order_acquire) != 0) {
            slowRead_.lock();  // that reader's copy ends first
            slowRead_.unlock();
        }
        const int next = 1 - current_.load(std::memory_order_relaxed);
        refills_[next].fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);  // the odd count before the bytes
        return buffers_[next].data();
    }
    // The refilled buffer holds the latest frame.
    void Publish() {
        const int next = 1 - current_.load(std::memory_order_relaxed);
        refills_[next].fetch_add(1, std::memory_order_release);
        current_.store(next, std::memory_order_release);
    }
    // The refill is given up (half a frame at most): the frame published last stays.
    void Withdraw() {
        const int next = 1 - current_.load(std::memory_order_relaxed);
        refills_[next].fetch_add(1, std::memory_order_release);
    }

    // --- readers
    // Copies `n` bytes of the latest frame from byte `offset` on (the caller keeps within it).
    void Copy(std::size_t offset, std::uint8_t* dest, std::size_t n) const {
        constexpr int kQuickTries = 3;
        for (int i = 0; i < kQuickTries; ++i)
            if (TryCopy(offset, dest, n)) return;
        slowReaders_.fetch_add(1, std::memory_order_acq_rel);
        {
            std::lock_guard<std::mutex> lock(slowRead_);
            while (!TryCopy(offset, dest, n)) {
            }
        }
        slowReaders_.fetch_sub(1, std::memory_order_release);
    }

private:
    bool TryCopy(std::size_t offset, std::uint8_t* dest, std::size_t n) const {
        const int slot = current_.load(std::memory_order_acquire);
        const std::uint32_t before = refills_[slot].load(std::memory_order_acquire);
        if (before & 1) return false;  // a publish overtook us: the current frame is another
        // The bytes may change under the copy; such a copy is thrown away below, so a race
        // checker is not shown its reads.
        IgnoreReadsBegin();
        std::memcpy(dest, buffers_[slot].data() + offset, n);
        IgnoreReadsEnd();
        std::atomic_thread_fence(std::memory_order_acquire);  // the copy before the second look
        return refills_[slot].load(std::memory_order_relaxed) == before;
    }

#ifdef FENNEX_TSAN
    static void IgnoreReadsBegin() { AnnotateIgnoreReadsBegin(__FILE__, __LINE__); }
    static void IgnoreReadsEnd() { AnnotateIgnoreReadsEnd(__FILE__, __LINE__); }
#else
    static void IgnoreReadsBegin() {}
    static void IgnoreReadsEnd() {}
#endif

    std::array<std::vector<std::uint8_t>, 2> buffers_;
    std::array<std::atomic<std::uint32_t>, 2> refills_{};
    std::atomic<int> current_{0};
    mutable std::atomic<int> slowReaders_{0};
    mutable std::mutex slowRead_;
};

}  // namespace fennex::driver
