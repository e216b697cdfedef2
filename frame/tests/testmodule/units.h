// The units of the test module: their entries and tables as the module's other units see them.
#pragma once

#include "frame/frame.h"

extern "C" {
// twice(x): y = 2 .* x.
FRAME_EXPORT void InitializeModule_twice(void);
FRAME_EXPORT void TerminateModule_twice(void);
FRAME_EXPORT void mlxTwice(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT mxArray *mlfTwice(mxArray *x);

// note(a, b): displays a, then a + b; no output.
FRAME_EXPORT void InitializeModule_note(void);
FRAME_EXPORT void TerminateModule_note(void);
FRAME_EXPORT void mlxNote(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT void mlfNote(mxArray *a, mxArray *b);

// probe(x): y = the requested output count when x is true; y left unassigned otherwise.
FRAME_EXPORT void InitializeModule_probe(void);
FRAME_EXPORT void TerminateModule_probe(void);
FRAME_EXPORT void mlxProbe(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT mxArray *mlfProbe(mxArray *x);

// nest(x, b): y = twice(x), then note(y, b): calls of two other units' direct entries.
FRAME_EXPORT void InitializeModule_nest(void);
FRAME_EXPORT void TerminateModule_nest(void);
FRAME_EXPORT void mlxNest(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
FRAME_EXPORT mxArray *mlfNest(mxArray *x, mxArray *b);
}
extern LocalFunctionTable _local_function_table_twice;
extern LocalFunctionTable _local_function_table_note;
extern LocalFunctionTable _local_function_table_probe;
extern LocalFunctionTable _local_function_table_nest;
