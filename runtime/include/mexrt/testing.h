// What tests may observe of the runtime's bookkeeping.
#pragma once

#include <stddef.h>

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// The number of array handles made and not yet freed, module constants included.
MEXRT_API size_t mexrtLiveArrayCount(void);

// Calls observer with every array just before it is freed, while its contents can still be
// read; NULL stops observing.
MEXRT_API void mexrtSetDestroyObserver(void (*observer)(const mxArray *));

// Makes the n-th allocation of an array's header or element buffer from now on fail as if
// memory had run out (an "Out of memory" error), once; 0 makes none fail.
MEXRT_API void mexrtFailAllocation(size_t n);

// Makes every allocation of an element buffer of more than bytes fail as if memory had run
// out, until called again; 0 removes the bound. Lets a fuzzer run inputs that compute huge
// arrays without the process itself running out of memory.
MEXRT_API void mexrtLimitAllocation(size_t bytes);

// Makes the element-wise functions use the widest of the SIMD widths this processor runs (2,
// 4 or 8 doubles) that is at most lanes, or the widest of all for 0; returns the width used.
MEXRT_API size_t mexrtUseVectorWidth(size_t lanes);

#ifdef __cplusplus
}
#endif
