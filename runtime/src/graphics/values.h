// Property values: reading and making them, and the check a value passes before it is
// stored.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/array.h"
#include "graphics/schema.h"

namespace mexrt::graphics::internal {

// The text of a char value; empty for any other.
std::string textOf(const Array &a);
// A double value of the elements v (column-major, `rows` rows); [] for none.
Owned row(const std::vector<double> &v, std::size_t rows = 1);
Owned string(std::string_view utf8);
// "a 2x3 double array" and the like, for messages.
std::string describe(const Array &a);
// A scalar double handle, or the error naming `what`.
double handleValue(const Array &a, const char *what);
// Checks a value against its property and gives the array to store.
Owned checked(Type t, const Prop &p, const Array &a);

}  // namespace mexrt::graphics::internal
