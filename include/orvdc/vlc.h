/* orvdc: variable-length code tables. Included by orvdc.h. */
#ifndef ORVDC_VLC_H
#define ORVDC_VLC_H

#include "../orvdc.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVDC_VLC_H */
