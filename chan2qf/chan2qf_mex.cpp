// The tables of the module chan2qf: one function row, one init/term row, the record handed
// out by mexLibrary, and the module's version mark.
#include "chan2qf.h"
#include "frame/module.h"
#include "frame/version_note.h"

namespace {

FunctionTableEntry function_table[] = {
    {"chan2qf", mlxChan2qf, 2, 1, &_local_function_table_chan2qf},
};
InitTermEntry init_term_table[] = {
    {InitializeModule_chan2qf, TerminateModule_chan2qf},
};
ModuleInfo _mex_info = frame::moduleInfo(function_table, init_term_table);

FRAME_VERSION_NOTE("MATLAB R11 native", "not inlined");

}  // namespace

FRAME_MEX_LIBRARY(_mex_info)
