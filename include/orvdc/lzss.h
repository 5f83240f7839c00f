/* orvdc: LZSS coding. Included by orvdc.h. */
#ifndef ORVDC_LZSS_H
#define ORVDC_LZSS_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_LZSS_H */
