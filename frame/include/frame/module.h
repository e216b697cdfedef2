// The tables of a deliverable: its information record and the exported mexLibrary.
#pragma once

#include <cstddef>

#include "frame/frame.h"
#include "mexrt/records.h"

namespace frame {

// The record of a deliverable over its two tables; the row counts follow from the tables.
template <std::size_t F, std::size_t M>
constexpr ModuleInfo moduleInfo(FunctionTableEntry (&functions)[F], InitTermEntry (&units)[M]) {
  return ModuleInfo{MEXRT_RECORD_VERSION, static_cast<int32_t>(F), functions, 0, 0, 0, 0,
                    static_cast<int32_t>(M), units};
}

}  // namespace frame

// Defines the module's exported mexLibrary: the same record on every call, no other effect.
#define FRAME_MEX_LIBRARY(info) \
  extern "C" FRAME_EXPORT ModuleInfo *mexLibrary(void) { return &(info); }
