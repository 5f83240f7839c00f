// A pointer kept inside a state object that the caller may have placed at an
// address that is only 4-byte aligned.  It always takes 8 bytes, in 32-bit and
// in 64-bit builds, so a state's layout and size are the same in both, and it
// is read and written through memcpy, so no misaligned pointer access occurs.
#pragma once

#include <cstdint>
#include <cstring>

namespace orvdc {

template <class T>
struct StoredPtr {
    std::uint32_t words[2];

    T* get() const {
        T* p;
        std::memcpy(&p, words, sizeof p);
        return p;
    }
    void set(T* p) {
        words[0] = words[1] = 0;
        std::memcpy(words, &p, sizeof p);
    }
};

static_assert(sizeof(StoredPtr<int>) == 8 && alignof(StoredPtr<int>) == 4);

}  // namespace orvdc
