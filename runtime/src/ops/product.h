// What the element-wise operators share with the matrix product: a scalar factor folded into
// a product that is not yet computed.
#pragma once

#include "mexrt/matrix.h"

namespace mexrt::detail {

// s * P or P * s, where P is a temporary product not yet computed and not yet scaled, and s a
// finite non-zero double scalar: P with s as its factor (s reclaimed when it is a temporary),
// which differs from the product scaled afterwards by rounding at most. Otherwise nullptr, and
// nothing changes.
mxArray *foldIntoProduct(mxArray *a, mxArray *b);

}  // namespace mexrt::detail
