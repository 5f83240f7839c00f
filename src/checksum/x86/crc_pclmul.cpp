// CRC folding 128 bits at a time (PCLMULQDQ), for both CRCs.
#include "checksum/checksum_kernels.h"
#include "checksum/x86/crc_fold128.h"

namespace orvdc {

using crc_fold::Order;

ORVDC_TARGET_CLMUL std::uint32_t crc32Pclmul(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Slice8(r, p, n);
    return crc_fold::fold128<Order::kReflected>(r, p, n);
}

ORVDC_TARGET_CLMUL std::uint32_t crc32Bzip2Pclmul(std::uint32_t r, const std::uint8_t* p, std::size_t n) {
    if (n < 16) return crc32Bzip2Slice8(r, p, n);
    return crc_fold::fold128<Order::kForward>(r, p, n);
}

}  // namespace orvdc
