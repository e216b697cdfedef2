// The module records: how a deliverable describes its functions and builders to a host
// (through mexLibrary) or to the library initialiser (through mclLibInit).
#pragma once

#include <stdint.h>

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// Gateway entry of a function: requested outputs, output slots, given inputs, input handles.
typedef void (*MexGatewayFn)(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]);
// Builder or destroyer of a function unit's module constants.
typedef void (*MexInitTermFn)(void);

// A function's table of subfunctions; empty in every function of this toolbox.
typedef struct {
  int32_t entry_count;  // 0
  void *entries;        // NULL
} LocalFunctionTable;

// One row per function the host may call by name.
typedef struct {
  const char *name;          // NUL-terminated name the function is called by, e.g. "db"
  MexGatewayFn mlx_entry;    // gateway entry, e.g. mlxDb
  int32_t declared_inputs;   // e.g. 1
  int32_t declared_outputs;  // e.g. 1
  LocalFunctionTable *local_table;
} FunctionTableEntry;

// One row per function unit: its builder and destroyer.
typedef struct {
  MexInitTermFn initialize;
  MexInitTermFn terminate;
} InitTermEntry;

// The information record of one deliverable.
typedef struct {
  int32_t record_version;  // 1
  int32_t function_count;  // rows of function_table
  FunctionTableEntry *function_table;
  int32_t reserved1;     // 0
  int32_t reserved2;     // 0
  int32_t reserved3;     // 0
  int32_t reserved4;     // 0
  int32_t module_count;  // rows of init_term_table
  InitTermEntry *init_term_table;
} ModuleInfo;

// The version this runtime and its host read.
#define MEXRT_RECORD_VERSION 1

#ifdef __cplusplus
}
#endif
