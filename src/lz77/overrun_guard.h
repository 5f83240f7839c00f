// Lets a decoding loop copy matches in whole words that run past their end
// without changing any byte past the output it reports.
//
// Every match of up to 48 bytes is written as 48 bytes, so the loop takes no
// branch on its length; the bytes past the match are written again by the
// items that follow, except past the last one.  Before a copy overruns, the
// caller's bytes it is about to overwrite for the first time are saved here,
// and when the loop stops, the overrun past its final position is put back.
//
// Bytes from `high` on have never been written: every copy writes at most
// kOverrun bytes from the output position, so `high` stays within kOverrun
// bytes past it, and a copy overwrites for the first time only bytes from
// `high` on.  Each save takes the kOverrun bytes from max(high, position), in
// one fixed-size copy with no branch on how many of them are new, into a
// linear buffer addressed by output position; a later save never covers an
// earlier one's bytes below its own start, so the buffer holds the caller's
// values of every byte the overrun may have left changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvdc::lz77::decoder {

class OverrunGuard {
public:
    // Bytes a copy may write from the output position.
    static constexpr std::ptrdiff_t kOverrun = 48;
    // Output between restarts of the buffer.
    static constexpr std::ptrdiff_t kSpan = 4096;
    // Bytes of the buffer the caller provides.
    static constexpr std::size_t kBufferBytes = kSpan + kOverrun;

    // The buffer is the caller's: the guard itself is two pointers.
    explicit OverrunGuard(std::uint8_t* position) : base_(position), high_(position) {}

    // Call before writing [position, position + kOverrun); the destination
    // must hold 2 * kOverrun bytes from `position`.
    [[gnu::always_inline]] void save(std::uint8_t* position, std::uint8_t* buffer) {
        std::uint8_t* const from = high_ > position ? high_ : position;
        std::ptrdiff_t at = from - base_;
        if (at > kSpan) [[unlikely]] {
            // Start the buffer again at `from`.  Bytes still to be put back
            // lie in [position, high), within the kOverrun bytes below
            // `from` = high, which the buffer holds; keep them.
            if (high_ > position) copy(buffer + kOverrun, buffer + at - kOverrun);
            base_ = from - 2 * kOverrun;
            at = 2 * kOverrun;
        }
        copy(buffer + at, from);
        high_ = position + kOverrun;
    }

    // Puts back the caller's bytes past `position`, the loop's final output
    // position.
    void restore(std::uint8_t* position, const std::uint8_t* buffer) const {
        for (std::uint8_t* x = position; x < high_; ++x) *x = buffer[x - base_];
    }

private:
    // kOverrun bytes between places that do not overlap.  A fixed-size
    // memcpy is inlined; a memmove was a call, even on the rare path, and
    // the compiler then kept values in memory across it on every match.
    [[gnu::always_inline]] static void copy(std::uint8_t* to, const std::uint8_t* from) {
        std::memcpy(to, from, kOverrun);
    }

    std::uint8_t* base_;  // buffer[i] holds the caller's byte at base_ + i
    std::uint8_t* high_;  // no byte from here on has been written
};

}  // namespace orvdc::lz77::decoder
