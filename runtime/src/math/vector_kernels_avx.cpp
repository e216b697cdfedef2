// The vector kernels four doubles at a time. This file is compiled with -mavx and its code
// runs only where the processor has AVX; SLEEF then picks its AVX, FMA4 or AVX2 code.
#include <immintrin.h>
#include <sleef.h>

#include "math/vector_kernels.h"
#include "math/vector_lanes.h"

namespace mexrt::detail {

namespace {

template <auto F>  // a SLEEF kernel of this width
void run(const double *in, double *out, std::size_t n) {
  runInLanes<4>(
      in, out, n, [](const double *x, double *y) { _mm256_storeu_pd(y, F(_mm256_loadu_pd(x))); },
      [](const double *x, double *y, std::size_t count) {
        const __m256d lanes = _mm256_cmp_pd(_mm256_set_pd(3, 2, 1, 0),
                                            _mm256_set1_pd(static_cast<double>(count)), _CMP_LT_OQ);
        const __m256i mask = _mm256_castpd_si256(lanes);
        const __m256d v = _mm256_blendv_pd(_mm256_set1_pd(1.0), _mm256_maskload_pd(x, mask), lanes);
        _mm256_maskstore_pd(y, mask, F(v));
      });
}

// As run, ORing every argument loaded; the sign bits of the OR answer.
template <auto F>
bool runSigned(const double *in, double *out, std::size_t n) {
  __m256d bits = _mm256_setzero_pd();
  runInLanes<4>(
      in, out, n,
      [&](const double *x, double *y) {
        const __m256d v = _mm256_loadu_pd(x);
        bits = _mm256_or_pd(bits, v);
        _mm256_storeu_pd(y, F(v));
      },
      [&](const double *x, double *y, std::size_t count) {
        const __m256d lanes = _mm256_cmp_pd(_mm256_set_pd(3, 2, 1, 0),
                                            _mm256_set1_pd(static_cast<double>(count)), _CMP_LT_OQ);
        const __m256i mask = _mm256_castpd_si256(lanes);
        const __m256d v = _mm256_blendv_pd(_mm256_set1_pd(1.0), _mm256_maskload_pd(x, mask), lanes);
        bits = _mm256_or_pd(bits, v);
        _mm256_maskstore_pd(y, mask, F(v));
      });
  return _mm256_movemask_pd(bits) != 0;
}

}  // namespace

const VectorKernels kAvxKernels = {4,
                                   run<Sleef_logd4_u10>,
                                   run<Sleef_log10d4_u10>,
                                   run<Sleef_expd4_u10>,
                                   run<Sleef_sind4_u10>,
                                   run<Sleef_cosd4_u10>,
                                   run<Sleef_sqrtd4>,
                                   runSigned<Sleef_logd4_u10>,
                                   runSigned<Sleef_log10d4_u10>,
                                   runSigned<Sleef_sqrtd4>};

}  // namespace mexrt::detail
