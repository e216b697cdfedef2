/* zeta: decibels for application programs.
 *
 * Call zetaInitialize once before the first mlfDb or mlxDb, and zetaTerminate after the
 * last; the pairs may nest. mlfDb returns y = 20 * log10(x) for every element of x as a
 * temporary array: keep it with mlfAssign (then free it with mxDestroyArray), or pass it
 * straight into another operation, which reclaims it. Errors are raised as mexrt::Error. */
#pragma once

#include "mexrt/mathlib.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZETA_API __attribute__((visibility("default")))

ZETA_API void zetaInitialize(void);
ZETA_API void zetaTerminate(void);
ZETA_API mxArray *mlfDb(mxArray *x);
ZETA_API void mlxDb(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);

#ifdef __cplusplus
}
#endif
