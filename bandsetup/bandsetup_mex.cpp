// bandsetup_mex: the module's function table, init/term table and record, and mexLibrary.
#include "assertion.h"
#include "bandsetup.h"
#include "frame/module.h"
#include "mel.h"

namespace {

FunctionTableEntry function_table[] = {
    {"bandsetup", mlxBandsetup, 3, 1, &_local_function_table_bandsetup},
    {"assert", mlxAssert, 2, 0, &_local_function_table_assert},
    {"mel", mlxMel, 1, 1, &_local_function_table_mel},
};
InitTermEntry init_term_table[] = {
    {InitializeModule_bandsetup, TerminateModule_bandsetup},
    {InitializeModule_assert, TerminateModule_assert},
    {InitializeModule_mel, TerminateModule_mel},
};
ModuleInfo _mex_info = frame::moduleInfo(function_table, init_term_table);

}  // namespace

FRAME_MEX_LIBRARY(_mex_info)
