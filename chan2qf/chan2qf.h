// The unit chan2qf: its entries and table as the module's gateway unit sees them.
#pragma once

#include "frame/frame.h"

extern "C" {
void InitializeModule_chan2qf(void);
void TerminateModule_chan2qf(void);
void mlxChan2qf(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
mxArray *mlfChan2qf(mxArray *logfbout, mxArray *numceps);
}
extern LocalFunctionTable _local_function_table_chan2qf;
