// The inverse transforms on any column and any index: the status follows the
// index and length checks, and nothing is read or written outside the
// buffers (each has exactly the size the transform may use).  The first four
// bytes are the index; the large and small inverse must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5 || size - 4 > 200000) return 0;
    std::int32_t index;
    std::memcpy(&index, data, 4);
    const auto n = static_cast<std::int32_t>(size - 4);
    // Indexes near the valid range are more interesting than arbitrary ones.
    if (data[0] & 1) index = static_cast<std::int32_t>(static_cast<std::uint32_t>(index) % (static_cast<std::uint32_t>(n) + 2)) - 1;
    // Every buffer ends right before an inaccessible page.
    static orvdc::fuzz::PageEnd lastMem, largeMem, smallMem, workMem, smallWorkMem;
    const std::size_t len = size - 4;
    const std::uint8_t* last = lastMem.place(data + 4, len);

    std::int32_t workSize = 0;
    orvsBWTInvGetSize_8u(n, &workSize);
    std::uint8_t* work = workMem.end(static_cast<std::size_t>(workSize));
    std::uint8_t* large = largeMem.end(len);
    std::uint8_t* small = smallMem.end(len);
    const orvStatus st = orvsBWTInv_8u(last, large, n, index, work);
    const bool valid = n < 2 || (index >= 0 && index < n);
    if (st != (valid ? orvStsOk : orvStsBadSize)) std::abort();

    std::uint8_t* smallWork = smallWorkMem.end(2 * len + 512);
    const orvStatus sst = orvsBWTInv_SmallBlock_8u(last, small, n, index, smallWork);
    if (n > 32768) {
        if (sst != orvStsBadSize) std::abort();
        return 0;
    }
    if (sst != st) std::abort();
    if (st == orvStsOk && std::memcmp(large, small, len) != 0) std::abort();
    return 0;
}
