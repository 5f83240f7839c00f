/* orvdc: move-to-front and byte run-length coding. Included by orvdc.h. */
#ifndef ORVDC_MTF_RLE_H
#define ORVDC_MTF_RLE_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_MTF_RLE_H */
