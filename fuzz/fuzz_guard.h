// Buffers for the fuzz harnesses that end right before an inaccessible page,
// so that reading or writing one byte past them faults even where the
// sanitizer's redzones would miss it (past the end of a large block, or
// inside the library's own arithmetic on a pointer it was given).  A harness
// keeps one PageEnd per buffer role for the whole run: the mapping grows when
// a larger size is asked for and is reused otherwise.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvdc::fuzz {

class PageEnd {
public:
    PageEnd() = default;
    PageEnd(const PageEnd&) = delete;
    PageEnd& operator=(const PageEnd&) = delete;
    ~PageEnd() {
        if (base_ != nullptr) munmap(base_, mapped_);
    }

    // The last n bytes before the inaccessible page; their content is
    // whatever the previous use left.
    std::uint8_t* end(std::size_t n) {
        reserve(n);
        return limit_ - n;
    }
    // A copy of p[0..n) as the last n bytes before the page.
    std::uint8_t* place(const void* p, std::size_t n) {
        std::uint8_t* q = end(n);
        if (n != 0) std::memcpy(q, p, n);
        return q;
    }

private:
    // The first use maps at least the inaccessible page, so that even an
    // empty buffer is a real address (a null one would be refused).
    void reserve(std::size_t n) {
        if (n <= usable_ && base_ != nullptr) return;
        if (base_ != nullptr) munmap(base_, mapped_);
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        usable_ = (n + page - 1) / page * page;
        mapped_ = usable_ + page;
        void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) std::abort();
        base_ = static_cast<std::uint8_t*>(m);
        if (mprotect(base_ + usable_, page, PROT_NONE) != 0) std::abort();
        limit_ = base_ + usable_;
    }

    std::uint8_t* base_ = nullptr;
    std::uint8_t* limit_ = nullptr;
    std::size_t usable_ = 0;
    std::size_t mapped_ = 0;
};

// A canary pattern for destinations: fill [0, n) before a call, then check
// that the bytes from the reported output on are unchanged.  The pattern is
// kept in one buffer grown on demand and copied and compared with memcpy and
// memcmp, which the sanitizer checks per range rather than per byte: rooms of
// hundreds of KiB are filled and checked on every run.
inline std::uint8_t canaryByte(std::size_t i) { return static_cast<std::uint8_t>((i * 0x9E3779B1u + 0x5Au) >> 11); }
[[gnu::noinline]] inline const std::uint8_t* canaryPattern(std::size_t n) {
    static std::vector<std::uint8_t> pattern;
    while (pattern.size() < n) pattern.push_back(canaryByte(pattern.size()));
    return pattern.data();
}
[[gnu::noinline]] inline void fillCanary(std::uint8_t* p, std::size_t n) {
    if (n != 0) std::memcpy(p, canaryPattern(n), n);
}
[[gnu::noinline]] inline void requireCanary(const std::uint8_t* p, std::size_t from, std::size_t to) {
    if (from >= to) return;
    // A byte past the reported output changed.
    if (std::memcmp(p + from, canaryPattern(to) + from, to - from) != 0) std::abort();
}
// The deflate stored-block writer and trailer set the byte behind a header
// field or trailer byte to 0 when room remains: that one byte may be 0.
// Returns where the untouched bytes start.
[[gnu::noinline]] inline std::size_t requireCanaryPastClearedByte(const std::uint8_t* p, std::size_t from,
                                                                  std::size_t to) {
    if (from < to && p[from] == 0) ++from;
    requireCanary(p, from, to);
    return from;
}

}  // namespace orvdc::fuzz
