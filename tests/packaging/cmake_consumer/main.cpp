// C++ consumer of the installed libraries: version query, CRC-32, and a gzip
// round trip through the companion format library.
#include <orvdc.h>
#include <orvdc_formats.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main() {
    const VersionRecord* v = orvdcGetLibVersion();
    const unsigned char digits[] = "123456789";
    uint32_t crc = 0;
    bool ok = v->versionMajor == 5 && v->versionMinor == 1 && std::strcmp(v->versionText, "5.1.1") == 0 &&
              orvsCRC32_8u(digits, 9, &crc) == orvStsOk && crc == 0xCBF43926u;
    std::vector<uint8_t> packed(orvfDeflateBound(orvfGzip, 9)), restored(9);
    size_t packedLen = packed.size(), restoredLen = restored.size();
    ok = ok && orvfDeflate(orvfGzip, LZ77LevelBest, digits, 9, packed.data(), &packedLen) == orvStsOk &&
         orvfInflate(orvfGzip, packed.data(), packedLen, nullptr, restored.data(), &restoredLen) == orvStsOk &&
         restoredLen == 9 && std::memcmp(restored.data(), digits, 9) == 0;
    std::printf("cmake consumer: orvdc %s, crc32 %08x, gzip round trip: %s\n", v->versionText, crc,
                ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}
