// The inverse transforms on any column and any index: the status follows the
// index and length checks, and nothing is read or written outside the
// buffers (each has exactly the size the transform may use).  The first four
// bytes are the index; the large and small inverse must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orvdc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5 || size - 4 > 200000) return 0;
    std::int32_t index;
    std::memcpy(&index, data, 4);
    const auto n = static_cast<std::int32_t>(size - 4);
    // Indexes near the valid range are more interesting than arbitrary ones.
    if (data[0] & 1) index = static_cast<std::int32_t>(static_cast<std::uint32_t>(index) % (static_cast<std::uint32_t>(n) + 2)) - 1;
    const std::vector<std::uint8_t> last(data + 4, data + size);

    std::int32_t workSize = 0;
    orvsBWTInvGetSize_8u(n, &workSize);
    std::vector<std::uint8_t> work(static_cast<std::size_t>(workSize));
    std::vector<std::uint8_t> large(last.size()), small(last.size());
    const orvStatus st = orvsBWTInv_8u(last.data(), large.data(), n, index, work.data());
    const bool valid = n < 2 || (index >= 0 && index < n);
    if (st != (valid ? orvStsOk : orvStsBadSize)) std::abort();

    std::vector<std::uint8_t> smallWork(2 * last.size() + 512);
    const orvStatus sst = orvsBWTInv_SmallBlock_8u(last.data(), small.data(), n, index, smallWork.data());
    if (n > 32768) {
        if (sst != orvStsBadSize) std::abort();
        return 0;
    }
    if (sst != st) std::abort();
    if (st == orvStsOk && large != small) std::abort();
    return 0;
}
