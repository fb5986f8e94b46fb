#include "driver/frame_readers.h"

#include <array>
#include <thread>

#include "platform/sync.h"

namespace fennex::driver {

struct alignas(64) FrameRead::Record {  // a cache line each: readers do not share lines
    std::atomic<const void*> owner{nullptr};
    std::atomic<int> slot{-1};
    std::atomic<bool> taken{false};
};

namespace {

// Records that reading threads keep for their lifetime, and a few lent for one read at a time
// to threads that found none left, so that no reader waits for threads that merely exist.
constexpr std::size_t kKept = 48;
constexpr std::size_t kLent = 16;
std::array<FrameRead::Record, kKept + kLent> g_records;

bool Take(FrameRead::Record& record) {
    return !record.taken.load(std::memory_order_relaxed) &&
           !record.taken.exchange(true, std::memory_order_acquire);
}

// Gives the thread's record back when the thread ends. Touched once per thread, so that the
// read path itself reaches only a plain thread-local pointer.
struct KeptRecord {
    FrameRead::Record* record = nullptr;
    ~KeptRecord() {
        if (record) record->taken.store(false, std::memory_order_release);
    }
};
thread_local KeptRecord t_kept;
thread_local FrameRead::Record* t_record = nullptr;

FrameRead::Record* Keep() {
    for (std::size_t i = 0; i < kKept; ++i)
        if (Take(g_records[i])) {
            t_kept.record = &g_records[i];
            t_record = &g_records[i];
            return t_record;
        }
    return nullptr;
}

FrameRead::Record& Borrow() {
    for (;;) {
        for (std::size_t i = kKept; i < g_records.size(); ++i)
            if (Take(g_records[i])) return g_records[i];
        std::this_thread::yield();  // each holder is in the middle of one copy
    }
}

}  // namespace

FrameRead::FrameRead() : record_(t_record), borrowed_(false) {
    if (record_) return;
    record_ = Keep();
    if (record_) return;
    record_ = &Borrow();
    borrowed_ = true;
}

FrameRead::~FrameRead() {
    record_->owner.store(nullptr, std::memory_order_release);
    if (borrowed_) record_->taken.store(false, std::memory_order_release);
}

// Plain stores; the writer's barrier orders them against its mark.
void FrameRead::Announce(const void* owner) {
    record_->slot.store(-1, std::memory_order_relaxed);
    record_->owner.store(owner, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void FrameRead::AnnounceSlot(int slot) {
    record_->slot.store(slot, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void WaitForFrameReaders(const void* owner, int slot) {
    platform::FlushProcessWriteBuffers();
    for (FrameRead::Record& record : g_records)
        while (record.owner.load(std::memory_order_acquire) == owner &&
               (slot < 0 || record.slot.load(std::memory_order_acquire) == slot))
            std::this_thread::yield();
}

}  // namespace fennex::driver
