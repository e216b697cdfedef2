// What the division operator of linear algebra falls back on when it divides by a scalar.
#pragma once

#include "mexrt/matrix.h"

namespace mexrt::detail {

// a / s element by element (any class, real or complex), the symbol "/" in its errors.
mxArray *divideByScalar(mxArray *a, mxArray *b);

}  // namespace mexrt::detail
