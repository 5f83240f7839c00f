/* orvdc: Generalized Interval Transformation. Included by orvdc.h. */
#ifndef ORVDC_GIT_H
#define ORVDC_GIT_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_GIT_H */
