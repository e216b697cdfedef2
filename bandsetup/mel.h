// The unit mel: its entries and table as the other units of the module see them.
#pragma once

#include "frame/frame.h"

extern "C" {
void InitializeModule_mel(void);
void TerminateModule_mel(void);
void mlxMel(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
mxArray *mlfMel(mxArray *freq);
}
extern LocalFunctionTable _local_function_table_mel;
