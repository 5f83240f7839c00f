/* orvgzip: a gzip-compatible compressor on the orvdc_formats library.
 *
 *   orvgzip [-cdfhkqtv] [-p N] [-1 .. -9] [FILE]...
 *
 * Replaces each FILE by FILE.gz (or writes standard output with -c, or when
 * no FILE is given), on as many threads as the machine has cores; -d
 * restores.  See gzip_tool.h for how the work is cut. */
#define _XOPEN_SOURCE 700
#define _FILE_OFFSET_BITS 64

#include "gzip_tool.h"

int main(int argc, char** argv) {
    return toolMain(&kGzipSpec, 0, argc, argv);
}
