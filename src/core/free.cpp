// The Free shared by the GIT, Huffman, LZ77, LZSS, move-to-front and bzip2
// run-length families: one function exported under six names.
#include "core/aligned_alloc.h"
#include "core/export.h"

extern "C" ORVDC_API void ORVDC_CALL orvsGITFree_8u(void* pState) {
    orvdc::alignedFree(pState);
}

extern "C" {
ORVDC_API void ORVDC_CALL orvsHuffFree_8u(void* pState) ORVDC_ALIAS(orvsGITFree_8u);
ORVDC_API void ORVDC_CALL orvsLZ77Free_8u(void* pState) ORVDC_ALIAS(orvsGITFree_8u);
ORVDC_API void ORVDC_CALL orvsLZSSFree_8u(void* pState) ORVDC_ALIAS(orvsGITFree_8u);
ORVDC_API void ORVDC_CALL orvsMTFFree_8u(void* pState) ORVDC_ALIAS(orvsGITFree_8u);
ORVDC_API void ORVDC_CALL orvsRLEFree_BZ2_8u(void* pState) ORVDC_ALIAS(orvsGITFree_8u);
}
