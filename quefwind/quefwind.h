// The unit quefwind: its entries and table as the module's gateway unit sees them.
#pragma once

#include "frame/frame.h"

extern "C" {
void InitializeModule_quefwind(void);
void TerminateModule_quefwind(void);
void mlxQuefwind(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
mxArray *mlfQuefwind(mxArray *cepsin, mxArray *lifterl);
}
extern LocalFunctionTable _local_function_table_quefwind;
