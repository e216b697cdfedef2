// The figures family is written in three files (figures.cpp: figures, handles and files;
// figures_plot.cpp: lines, images and colour maps; figures_axes.cpp: texts, legend, axis
// modes and subplots); figures.cpp joins their tables into the family's one table.
#pragma once

#include <span>

#include "shell/builtins/builtins.h"

namespace shell::builtins::figures {

std::span<const Builtin> plottingBuiltins();
std::span<const Builtin> axesBuiltins();

}  // namespace shell::builtins::figures
