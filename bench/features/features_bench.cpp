// The front end's offline call from C++: MFCC with deltas and accelerations of the float64
// samples in a raw file, best of N runs; prints the best time in seconds and the frames.
//   features_bench SAMPLES.f64 [REPEATS]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "melceps/features.h"

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  std::vector<double> y(static_cast<size_t>(in.tellg()) / sizeof(double));
  in.seekg(0);
  in.read(reinterpret_cast<char *>(y.data()), static_cast<std::streamsize>(y.size() * sizeof(double)));
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
  melceps::Options o;
  melceps::DeltaOptions d;
  const int64_t frames = melceps::frameCount(o, static_cast<int64_t>(y.size()));
  std::vector<double> out(frames * melceps::deltaDim(13, d));
  double best = 1e9;
  for (int r = 0; r < repeats; ++r) {
    auto t = std::chrono::steady_clock::now();
    melceps::compute(melceps::Kind::mfcc, o, y, out.data(), nullptr, &d);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
  }
  std::printf("%.6f %lld %g\n", best, static_cast<long long>(frames), out.back());
}
