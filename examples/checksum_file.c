/* checksum_file: prints the CRC-32, bzip2 CRC and Adler-32 of a file, reading
 * it in pieces and chaining the running values as a streaming caller would.
 *
 *   checksum_file FILE
 */
#include <stdio.h>

#include <orvdc.h>

int main(int argc, char** argv) {
    static uint8_t buf[1 << 16];
    uint32_t crc = 0, bz2 = 0, adler = 1;
    long long total = 0;
    size_t n;
    FILE* f;

    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    f = fopen(argv[1], "rb");
    if (f == NULL) {
        perror(argv[1]);
        return 1;
    }
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (orvsCRC32_8u(buf, (int32_t)n, &crc) != orvStsOk ||
            orvsCRC32_BZ2_8u(buf, (int32_t)n, &bz2) != orvStsOk ||
            orvsAdler32_8u(buf, (int32_t)n, &adler) != orvStsOk) {
            fprintf(stderr, "checksum failed\n");
            fclose(f);
            return 1;
        }
        total += (long long)n;
    }
    fclose(f);
    printf("%s: %lld bytes\n  CRC-32     %08x\n  bzip2 CRC  %08x\n  Adler-32   %08x\n", argv[1], total,
           (unsigned)crc, (unsigned)bz2, (unsigned)adler);
    return 0;
}
