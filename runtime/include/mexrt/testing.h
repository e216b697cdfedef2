// What tests may observe of the runtime's bookkeeping.
#pragma once

#include <stddef.h>

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// The number of array handles made and not yet freed, module constants included.
MEXRT_API size_t mexrtLiveArrayCount(void);

#ifdef __cplusplus
}
#endif
