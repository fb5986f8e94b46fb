#include "driver/frame_readers.h"

#include <array>
#include <thread>

#include "platform/sync.h"

namespace fennex::driver {

namespace {

// Records that reading threads keep until they end, and a few lent for one read at a time to
// threads that found none left (more than kKept reading at once), so that no reader waits for
// threads that merely exist.
constexpr std::size_t kKept = 48;
constexpr std::size_t kLent = 16;
std::array<FrameRead::Record, kKept + kLent> g_records;

bool Take(FrameRead::Record& record) {
    return !record.taken.load(std::memory_order_relaxed) &&
           !record.taken.exchange(true, std::memory_order_acquire);
}

void FENNEX_CALLBACK GiveBack(void* record) {
    static_cast<FrameRead::Record*>(record)->taken.store(false, std::memory_order_release);
}
// A thread that ends is no longer in a read: its record is free for the next thread.
platform::ThreadExitKey g_threadEnds{GiveBack};

}  // namespace

void FrameRead::Claim() {
    for (std::size_t i = 0; i < kKept; ++i)
        if (Take(g_records[i])) {
            if (g_threadEnds.Set(&g_records[i])) {
                t_record = &g_records[i];
                record_ = t_record;
                return;
            }
            // Without the key it would never come back: it serves this read only.
            record_ = &g_records[i];
            borrowed_ = true;
            return;
        }
    borrowed_ = true;
    for (;;) {
        for (std::size_t i = kKept; i < g_records.size(); ++i)
            if (Take(g_records[i])) {
                record_ = &g_records[i];
                return;
            }
        std::this_thread::yield();  // each holder is in the middle of one copy
    }
}

std::size_t FrameRead::RecordsKept() {
    std::size_t n = 0;
    for (std::size_t i = 0; i < kKept; ++i) n += g_records[i].taken.load(std::memory_order_acquire);
    return n;
}

void WaitForFrameReaders(const void* owner) {
    platform::FlushProcessWriteBuffers();
    for (FrameRead::Record& record : g_records)
        while (record.owner.load(std::memory_order_acquire) == owner) std::this_thread::yield();
}

}  // namespace fennex::driver
