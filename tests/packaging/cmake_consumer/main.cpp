// C++ consumer of the installed library: version query and CRC-32.
#include <orvdc.h>

#include <cstdio>
#include <cstring>

int main() {
    const VersionRecord* v = orvdcGetLibVersion();
    const unsigned char digits[] = "123456789";
    uint32_t crc = 0;
    const bool ok = v->versionMajor == 5 && v->versionMinor == 1 &&
                    std::strcmp(v->versionText, "5.1.1") == 0 &&
                    orvsCRC32_8u(digits, 9, &crc) == orvStsOk && crc == 0xCBF43926u;
    std::printf("cmake consumer: orvdc %s, crc32 %08x: %s\n", v->versionText, crc, ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}
