/* orvdc: deflate (RFC 1951) decoder stages. Included by orvdc.h. */
#ifndef ORVDC_LZ77_DECODE_H
#define ORVDC_LZ77_DECODE_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_LZ77_DECODE_H */
