/* orvgunzip: restores .gz files (orvgzip -d).
 *
 *   orvgunzip [-cfhkqtv] [FILE.gz]...
 *
 * Replaces each FILE.gz by FILE (or writes standard output with -c, or when
 * no FILE is given); -t checks the files without writing anything. */
#define _XOPEN_SOURCE 700
#define _FILE_OFFSET_BITS 64

#include "gzip_tool.h"

int main(int argc, char** argv) {
    ToolSpec spec = kGzipSpec;
    spec.name = "orvgunzip";
    return toolMain(&spec, 1, argc, argv);
}
