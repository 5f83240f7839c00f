// Bit I/O of bzip2 streams: fields are written most significant bit first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace orvf::bz {

// Collects bits into a growable byte array.
class BitWriter {
public:
    BitWriter() = default;
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;
    ~BitWriter() { std::free(data_); }

    void clear() {
        size_ = 0;
        acc_ = 0;
        bits_ = 0;
        failed_ = false;
    }
    // Makes sure `room` more bytes fit without growing.
    bool reserve(std::size_t room) {
        if (capacity_ - size_ >= room) return true;
        std::size_t cap = capacity_ ? capacity_ : 65536;
        while (cap - size_ < room) cap *= 2;
        auto* p = static_cast<std::uint8_t*>(std::realloc(data_, cap));
        if (p == nullptr) {
            failed_ = true;
            return false;
        }
        data_ = p;
        capacity_ = cap;
        return true;
    }
    // Appends the low n bits of v (1 <= n <= 32).
    void put(int n, std::uint32_t v) {
        acc_ = (acc_ << n) | (v & (0xFFFFFFFFu >> (32 - n)));
        bits_ += n;
        while (bits_ >= 8) {
            bits_ -= 8;
            if (size_ == capacity_ && !reserve(1)) continue;
            data_[size_++] = static_cast<std::uint8_t>(acc_ >> bits_);
        }
    }
    // Appends `count` bits stored most significant bit first in `src`.
    void putBits(const std::uint8_t* src, std::uint64_t count) {
        if (bits_ == 0 && reserve(static_cast<std::size_t>(count / 8) + 1)) {
            std::memcpy(data_ + size_, src, static_cast<std::size_t>(count / 8));
            size_ += static_cast<std::size_t>(count / 8);
        } else {
            reserve(static_cast<std::size_t>(count / 8) + 1);
            for (std::uint64_t i = 0; i < count / 8; ++i) put(8, src[i]);
        }
        const int rest = static_cast<int>(count & 7);
        if (rest > 0) put(rest, static_cast<std::uint32_t>(src[count / 8] >> (8 - rest)));
    }
    void align() {
        if (bits_ > 0) put(8 - bits_, 0);
    }
    // The pending bits as the last, partly filled byte (for handing out a
    // block's bits whole).
    std::uint64_t bitCount() const { return std::uint64_t{size_} * 8 + static_cast<unsigned>(bits_); }
    void padForExport() {
        if (bits_ > 0 && reserve(1)) data_[size_] = static_cast<std::uint8_t>(acc_ << (8 - bits_));
    }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool failed() const { return failed_; }
    // Drops the first n whole bytes (already handed out).
    void consume(std::size_t n) {
        std::memmove(data_, data_ + n, size_ - n);
        size_ -= n;
    }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    bool failed_ = false;
};

// Reads bits from memory.  Reads past the end give zero bits and set
// `overrun`, which callers check after each field; nothing outside the
// buffer is read.
struct BitReader {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::uint64_t buf;  // the next `bits` bits, left-aligned
    int bits;
    int padding;  // zero bits added beyond the end
    bool overrun;

    void init(const std::uint8_t* data, std::size_t size) {
        p = data;
        end = data + size;
        buf = 0;
        bits = padding = 0;
        overrun = false;
    }
    void refill() {
        while (bits <= 56) {
            std::uint64_t b = 0;
            if (p < end) {
                b = *p++;
            } else if (padding < 64) {
                padding += 8;
            } else {
                overrun = true;
                bits = 64;
                return;
            }
            buf |= b << (56 - bits);
            bits += 8;
        }
    }
    std::uint32_t peek(int n) {
        if (bits < n) refill();
        return static_cast<std::uint32_t>(buf >> (64 - n));
    }
    void skip(int n) {
        buf <<= n;
        bits -= n;
        if (bits < padding) overrun = true;
    }
    std::uint32_t get(int n) {
        const std::uint32_t v = peek(n);
        skip(n);
        return v;
    }
    void align() { skip(bits & 7); }
    // Bytes of real data not yet consumed (after align).
    std::size_t bytesLeft() const {
        const int inBuf = bits - padding;
        return static_cast<std::size_t>(end - p) + static_cast<std::size_t>(inBuf > 0 ? inBuf / 8 : 0);
    }
    // Bytes consumed from the start `data`, after align.
    std::size_t consumed(const std::uint8_t* data) const {
        return static_cast<std::size_t>(end - data) - bytesLeft();
    }
};

}  // namespace orvf::bz
