// Arbitrary input through GetBlockType and the stored-block decoder alone,
// with every pair of call sizes: no crash, no hang, and the same bytes and
// status whatever the sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
#include "orvdc.h"

namespace {

struct Result {
    orvStatus status;
    std::vector<std::uint8_t> out;
};

Result run(const std::uint8_t* data, std::size_t size, std::size_t srcStep, std::size_t dstStep) {
    static std::unique_ptr<std::uint8_t[]> mem(new std::uint8_t[335008 + 4]);  // kept across runs
    static orvdc::fuzz::PageEnd dstMem;
    auto* st = reinterpret_cast<LZ77DecoderState*>(mem.get() + 4);
    orvsDecodeLZ77Init_8u(LZ77ChecksumNone, st);
    Result r{orvStsOk, {}};
    // The room of every call ends right before an inaccessible page; bytes
    // after the reported output keep their canary.
    std::uint8_t* const room = dstMem.end(dstStep);
    orvdc::fuzz::fillCanary(room, dstStep);
    const struct {
        std::uint8_t* p;
        std::uint8_t* data() const { return p; }
    } buf{room};
    std::size_t pos = 0;
    for (std::size_t guard = 0; guard < 4 * size + 64 + size * (1 + size / dstStep); ++guard) {
        const std::size_t len = std::min(srcStep, size - pos);
        const std::uint8_t none = 0;
        const std::uint8_t* src = len ? data + pos : &none;
        const std::uint8_t* base = src;
        auto srcLen = static_cast<std::int32_t>(len);
        std::uint8_t* dst = buf.data();
        auto dstLen = static_cast<std::int32_t>(dstStep);
        const orvStatus s = orvsDecodeLZ77StoredBlock_8u(&src, &srcLen, &dst, &dstLen, st);
        if (src < base || src > base + len || dst < buf.data() || dst > buf.data() + dstStep) std::abort();
        pos += static_cast<std::size_t>(src - base);
        r.out.insert(r.out.end(), buf.data(), dst);
        const auto written = static_cast<std::size_t>(dst - buf.data());
        orvdc::fuzz::requireCanary(buf.data(), written, dstStep);
        orvdc::fuzz::fillCanary(buf.data(), written);
        if (s < 0 || s == orvStsStreamEnd || (s == orvStsSrcEnd && pos >= size)) {
            r.status = s;
            return r;
        }
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t step = 1 + data[0] % 17;
    static orvdc::fuzz::PageEnd srcMem;
    const std::uint8_t* stream = srcMem.place(data + 1, size - 1);  // ends before an inaccessible page
    const Result whole = run(stream, size - 1, size, size + 1);
    const Result split = run(stream, size - 1, step, 1 + data[0] % 5);
    // Splitting changes nothing, except that a run cut short by the source
    // may end at a different point of the same failure.
    if (whole.status == orvStsStreamEnd || split.status == orvStsStreamEnd) {
        if (whole.status != split.status || whole.out != split.out) std::abort();
    }
    return 0;
}
