/* C consumer of the installed library, built with pkg-config's flags. */
#include <orvdc.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    const VersionRecord* v = orvdcGetLibVersion();
    const unsigned char digits[] = "123456789";
    uint32_t crc = 0;
    int ok = v->versionMajor == 5 && v->versionMinor == 1 && strcmp(v->fileName, "orvdct7-5.1.dll") == 0 &&
             orvsCRC32_8u(digits, 9, &crc) == orvStsOk && crc == 0xCBF43926u;
    printf("pkg-config consumer: orvdc %s, crc32 %08x: %s\n", v->versionText, (unsigned)crc, ok ? "ok" : "WRONG");
    return ok ? 0 : 1;
}
