// Module files the loader must refuse or undo, one per value of BAD_KIND:
// no_library (no mexLibrary), version2, negative_count, null_table, throwing_builder.
#include <cstring>

#include "frame/module.h"
#include "mexrt/error.h"

#define BAD_KIND_IS(kind) (std::strcmp(BAD_KIND, kind) == 0)

namespace {

mxArray *built = nullptr;

void buildOne(void) { built = mclInitializeDouble(1.0); }
void destroyOne(void) {
  mxDestroyArray(built);
  built = nullptr;
}
void buildAndFail(void) { throw mexrt::Error("the second builder fails"); }
void destroyNothing(void) {}
void gateway(int32_t, mxArray *[], int32_t, mxArray *[]) {}

LocalFunctionTable local_table = {0, nullptr};
FunctionTableEntry function_table[] = {{"bad", gateway, 0, 0, &local_table}};
InitTermEntry init_term_table[] = {{buildOne, destroyOne}, {buildAndFail, destroyNothing}};

ModuleInfo makeInfo() {
  ModuleInfo info = frame::moduleInfo(function_table, init_term_table);
  info.module_count = 1;
  if (BAD_KIND_IS("version2")) info.record_version = 2;
  if (BAD_KIND_IS("negative_count")) info.function_count = -1;
  if (BAD_KIND_IS("null_table")) info.function_table = nullptr;
  if (BAD_KIND_IS("throwing_builder")) info.module_count = 2;
  return info;
}
[[maybe_unused]] ModuleInfo _mex_info = makeInfo();

}  // namespace

// Something exported, so the file is a plain shared object even without mexLibrary.
extern "C" FRAME_EXPORT int badModuleKind(void) { return static_cast<int>(std::strlen(BAD_KIND)); }

#ifndef BAD_NO_LIBRARY
FRAME_MEX_LIBRARY(_mex_info)
#endif
