// zeta: the library's tables and its initialise and terminate entries.
#include "zeta.h"

#include "db.h"
#include "frame/module.h"

namespace {

FunctionTableEntry function_table[] = {{"db", mlxDb, 1, 1, &_local_function_table_db}};
InitTermEntry init_term_table[] = {{InitializeModule_db, TerminateModule_db}};
ModuleInfo _lib_info = frame::moduleInfo(function_table, init_term_table);
int32_t _reference_count = 0;  // the runtime's to keep; the library only hands it over

}  // namespace

void zetaInitialize(void) { mclLibInit(&_reference_count, &_lib_info); }

void zetaTerminate(void) { mclLibTerm(&_reference_count, &_lib_info); }
