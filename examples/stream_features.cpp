// Streams a WAV file through the front end's online computer, 10 ms at a time, as a
// recogniser gets its audio, and prints each frame's MFCC with deltas as it comes out.
//   stream_features FILE.wav
// Build: c++ -std=c++20 stream_features.cpp $(pkg-config --cflags --libs melceps sndfile)
#include <sndfile.h>

#include <cstdio>
#include <vector>

#include "melceps/features.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stream_features FILE.wav\n");
    return 2;
  }
  SF_INFO info{};
  SNDFILE *file = sf_open(argv[1], SFM_READ, &info);
  if (!file) {
    std::fprintf(stderr, "stream_features: %s\n", sf_strerror(nullptr));
    return 1;
  }
  try {
    melceps::Options options;  // Kaldi's defaults, at the file's own rate
    options.sample_frequency = info.samplerate;
    melceps::DeltaOptions deltas;
    melceps::OnlineFeatures features(melceps::Kind::mfcc, options, nullptr, &deltas);

    const sf_count_t chunk = info.samplerate / 100;
    std::vector<float> block(chunk * info.channels), mono(chunk);
    std::vector<double> frame(features.dim());
    int64_t printed = 0;
    auto printReady = [&] {
      for (; printed < features.numFramesReady(); ++printed) {
        features.getFrames(printed, 1, frame.data());
        std::printf("%lld", static_cast<long long>(printed));
        for (double v : frame) std::printf(" %.4f", v);
        std::printf("\n");
      }
      features.discardFrames(printed);  // memory stays bounded, however long the stream
    };
    for (sf_count_t got; (got = sf_readf_float(file, block.data(), chunk)) > 0;) {
      for (sf_count_t i = 0; i < got; ++i) {
        mono[i] = block[i * info.channels] * 32768.0f;  // the first channel, on Kaldi's scale
      }
      features.acceptWaveform(std::span<const float>(mono.data(), static_cast<size_t>(got)));
      printReady();
    }
    features.inputFinished();
    printReady();
    std::fprintf(stderr, "%lld frames of %lld values\n", static_cast<long long>(printed),
                 static_cast<long long>(features.dim()));
  } catch (const melceps::Error &e) {
    std::fprintf(stderr, "stream_features: %s\n", e.what());
    sf_close(file);
    return 1;
  }
  sf_close(file);
  return 0;
}
