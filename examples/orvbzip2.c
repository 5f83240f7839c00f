/* orvbzip2: a bzip2-compatible compressor on the orvdc_formats library.
 *
 *   orvbzip2 [-cdfhkqtv] [-p N] [-1 .. -9] [FILE]...
 *
 * Replaces each FILE by FILE.bz2 (or writes standard output with -c, or when
 * no FILE is given), coding blocks on as many threads as the machine has
 * cores; -d restores.  See bzip2_tool.h. */
#define _XOPEN_SOURCE 700
#define _FILE_OFFSET_BITS 64

#include "bzip2_tool.h"

int main(int argc, char** argv) {
    return toolMain(&kBzip2Spec, 0, argc, argv);
}
