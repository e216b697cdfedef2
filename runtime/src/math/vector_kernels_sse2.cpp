// The vector kernels two doubles at a time (SSE2, which every x86-64 processor has); SLEEF
// picks its SSE2, SSE4.1 or AVX2 code for them. Nothing else belongs in this file.
#include <immintrin.h>
#include <sleef.h>

#include "math/vector_kernels.h"
#include "math/vector_lanes.h"

namespace mexrt::detail {

namespace {

template <auto F>  // a SLEEF kernel of this width
void run(const double *in, double *out, std::size_t n) {
  runInLanes<2>(
      in, out, n, [](const double *x, double *y) { _mm_storeu_pd(y, F(_mm_loadu_pd(x))); },
      [](const double *x, double *y, std::size_t /*count: 1*/) {
        _mm_storel_pd(y, F(_mm_loadl_pd(_mm_set1_pd(1.0), x)));
      });
}

// As run, ORing every argument loaded; the sign bits of the OR answer.
template <auto F>
bool runSigned(const double *in, double *out, std::size_t n) {
  __m128d bits = _mm_setzero_pd();
  runInLanes<2>(
      in, out, n,
      [&](const double *x, double *y) {
        const __m128d v = _mm_loadu_pd(x);
        bits = _mm_or_pd(bits, v);
        _mm_storeu_pd(y, F(v));
      },
      [&](const double *x, double *y, std::size_t /*count: 1*/) {
        const __m128d v = _mm_loadl_pd(_mm_set1_pd(1.0), x);
        bits = _mm_or_pd(bits, v);
        _mm_storel_pd(y, F(v));
      });
  return _mm_movemask_pd(bits) != 0;
}

}  // namespace

const VectorKernels kSse2Kernels = {2,
                                    run<Sleef_logd2_u10>,
                                    run<Sleef_log10d2_u10>,
                                    run<Sleef_expd2_u10>,
                                    run<Sleef_sind2_u10>,
                                    run<Sleef_cosd2_u10>,
                                    run<Sleef_sqrtd2>,
                                    runSigned<Sleef_logd2_u10>,
                                    runSigned<Sleef_log10d2_u10>,
                                    runSigned<Sleef_sqrtd2>};

}  // namespace mexrt::detail
