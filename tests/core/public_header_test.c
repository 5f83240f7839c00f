/* Compiled as strict C99: the public header must be plain C.  Also checks a
 * few results through the shared library itself. */
#include <stdio.h>
#include <string.h>

#include "orvdc.h"

int main(void) {
    const VersionRecord* v = orvdcGetLibVersion();
    uint32_t crc = 0;
    uint32_t adler = 1;
    const uint8_t digits[] = "123456789";
    int failures = 0;

    if (v == NULL || v->versionMajor != 5 || v->versionMinor != 1 ||
        strcmp(v->fileName, "orvdct7-5.1.dll") != 0) {
        puts("version record");
        ++failures;
    }
    if (orvsCRC32_8u(digits, 9, &crc) != orvStsOk || crc != 0xCBF43926u) {
        puts("crc32");
        ++failures;
    }
    if (orvsAdler32_8u(digits, 9, &adler) != orvStsOk || adler != 0x091E01DEu) {
        puts("adler32");
        ++failures;
    }
    orvsHuffFree_8u(NULL);
    printf("%d passed, %d failed\n", 3 - failures, failures);
    return failures != 0;
}
