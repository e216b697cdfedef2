// testmodule: the tables of the test module, its mexLibrary and its version mark.
#include "frame/module.h"
#include "frame/version_note.h"
#include "units.h"

namespace {

FunctionTableEntry function_table[] = {
    {"twice", mlxTwice, 1, 1, &_local_function_table_twice},
    {"note", mlxNote, 2, 0, &_local_function_table_note},
    {"probe", mlxProbe, 1, 1, &_local_function_table_probe},
    {"nest", mlxNest, 2, 1, &_local_function_table_nest},
};
InitTermEntry init_term_table[] = {
    {InitializeModule_twice, TerminateModule_twice},
    {InitializeModule_note, TerminateModule_note},
    {InitializeModule_probe, TerminateModule_probe},
    {InitializeModule_nest, TerminateModule_nest},
};
ModuleInfo _mex_info = frame::moduleInfo(function_table, init_term_table);

FRAME_VERSION_NOTE("MATLAB R11 native", "not inlined");

}  // namespace

FRAME_MEX_LIBRARY(_mex_info)
