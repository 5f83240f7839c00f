/* orvbunzip2: restores .bz2 files (orvbzip2 -d).
 *
 *   orvbunzip2 [-cfhkqtv] [FILE.bz2]...
 *
 * Replaces each FILE.bz2 by FILE (or writes standard output with -c, or when
 * no FILE is given); -t checks the files without writing anything. */
#define _XOPEN_SOURCE 700
#define _FILE_OFFSET_BITS 64

#include "bzip2_tool.h"

int main(int argc, char** argv) {
    ToolSpec spec = kBzip2Spec;
    spec.name = "orvbunzip2";
    return toolMain(&spec, 1, argc, argv);
}
