// Small reference models for the VLC tests: a bit-at-a-time writer and
// reader, random prefix codes, and buffers whose end (or start) touches
// memory that must not be accessed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/test_support.h"
#include "orvdc.h"

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace orvdc::test::vlc {

// Writes bits most significant first, one at a time.
struct RefWriter {
    std::vector<std::uint8_t> bytes;
    std::size_t bitCount = 0;

    void putBit(unsigned bit) {
        if (bitCount % 8 == 0) bytes.push_back(0);
        if (bit) bytes.back() |= static_cast<std::uint8_t>(0x80u >> (bitCount % 8));
        ++bitCount;
    }
    void put(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) putBit((code >> i) & 1u);
    }
};

// Bit `index` of a stream (most significant bit of byte 0 first).
inline unsigned bitAt(const std::uint8_t* p, std::size_t index) {
    return (p[index / 8] >> (7 - index % 8)) & 1u;
}

// A complete prefix code of `count` codes no longer than `maxLength`, made by
// splitting random leaves, with canonical code values; entries come out in
// random order with distinct values drawn from [lo, lo + span).
inline std::vector<VLCTableEntry> randomPrefixCode(Rng& rng, int count, int maxLength, std::int32_t lo,
                                                   std::uint32_t span) {
    std::vector<int> lengths{0};
    while (static_cast<int>(lengths.size()) < count) {
        // Prefer deep leaves now and then so long codes occur.
        std::size_t pick = rng.below(static_cast<std::uint32_t>(lengths.size()));
        if (rng.below(4) == 0) pick = static_cast<std::size_t>(std::max_element(lengths.begin(), lengths.end()) - lengths.begin());
        if (lengths[pick] >= maxLength) {
            auto it = std::min_element(lengths.begin(), lengths.end());
            if (*it >= maxLength) break;
            pick = static_cast<std::size_t>(it - lengths.begin());
        }
        ++lengths[pick];
        lengths.push_back(lengths[pick]);
    }
    std::sort(lengths.begin(), lengths.end());
    std::vector<VLCTableEntry> table;
    std::uint64_t code = 0;
    int prev = lengths[0];
    for (int len : lengths) {
        code <<= (len - prev);
        prev = len;
        table.push_back({0, static_cast<std::uint32_t>(code), len});
        ++code;
    }
    // Distinct values.
    std::vector<std::int32_t> values;
    while (values.size() < table.size()) {
        const std::int32_t v = lo + static_cast<std::int32_t>(rng.below(span));
        if (std::find(values.begin(), values.end(), v) == values.end()) values.push_back(v);
    }
    for (std::size_t i = 0; i < table.size(); ++i) table[i].value = values[i];
    for (std::size_t i = table.size(); i > 1; --i) std::swap(table[i - 1], table[rng.below(static_cast<std::uint32_t>(i))]);
    return table;
}

// `size` bytes placed so that the byte after the last one (and, with
// `atStart`, the byte before the first one) cannot be read: between
// inaccessible pages where the system has them, else at the end of a heap
// block (which AddressSanitizer guards).
class GuardedBytes {
public:
    GuardedBytes(std::size_t size, bool atStart) : size_(size) {
#if defined(__unix__)
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t body = (size + page_ - 1) / page_ * page_;
        total_ = body + 2 * page_;
        void* m = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m != MAP_FAILED) {
            map_ = static_cast<std::uint8_t*>(m);
            mprotect(map_, page_, PROT_NONE);
            mprotect(map_ + page_ + body, page_, PROT_NONE);
            data_ = atStart ? map_ + page_ : map_ + page_ + body - size;
            return;
        }
#endif
        (void)atStart;
        heap_.reset(new std::uint8_t[size]);
        data_ = heap_.get();
    }
    ~GuardedBytes() {
#if defined(__unix__)
        if (map_ != nullptr) munmap(map_, total_);
#endif
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    std::uint8_t* data() { return data_; }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::uint8_t* data_ = nullptr;
    std::unique_ptr<std::uint8_t[]> heap_;
#if defined(__unix__)
    std::uint8_t* map_ = nullptr;
    std::size_t page_ = 0;
    std::size_t total_ = 0;
#endif
};

// Caller memory of `size` bytes starting 4 bytes past a 32-byte boundary
// (the least alignment callers are allowed), freed with the vector.
struct LooseMemory {
    std::vector<std::uint8_t> storage;
    std::uint8_t* at = nullptr;
    explicit LooseMemory(std::int32_t size) : storage(static_cast<std::size_t>(size) + 32) {
        const auto a = reinterpret_cast<std::uintptr_t>(storage.data());
        at = storage.data() + (4 + 32 - a % 32) % 32;
    }
};

}  // namespace orvdc::test::vlc
