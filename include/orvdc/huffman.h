/* orvdc: Huffman coding of byte alphabets and packed code-length tables. Included by orvdc.h. */
#ifndef ORVDC_HUFFMAN_H
#define ORVDC_HUFFMAN_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_HUFFMAN_H */
