// Natural logs of a short vector in place, each floored first: the vector library's kernel
// of the widest width the processor runs (AVX-512 or AVX2, 1 ulp), else the C library's.
#pragma once

#include <cstdint>

namespace melceps {
void flooredLogs(double *x, int64_t n, double floor);
}
