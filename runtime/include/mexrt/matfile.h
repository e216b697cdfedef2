// MAT-files (level 5) beyond load's named slots: the names a file holds, and writing
// variables to a compressed file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mexrt/matrix.h"

namespace mexrt::matfile {

// The names of the variables of a MAT-file found as load finds it (the current folder, then
// the load path; ".mat" added when the name has no extension), in file order.
MEXRT_API std::vector<std::string> variableNames(const std::string &file);

// Writes the variables (double, complex double, char, logical; any size) to `file` as a
// compressed level 5 MAT-file. The file is written beside its target and renamed into place,
// so an error leaves whatever was there before untouched.
MEXRT_API void save(const std::string &file,
                    const std::vector<std::pair<std::string, const mxArray *>> &variables);

}  // namespace mexrt::matfile
