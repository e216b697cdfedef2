// The front end from C++: MFCC with deltas and accelerations of the float64 samples in a raw
// file, offline (one call) or streamed in chunks of CHUNK samples with every frame read and
// dropped as it comes; best of REPEATS runs. Prints the best time in seconds, the frames and
// the last value.
//   features_bench SAMPLES.f64 [REPEATS] [CHUNK]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "melceps/features.h"

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  std::vector<double> y(static_cast<size_t>(in.tellg()) / sizeof(double));
  in.seekg(0);
  in.read(reinterpret_cast<char *>(y.data()),
          static_cast<std::streamsize>(y.size() * sizeof(double)));
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
  const size_t chunk = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
  melceps::Options o;
  melceps::DeltaOptions d;
  const int64_t frames = melceps::frameCount(o, static_cast<int64_t>(y.size()));
  const int64_t dim = melceps::deltaDim(13, d);
  std::vector<double> out(frames * dim);
  double best = 1e9;
  for (int r = 0; r < repeats; ++r) {
    auto t = std::chrono::steady_clock::now();
    if (chunk == 0) {
      melceps::compute(melceps::Kind::mfcc, o, y, out.data(), nullptr, &d);
    } else {
      melceps::OnlineFeatures f(melceps::Kind::mfcc, o, nullptr, &d);
      int64_t read = 0;
      for (size_t at = 0; at < y.size(); at += chunk) {
        f.acceptWaveform(std::span<const double>(y.data() + at, std::min(chunk, y.size() - at)));
        const int64_t ready = f.numFramesReady();
        f.getFrames(read, ready - read, out.data() + read * dim);
        f.discardFrames(ready);
        read = ready;
      }
      f.inputFinished();
      f.getFrames(read, f.numFramesReady() - read, out.data() + read * dim);
    }
    best =
        std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count());
  }
  std::printf("%.6f %lld %g\n", best, static_cast<long long>(frames), out.back());
}
