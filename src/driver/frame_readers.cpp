#include "driver/frame_readers.h"

#include <array>
#include <cstring>
#include <thread>

#include "platform/sync.h"

namespace fennex::driver {

namespace {

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
void IgnoreRacesBegin() { __tsan_ignore_thread_begin(); }
void IgnoreRacesEnd() { __tsan_ignore_thread_end(); }
#else
void IgnoreRacesBegin() {}
void IgnoreRacesEnd() {}
#endif

// Records that reading threads keep for their lifetime, and a few lent for one read at a time
// to threads that found none left, so that no reader waits for threads that merely exist.
constexpr std::size_t kKept = 48;
constexpr std::size_t kLent = 16;
std::array<FrameRead::Record, kKept + kLent> g_records;

bool Take(FrameRead::Record& record) {
    return !record.taken.load(std::memory_order_relaxed) &&
           !record.taken.exchange(true, std::memory_order_acquire);
}

}  // namespace

void FrameRead::Claim() {
    for (std::size_t i = 0; i < kKept; ++i)
        if (Take(g_records[i])) {
            t_record = &g_records[i];
            record_ = t_record;
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

void FrameRead::LeaveThread() {
    if (!t_record) return;
    t_record->taken.store(false, std::memory_order_release);
    t_record = nullptr;
}

void WaitForFrameReaders(const void* owner) {
    platform::FlushProcessWriteBuffers();
    for (FrameRead::Record& record : g_records)
        while (record.owner.load(std::memory_order_acquire) == owner) std::this_thread::yield();
}

bool FrameGeneration::Copy(std::uint8_t* dest, const std::uint8_t* src, std::size_t n) const {
    const std::uint32_t before = count_.load(std::memory_order_acquire);
    if (before & 1) return false;
    // The bytes may change under the copy; such a copy is thrown away below, so a race checker
    // is not shown it.
    IgnoreRacesBegin();
    std::memcpy(dest, src, n);
    IgnoreRacesEnd();
    std::atomic_thread_fence(std::memory_order_acquire);  // the copy before the second look
    return count_.load(std::memory_order_relaxed) == before;
}

}  // namespace fennex::driver
