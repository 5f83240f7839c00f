/* orvdc: bzip2-format stages: run-length stage, symbol dictionary, zero-run coding. Included by orvdc.h. */
#ifndef ORVDC_BZIP2_H
#define ORVDC_BZIP2_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_BZIP2_H */
