// Memory kernels.  Lengths of 16 bytes and more are written with 16-byte SSE2
// stores: the first 16 bytes with an unaligned store, the body from the next
// 16-byte boundary with aligned stores (64 bytes a step, then 16), and the last
// 16 bytes with one more unaligned store that may overlap the body.  Writes of
// more than 512 KiB that are also at least as large as the largest data cache
// use streaming (cache-bypassing) stores and end with a store fence.
#include "core/memory.h"

#include <emmintrin.h>

#include <cstring>

#include "core/check.h"

namespace orvdc {

namespace {

constexpr std::size_t kStreamingThreshold = 524288;

bool useStreamingStores(std::size_t bytes) {
    if (bytes <= kStreamingThreshold) return false;
    const std::size_t cache = largestCacheBytes();
    return cache != 0 && bytes >= cache;
}

inline void store16(unsigned char* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

inline void alignedStore(__m128i* q, __m128i v) { _mm_store_si128(q, v); }
inline void streamStore(__m128i* q, __m128i v) { _mm_stream_si128(q, v); }

inline __m128i load16(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Writes n bytes of a pattern whose period divides 16.  pattern32 holds the
// pattern twice, starting at the phase of dst, so the 16 bytes starting at
// offset k of the destination equal pattern32[k % 16 .. k % 16 + 16).
void patternFill(unsigned char* dst, std::size_t n, const unsigned char* pattern32) {
    if (n < 16) {
        // Short lengths: 8- and 4-byte stores, then single bytes.
        std::size_t i = 0;
        if (n >= 8) {
            std::memcpy(dst, pattern32, 8);
            std::memcpy(dst + n - 8, pattern32 + ((n - 8) & 15), 8);
            return;
        }
        if (n >= 4) {
            std::memcpy(dst, pattern32, 4);
            std::memcpy(dst + n - 4, pattern32 + ((n - 4) & 15), 4);
            return;
        }
        for (; i < n; ++i) dst[i] = pattern32[i];
        return;
    }
    store16(dst, load16(pattern32));
    const std::size_t head = (0u - reinterpret_cast<std::uintptr_t>(dst)) & 15;
    unsigned char* p = dst + head;
    std::size_t rem = n - head;
    const __m128i v = load16(pattern32 + head);
    auto* q = reinterpret_cast<__m128i*>(p);
    auto blocks64 = [&](auto storeAligned) {
        for (; rem >= 64; rem -= 64, q += 4) {
            storeAligned(q, v);
            storeAligned(q + 1, v);
            storeAligned(q + 2, v);
            storeAligned(q + 3, v);
        }
    };
    if (useStreamingStores(n)) {
        blocks64(streamStore);
        _mm_sfence();
    } else {
        blocks64(alignedStore);
    }
    for (; rem >= 16; rem -= 16, ++q) _mm_store_si128(q, v);
    if (rem != 0) store16(dst + n - 16, load16(pattern32 + ((n - 16) & 15)));
}

void fillWithElement(void* dst, const void* element, std::size_t elementSize, std::size_t bytes) {
    alignas(16) unsigned char pattern32[32];
    for (std::size_t i = 0; i < 32; i += elementSize) std::memcpy(pattern32 + i, element, elementSize);
    patternFill(static_cast<unsigned char*>(dst), bytes, pattern32);
}

}  // namespace

void* zeroKernel(void* dst, std::size_t len) {
    return fillKernel(dst, 0, len);
}

void* fillKernel(void* dst, std::uint8_t value, std::size_t len) {
    fillWithElement(dst, &value, 1, len);
    return dst;
}

void* fill16Kernel(void* dst, std::uint16_t value, std::size_t count) {
    fillWithElement(dst, &value, 2, count * 2);
    return dst;
}

void* fill32(std::uint32_t value, void* dst, std::size_t count) {
    if (count != 0) fillWithElement(dst, &value, 4, count * 4);
    return dst;
}

void* fill64(std::uint64_t value, void* dst, std::size_t count) {
    if (count != 0) fillWithElement(dst, &value, 8, count * 8);
    return dst;
}

void* copyKernel(void* dst, const void* src, std::size_t len) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    if (len < 64) {
        // Short copies run from the end towards the start, 4 bytes a step.
        std::size_t n = len;
        while (n >= 4) {
            n -= 4;
            std::uint32_t w;
            std::memcpy(&w, s + n, 4);
            std::memcpy(d + n, &w, 4);
        }
        while (n > 0) {
            --n;
            d[n] = s[n];
        }
        return dst;
    }
    const __m128i first = load16(s);
    const __m128i last = load16(s + len - 16);
    const std::size_t head = (0u - reinterpret_cast<std::uintptr_t>(d)) & 15;
    std::size_t off = head;
    std::size_t rem = len - head;
    auto blocks64 = [&](auto storeAligned) {
        for (; rem >= 64; rem -= 64, off += 64) {
            const __m128i a = load16(s + off), b = load16(s + off + 16);
            const __m128i c = load16(s + off + 32), e = load16(s + off + 48);
            auto* q = reinterpret_cast<__m128i*>(d + off);
            storeAligned(q, a);
            storeAligned(q + 1, b);
            storeAligned(q + 2, c);
            storeAligned(q + 3, e);
        }
    };
    if (useStreamingStores(len)) {
        blocks64(streamStore);
        _mm_sfence();
    } else {
        blocks64(alignedStore);
    }
    for (; rem >= 16; rem -= 16, off += 16) {
        _mm_store_si128(reinterpret_cast<__m128i*>(d + off), load16(s + off));
    }
    store16(d, first);
    store16(d + len - 16, last);
    return dst;
}

orvStatus zeroBytes(void* dst, std::int32_t len) {
    if (dst == nullptr) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    zeroKernel(dst, static_cast<std::size_t>(len));
    return orvStsOk;
}

orvStatus copyBytes(const void* src, void* dst, std::int32_t len) {
    if (anyNull(src, dst)) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    copyKernel(dst, src, static_cast<std::size_t>(len));
    return orvStsOk;
}

orvStatus fillBytes(std::uint8_t value, void* dst, std::int32_t len) {
    if (dst == nullptr) return orvStsNullPtr;
    if (len < 1) return orvStsBadSize;
    fillKernel(dst, value, static_cast<std::size_t>(len));
    return orvStsOk;
}

orvStatus fill16(std::uint16_t value, void* dst, std::int32_t count) {
    if (dst == nullptr) return orvStsNullPtr;
    if (count < 1) return orvStsBadSize;
    fill16Kernel(dst, value, static_cast<std::size_t>(count));
    return orvStsOk;
}

}  // namespace orvdc
