// The unit db: its entries and table as the rest of the library sees them. The entries are
// visible to the whole shared object; its export list decides which leave it.
#pragma once

#include "frame/frame.h"

extern "C" {
FRAME_EXPORT void InitializeModule_db(void);
FRAME_EXPORT void TerminateModule_db(void);
FRAME_EXPORT void mlxDb(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT mxArray *mlfDb(mxArray *x);
}
extern LocalFunctionTable _local_function_table_db;
