// flooredLogs with SLEEF's AVX2 kernel (this file alone is compiled for AVX2 and FMA).
#include <immintrin.h>
#include <sleef.h>

#include <cmath>
#include <cstdint>

namespace melceps {

void flooredLogsAvx2(double *x, int64_t n, double floor) {
  const __m256d f = _mm256_set1_pd(floor);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d v = _mm256_max_pd(_mm256_loadu_pd(x + i), f);
    _mm256_storeu_pd(x + i, Sleef_logd4_u10avx2(v));
  }
  for (; i < n; ++i) x[i] = std::log(x[i] > floor ? x[i] : floor);
}

}  // namespace melceps
