/* orvdc: Burrows-Wheeler transform (large and small blocks). Included by orvdc.h. */
#ifndef ORVDC_BWT_H
#define ORVDC_BWT_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_BWT_H */
