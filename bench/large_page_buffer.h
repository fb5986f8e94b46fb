// Frame buffers for the benchmarks.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <sys/mman.h>

namespace fennex::bench {

// A buffer in 2 MB pages where the system grants them. A 640 x 480 frame and its rows just
// about fill a 1 MB L2 cache; in 4 KB pages their physical placement, which changes from run
// to run, decides how much of them stays there and can double a kernel's time. In large pages
// every contender sees the same cache, run after run.
class Buffer {
public:
    explicit Buffer(std::size_t size) : size_(size) {
        constexpr std::size_t kPage = std::size_t{2} << 20;
        const std::size_t rounded = (size + kPage - 1) / kPage * kPage;
        data_.reset(static_cast<std::uint8_t*>(std::aligned_alloc(kPage, rounded)));
        if (!data_) throw std::bad_alloc();
        madvise(data_.get(), rounded, MADV_HUGEPAGE);  // a hint: small pages still work
        std::memset(data_.get(), 0, rounded);
    }
    std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::uint8_t* begin() const { return data(); }
    std::uint8_t* end() const { return data() + size_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_;
};

}  // namespace fennex::bench
