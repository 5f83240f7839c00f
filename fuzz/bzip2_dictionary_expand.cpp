// Dictionary expansion with an arbitrary table, dictionary size and indices:
// either refused with orvStsBadSize (buffer untouched) or every byte mapped
// into the table's values; nothing outside the buffer is touched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 259) return 0;
    std::uint8_t table[256];
    std::memcpy(table, data, 256);
    // Mostly sparse tables, so that indices at or above n occur.
    for (auto& e : table) e = (e & 0xF0) == 0 ? e : 0;
    const std::int32_t n = static_cast<std::int16_t>(data[256] | (data[257] << 8));
    // The buffer ends right before an inaccessible page.
    static orvdc::fuzz::PageEnd mem;
    const std::size_t count = size - 258;
    const struct {
        std::uint8_t* p;
        std::size_t n;
        std::uint8_t* data() const { return p; }
        std::size_t size() const { return n; }
        std::uint8_t& operator[](std::size_t k) const { return p[k]; }
        bool operator!=(const std::vector<std::uint8_t>& v) const { return std::memcmp(p, v.data(), n) != 0; }
    } buf{mem.place(data + 258, count), count};
    const std::vector<std::uint8_t> before(data + 258, data + size);
    const auto len = static_cast<std::int32_t>(buf.size());

    std::int32_t inUse = 0;
    for (std::uint8_t e : table) inUse += e != 0;
    const orvStatus s = orvsExpandDictionary_8u_I(table, buf.data(), len, n);
    const bool valid = n >= 1 && n <= 256 && n <= inUse;
    if (s != (valid ? orvStsOk : orvStsBadSize)) std::abort();
    if (!valid) {
        if (buf != before) std::abort();
        return 0;
    }
    for (std::size_t k = 0; k < buf.size(); ++k) {
        if (before[k] < n) {
            if (table[buf[k]] == 0) std::abort();
        } else if (buf[k] != 0) {
            std::abort();
        }
    }
    // Reduction with a 0/1 copy of the table takes in-range indices back.
    std::uint8_t ones[256];
    for (int v = 0; v < 256; ++v) ones[v] = table[v] != 0;
    std::int32_t size2 = 0;
    orvsReduceDictionary_8u_I(ones, buf.data(), len, &size2);
    if (size2 != inUse) std::abort();
    for (std::size_t k = 0; k < buf.size(); ++k) {
        if (before[k] < n && buf[k] != before[k]) std::abort();
    }
    return 0;
}
