// Readers of frame buffers that take no lock and make no atomic read-modify-write: a host reads
// a frame in hundreds of row calls, and each of those would cost more than the row's copy.
//
// A reading thread announces in a record of its own what it copies from (a buffer owner and a
// slot in it), with plain stores, and then checks that it may still read there. A writer that
// is about to refill a slot, or to free an owner, first marks it so that new readers keep off,
// then waits in WaitForReaders: a process-wide barrier orders every reader's announcement
// before the writer's look at the records and the writer's mark before every reader's later
// check, so either the writer sees the reader and waits for its copy to end, or the reader sees
// the mark and keeps off. Copies are short; the writer never waits for long.
#pragma once

#include <atomic>

namespace fennex::driver {

class FrameRead {
public:
    struct alignas(64) Record {  // a cache line each: readers do not share lines
        std::atomic<const void*> owner{nullptr};
        std::atomic<int> slot{-1};
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

    // Reads from `owner`, no slot yet. Check afterwards that the owner is still the one to
    // read from. Plain stores: the writer's barrier orders them against its mark.
    void Announce(const void* owner) {
        record_->slot.store(-1, std::memory_order_relaxed);
        record_->owner.store(owner, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    // Reads slot `slot` of the announced owner. Check afterwards that it is not being refilled.
    void AnnounceSlot(int slot) {
        record_->slot.store(slot, std::memory_order_relaxed);
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

// For writers, after marking: waits until no reader announced before the mark is in `slot` of
// `owner` (slot -1: in any of its slots).
void WaitForFrameReaders(const void* owner, int slot);

}  // namespace fennex::driver
