// imagesc of a 12 x 100000 matrix (cepstra of 100000 frames) rendered to PNG: the store's
// image in the default 560 x 420 figure, resampled to the pixels it covers. The same work
// in numpy (block means, colour map, PNG) is timed by imagesc_compare.py in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "host/render.h"
#include "mexrt/graphics.h"
#include "mexrt/mathlib.h"

namespace {

namespace g = mexrt::graphics;

constexpr std::size_t kRows = 12, kCols = 100'000;

// A figure with one axes holding the image, as imagesc(C) leaves it.
double imageFigure() {
  mxArray *c = mxCreateDoubleMatrix(kRows, kCols, mxREAL);
  double *p = mxGetPr(c);
  for (std::size_t j = 0; j < kCols; ++j)
    for (std::size_t i = 0; i < kRows; ++i)
      p[j * kRows + i] = std::sin(0.001 * static_cast<double>(j) * static_cast<double>(i + 1));
  double fig = g::create(g::Type::Figure, {});
  std::vector<mxArray *> axesPairs = {mxCreateString("Parent"), mxCreateDoubleScalar(fig),
                                      mxCreateString("YDir"), mxCreateString("reverse")};
  double ax = g::create(g::Type::Axes, axesPairs);
  std::vector<mxArray *> imagePairs = {mxCreateString("Parent"), mxCreateDoubleScalar(ax),
                                       mxCreateString("CData"), c};
  g::create(g::Type::Image, imagePairs);
  for (mxArray *a : axesPairs) mxDestroyArray(a);
  for (mxArray *a : imagePairs) mxDestroyArray(a);
  return fig;
}

void BM_imagesc_12x100000_png(benchmark::State &state) {
  g::clearAll();
  const double fig = imageFigure();
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "imagesc_bench.png";
  for (auto _ : state) host::renderFigure(fig, out);
  std::filesystem::remove(out);
  g::clearAll();
}
BENCHMARK(BM_imagesc_12x100000_png)->Unit(benchmark::kMillisecond);

}  // namespace
