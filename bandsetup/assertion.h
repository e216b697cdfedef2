// The unit assert: its entries and table as the other units of the module see them.
// (Not named assert.h: the folder is on the include path, where that name would shadow the
// C library's header.)
#pragma once

#include "frame/frame.h"

extern "C" {
void InitializeModule_assert(void);
void TerminateModule_assert(void);
void mlxAssert(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
void mlfAssert(mxArray *condition, mxArray *message);
}
extern LocalFunctionTable _local_function_table_assert;
