// The unit tonegrid: its entries and table as the module's tables and tests see them.
#pragma once

#include "frame/frame.h"

extern "C" {
FRAME_EXPORT void InitializeModule_tonegrid(void);
FRAME_EXPORT void TerminateModule_tonegrid(void);
FRAME_EXPORT void mlxTonegrid(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT mxArray *mlfTonegrid(void);
FRAME_EXPORT mxArray *mlfNTonegrid(int nargout);
FRAME_EXPORT void mlfVTonegrid(void);
}
extern LocalFunctionTable _local_function_table_tonegrid;
