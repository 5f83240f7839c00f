// Helpers shared by the test programs: test data, the corpus, buffers placed
// at chosen alignments, destinations that catch writes past the reported
// output.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
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

}  // namespace orvdc::test
