// flooredLogs with SLEEF's AVX-512 kernel (this file alone is compiled for AVX-512F).
#include <immintrin.h>
#include <sleef.h>

#include <cmath>
#include <cstdint>

namespace melceps {

void flooredLogsAvx512(double *x, int64_t n, double floor) {
  const __m512d f = _mm512_set1_pd(floor);
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m512d v = _mm512_max_pd(_mm512_loadu_pd(x + i), f);
    _mm512_storeu_pd(x + i, Sleef_logd8_u10avx512f(v));
  }
  if (i < n) {  // the rest through a copy padded with the floor
    alignas(64) double rest[8];
    for (int64_t k = 0; k < 8; ++k) rest[k] = i + k < n ? x[i + k] : floor;
    __m512d v = _mm512_max_pd(_mm512_load_pd(rest), f);
    _mm512_store_pd(rest, Sleef_logd8_u10avx512f(v));
    for (int64_t k = 0; i + k < n; ++k) x[i + k] = rest[k];
  }
}

}  // namespace melceps
