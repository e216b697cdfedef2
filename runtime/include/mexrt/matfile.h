// MAT-files (level 5): load into a compiled function's named slots, the folders load
// searches, the names a file holds, and writing variables to a compressed file.
#pragma once

#include "mexrt/matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

// load(file) into named slots: the file's name (char array), then pairs of a variable
// name (NUL-terminated) and a slot (mxArray **), ended by NULL. Only the slots whose names
// the file holds are filled (the old value freed); the others keep what they held.
MEXRT_API void mclLoadConditional(mxArray *file, ...);

#ifdef __cplusplus
}

#include <string>
#include <utility>
#include <vector>

namespace mexrt::matfile {

// The folders that load searches after the current directory (the host's module path).
MEXRT_API void setLoadPath(const std::vector<std::string> &folders);

// The names of the variables of a MAT-file found as load finds it (the current folder, then
// the load path; ".mat" added when the name has no extension), in file order.
MEXRT_API std::vector<std::string> variableNames(const std::string &file);

// Writes the variables (double, real or complex; single and the integer classes, real; char;
// logical; any size; not cells or structs) to `file` as a compressed level 5 MAT-file. The file is
// written beside its target and renamed into place, so an error leaves whatever was there before
// untouched.
MEXRT_API void save(const std::string &file,
                    const std::vector<std::pair<std::string, const mxArray *>> &variables);

}  // namespace mexrt::matfile
#endif
