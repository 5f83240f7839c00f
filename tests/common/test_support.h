// Helpers shared by the test programs: test data, the corpus, buffers placed
// at chosen alignments, destinations that catch writes past the reported
// output.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvdc.h"

namespace orvdc::test {

using Bytes = std::vector<std::uint8_t>;

// Deterministic pseudo-random generator (xorshift64*), so failures repeat.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1Dull;
    }
    // Uniform in [0, bound).
    std::uint32_t below(std::uint32_t bound) {
        return static_cast<std::uint32_t>((next() >> 32) % bound);
    }

private:
    std::uint64_t s_;
};

// n uniformly random bytes.
Bytes randomBytes(std::size_t n, std::uint64_t seed);

// n bytes of compressible text-like data: words from a small vocabulary with
// repeats at varying distances.
Bytes textLikeBytes(std::size_t n, std::uint64_t seed);

// n bytes drawn from the first `alphabet` byte values with a skewed
// (geometric-like) distribution.
Bytes skewedBytes(std::size_t n, unsigned alphabet, std::uint64_t seed);

// n bytes in runs of the values 0..values-1: a third of the runs up to
// maxRun long, the others 1 to 6.
Bytes runsBytes(std::size_t n, unsigned values, std::uint32_t maxRun, std::uint64_t seed);

// Inputs for the run-length coders: random, skewed, text-like, runs of n
// bytes, 1000 equal bytes, and up to corpusPrefix bytes of every corpus file.
std::vector<Bytes> runLengthInputs(std::size_t n, std::size_t corpusPrefix);

// The whole content of a file; empty when it cannot be read.
Bytes readFile(const std::string& path);

// Paths of the benchmark corpus files, sorted; empty when the corpus is
// absent (tests that use it then skip).
std::vector<std::string> corpusFiles();

// The corpus file with this base name, or empty.
Bytes corpusFile(const std::string& name);

// A copy of `data` placed at `offset` bytes past a 64-byte boundary, to test
// code on sources of every alignment.
class OffsetBuffer {
public:
    OffsetBuffer(const Bytes& data, std::size_t offset);
    std::uint8_t* data() { return storage_.data() + offset_; }
    std::size_t size() const { return size_; }

private:
    std::vector<std::uint8_t> storage_;
    std::size_t offset_;
    std::size_t size_;
};

// Caller memory for a state object, every byte set to `fill` before the
// state's Init runs on it, 4 bytes past an 8-byte boundary.  Running the same
// calls on states over memory of different fills shows whether a stream can
// reach state memory that Init left unwritten.
class FilledMemory {
public:
    FilledMemory(std::size_t size, std::uint8_t fill) : storage_((size + 15) / 8 + 1, 0) {
        std::memset(storage_.data(), fill, storage_.size() * 8);
    }
    template <class State>
    State* as() {
        return reinterpret_cast<State*>(reinterpret_cast<std::uint8_t*>(storage_.data()) + 4);
    }

private:
    std::vector<std::uint64_t> storage_;
};

// Destination room for the calls of a stream operation.  The room and a tail
// behind it hold a canary pattern; after a call, untouchedFrom(written) checks
// that nothing at or after the reported output changed: the 4 KiB directly
// after it (the whole room when smaller) and the tail.  Only the bytes the
// last call reported are restored before the next call, so a long run of
// calls costs about as much as the output it makes.  The room grows to the
// largest capacity asked for; the canary covers all of it.
class CanaryRoom {
public:
    // The room for the next call, `capacity` bytes.
    std::uint8_t* prepare(std::size_t capacity);
    std::uint8_t* data() { return buf_.data(); }
    ::testing::AssertionResult untouchedFrom(std::size_t written);
    ::testing::AssertionResult untouchedFrom(const std::uint8_t* end) {
        return untouchedFrom(static_cast<std::size_t>(end - buf_.data()));
    }
    // The same for the deflate stored-block writer and trailer, which set the
    // byte behind a header field or trailer byte to 0 when room remains there:
    // that byte may be 0, nothing after it may change.
    ::testing::AssertionResult untouchedPastClearedByte(const std::uint8_t* end);

private:
    static constexpr std::size_t kTail = 64;
    static constexpr std::size_t kWindow = 4096;
    static std::uint8_t canary(std::size_t i) {
        return static_cast<std::uint8_t>((i * 0x9E3779B1u + 0x5Au) >> 11);
    }
    void fill(std::size_t from, std::size_t to);
    std::vector<std::uint8_t> buf_;
    std::size_t capacity_ = 0;
    std::size_t dirty_ = 0;  // bytes the last call reported written
    bool refill_ = false;    // a check failed: refill the whole room
};

