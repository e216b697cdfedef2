// The tables of the module tonegrid: one function row, one init/term row, the record handed
// out by mexLibrary, and the module's version mark.
#include "frame/module.h"
#include "frame/version_note.h"
#include "tonegrid.h"

namespace {

FunctionTableEntry function_table[] = {
    {"tonegrid", mlxTonegrid, 0, 1, &_local_function_table_tonegrid},
};
InitTermEntry init_term_table[] = {
    {InitializeModule_tonegrid, TerminateModule_tonegrid},
};
ModuleInfo _mex_info = frame::moduleInfo(function_table, init_term_table);

FRAME_VERSION_NOTE("MATLAB R11 native", "not inlined");

}  // namespace

FRAME_MEX_LIBRARY(_mex_info)
