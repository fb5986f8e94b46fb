// Readers of frame buffers that take no lock and make no atomic read-modify-write: a host reads
// a frame in hundreds of row calls, and each of those would cost more than the row's copy.
//
// Two guards, one for memory and one for content. A buffer owner (a port's session) is freed
// only when no reader is in it: a reading thread announces the owner in a record of its own,
// with plain stores, and then checks that it may still read there; a writer that is about to
// free an owner first takes it out of reach, then waits in WaitForFrameReaders, where a
// process-wide barrier orders every reader's announcement before the writer's look at the
// records. That barrier is costly, and owners are replaced rarely (a mode change, a close).
//
// A slot's content changes with every frame, so it is guarded without any wait: a
// FrameGeneration counts the slot's refills, odd while one is under way, and a reader keeps a
// copy only if the count was even and had not moved by the end of the copy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SANITIZE_THREAD__)
#define FENNEX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FENNEX_TSAN 1
#endif
#endif

#ifdef FENNEX_TSAN
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
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

    // Gives back the calling thread's record; for a thread of ours that is about to end. (No
    // thread-local destructor does it: one would keep the library from unloading.) Records of
    // other threads that end are not reused; once none is left, reads borrow one each time.
    static void LeaveThread();

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

#ifdef FENNEX_TSAN
inline void IgnoreRacesBegin() { __tsan_ignore_thread_begin(); }
inline void IgnoreRacesEnd() { __tsan_ignore_thread_end(); }
#else
inline void IgnoreRacesBegin() {}
inline void IgnoreRacesEnd() {}
#endif

// The refills of one frame slot. Only the thread that refills the slot calls Begin and End (one
// refill at a time); readers call Copy.
class FrameGeneration {
public:
    // Before the slot's first byte changes.
    void Begin() {
        count_.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);  // the odd count before the bytes
    }
    // After its last byte changed (or when the refill is given up).
    void End() { count_.fetch_add(1, std::memory_order_release); }

    // Copies `n` bytes from `src` in the slot, a copy that no refill overlapped; false when a
    // refill is under way or began during the copy (`dest` may then hold anything).
    bool Copy(std::uint8_t* dest, const std::uint8_t* src, std::size_t n) const {
        const std::uint32_t before = count_.load(std::memory_order_acquire);
        if (before & 1) return false;
        // The bytes may change under the copy; such a copy is thrown away below, so a race
        // checker is not shown it.
        IgnoreRacesBegin();
        std::memcpy(dest, src, n);
        IgnoreRacesEnd();
        std::atomic_thread_fence(std::memory_order_acquire);  // the copy before the second look
        return count_.load(std::memory_order_relaxed) == before;
    }

private:
    std::atomic<std::uint32_t> count_{0};
};

}  // namespace fennex::driver
