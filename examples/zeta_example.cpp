// An application program of the decibel library: initialise, convert magnitudes, terminate.
#include <cstdio>

#include "mexrt/error.h"
#include "zeta.h"

int main() {
  const double magnitudes[] = {1, 10, 100, 1000, 0.5, 2};  // a 2 x 3 matrix, by columns
  mxArray *x = mxCreateDoubleMatrix(2, 3, mxREAL);
  for (int k = 0; k < 6; ++k) mxGetPr(x)[k] = magnitudes[k];
  mxArray *y = nullptr;
  int status = 0;
  zetaInitialize();
  try {
    mlfAssign(&y, mlfDb(x));
    std::printf("Magnitudes:\n");
    mlfDisp(x);
    std::printf("In decibels, 20*log10:\n");
    mlfDisp(y);
  } catch (const mexrt::Error &e) {
    std::fprintf(stderr, "zeta_example: %s\n", e.what());
    status = 1;
  }
  mxDestroyArray(y);
  mxDestroyArray(x);
  zetaTerminate();
  return status;
}