// Memory whose end touches an inaccessible page, so that reading or writing
// a single byte past a buffer placed at its end faults, in every build.
class GuardedMemory {
public:
    explicit GuardedMemory(std::size_t capacity);
    ~GuardedMemory();
    GuardedMemory(const GuardedMemory&) = delete;
    GuardedMemory& operator=(const GuardedMemory&) = delete;

    // The last n bytes before the inaccessible page (n <= capacity).
    std::uint8_t* end(std::size_t n) { return limit_ - n; }
    // A copy of p[0..n) placed as the last n bytes before that page.
    std::uint8_t* place(const std::uint8_t* p, std::size_t n);
    std::uint8_t* place(const Bytes& b) { return place(b.data(), b.size()); }
    std::size_t capacity() const { return capacity_; }

private:
    std::uint8_t* base_ = nullptr;
    std::uint8_t* limit_ = nullptr;
    std::size_t mapped_ = 0;
    std::size_t capacity_ = 0;
};

namespace detail {
// Storage for the null pointer a pointer-to-pointer argument points to.
template <class T>
using NullSlot = std::conditional_t<std::is_pointer_v<std::remove_pointer_t<T>>, std::remove_pointer_t<T>, char>;

// An argument of a call: as given, except the one under test, which is null
// (variant 1) or points to a null pointer (variant 2).
template <class T>
T argFor(T v, bool underTest, int variant, NullSlot<T>& slot) {
    if constexpr (std::is_pointer_v<T>) {
        if (underTest && variant == 1) return nullptr;
        if constexpr (std::is_pointer_v<std::remove_pointer_t<T>>) {
            if (underTest && variant == 2) return &slot;
        }
    }
    return v;
}

template <class F, class... A, std::size_t... I>
::testing::AssertionResult eachNullRefused(F fn, std::index_sequence<I...>, A... args) {
    constexpr bool isPointer[] = {std::is_pointer_v<A>...};
    constexpr bool isPointerToPointer[] = {std::is_pointer_v<std::remove_pointer_t<A>>...};
    for (std::size_t k = 0; k < sizeof...(A); ++k) {
        for (int variant = 1; variant <= 2; ++variant) {
            if (!(variant == 1 ? isPointer[k] : isPointer[k] && isPointerToPointer[k])) continue;
            std::tuple<NullSlot<A>...> slots{};
            const orvStatus s = fn(argFor(args, I == k, variant, std::get<I>(slots))...);
            if (s != orvStsNullPtr) {
                return ::testing::AssertionFailure() << "argument " << k << (variant == 1 ? " null" : " pointing to null")
                                                     << " answered " << s;
            }
        }
    }
    return ::testing::AssertionSuccess();
}
}  // namespace detail

// Calls fn(args...) once for each pointer argument set to null, and for each
// pointer-to-pointer argument (an in/out source or destination pointer, not
// the result of an InitAlloc) also pointing to a null pointer; every such
// call must answer orvStsNullPtr.  The other arguments are passed as given,
// so the caller can check afterwards that none of them changed.
template <class F, class... A>
::testing::AssertionResult eachNullRefused(F fn, A... args) {
    return detail::eachNullRefused(fn, std::index_sequence_for<A...>{}, args...);
}

}  // namespace orvdc::test
