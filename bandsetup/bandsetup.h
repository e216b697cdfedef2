// The unit bandsetup: its entries and table as the other units of the module see them.
#pragma once

#include "frame/frame.h"

extern "C" {
void InitializeModule_bandsetup(void);
void TerminateModule_bandsetup(void);
void mlxBandsetup(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
mxArray *mlfBandsetup(mxArray *framelen, mxArray *numchans, mxArray *fsamp);
}
extern LocalFunctionTable _local_function_table_bandsetup;
