// The front end's library from C++ and C: its option records, the toolbox's filterbank, the
// stream against the offline call, and errors as statuses.
#include "melceps/features.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "frames.h"
#include "mel_banks.h"
#include "melceps/melceps.h"

namespace {

using melceps::Kind;

std::vector<double> noise(size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, 1000.0);
  std::vector<double> y(n);
  for (size_t i = 0; i < n; ++i) {
    y[i] = static_cast<float>(g(rng) + 3000.0 * std::sin(0.05 * static_cast<double>(i)));
  }
  return y;
}

std::vector<double> offline(Kind kind, const melceps::Options &o, const std::vector<double> &y,
                            const melceps::CmvnOptions *c = nullptr,
                            const melceps::DeltaOptions *d = nullptr) {
  int64_t dim = melceps::featureDim(kind, o);
  if (d) dim = melceps::deltaDim(dim, *d);
  std::vector<double> out(melceps::frameCount(o, static_cast<int64_t>(y.size())) * dim);
  melceps::compute(kind, o, y, out.data(), c, d);
  return out;
}

TEST(Options, EveryOptionIsNamedHelpedAndReadFromText) {
  for (const auto &f : melceps::optionFields(static_cast<const melceps::Options *>(nullptr))) {
    EXPECT_NE(std::string(f.help), "") << f.name;
    melceps::Options o;
    std::string text = melceps::optionText(o, f);
    melceps::setOption(o, f.name, text);  // each default reads back
    EXPECT_EQ(melceps::optionText(o, f), text) << f.name;
  }
  melceps::Options o;
  melceps::setOption(o, "num_mel_bins", "40");
  melceps::setOption(o, "snip_edges", "false");
  melceps::setOption(o, "frame_shift", "12.5");
  melceps::setOption(o, "window_type", "hamming");
  EXPECT_EQ(o.num_mel_bins, 40);
  EXPECT_FALSE(o.snip_edges);
  EXPECT_EQ(o.frame_shift, 12.5);
  EXPECT_EQ(o.window_type, "hamming");
  struct Bad {
    const char *name, *text, *message;
  } bad[] = {{"num_mel_bins", "4o", "whole number"},
             {"snip_edges", "yes", "true or false"},
             {"frame_shift", "", "a number"},
             {"frame_shift", "1x", "a number"},
             {"no_such", "1", "Unknown option"}};
  for (const Bad &b : bad) {
    try {
      melceps::setOption(o, b.name, b.text);
      ADD_FAILURE() << b.name << "=" << b.text << " was taken";
    } catch (const melceps::Error &e) {
      EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
    }
  }
}

TEST(Options, ValuesTheFrontEndCannotUseAreRefusedByName) {
  struct Case {
    const char *name, *text, *message;
  } cases[] = {
      {"sample_frequency", "0", "sample_frequency"},
      {"sample_frequency", "nan", "sample_frequency"},
      {"frame_length", "0.01", "less than one sample"},
      {"frame_shift", "-10", "frame_shift"},
      {"window_type", "kaiser", "window_type"},
      {"low_freq", "8000", "low_freq"},
      {"high_freq", "9000", "high_freq"},
      {"high_freq", "-8000", "high_freq"},
      {"num_mel_bins", "0", "num_mel_bins"},
      {"num_ceps", "24", "num_ceps"},
      {"cepstral_lifter", "22.5", "whole number"},
      {"dither", "-1", "dither"},
      {"energy_floor", "-1", "energy_floor"},
      {"preemphasis_coefficient", "1.5", "preemphasis"},
      {"frame_length", "1e12", "at most"},
  };
  for (const Case &c : cases) {
    melceps::Options o;
    melceps::setOption(o, c.name, c.text);
    try {
      melceps::OnlineFeatures f(Kind::mfcc, o);
      ADD_FAILURE() << c.name << "=" << c.text << " was taken";
    } catch (const melceps::Error &e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(melceps::parseKind("mfccs"), melceps::Error);
}

TEST(MelBanks, BandsetupsBankIsKaldisDesignFrom0HzToNyquist) {
  for (int64_t bins : {3, 23, 40}) {
    for (double fs : {8000.0, 16000.0, 22050.0}) {
      melceps::Options o;
      o.sample_frequency = fs;
      o.num_mel_bins = bins;
      o.low_freq = 0.0;
      melceps::FrameGeometry g(o);
      melceps::MelBanks toolbox(o, g.size, g.padded);
      ASSERT_TRUE(toolbox.fromBandsetup());
      o.low_freq = 1e-300;  // the same cut-offs by Kaldi's design, not bandsetup's
      melceps::MelBanks kaldi(o, g.size, g.padded);
      ASSERT_FALSE(kaldi.fromBandsetup());
      std::vector<double> a = toolbox.dense(), b = kaldi.dense();
      ASSERT_EQ(a.size(), b.size());
      for (size_t k = 0; k < a.size(); ++k) {
        ASSERT_NEAR(a[k], b[k], 1e-12) << bins << " bins at " << fs << " Hz, weight " << k;
      }
    }
  }
}

TEST(MelBanks, MoreBinsThanTheSpectrumHoldsIsAnError) {
  melceps::Options o;
  o.num_mel_bins = 128;
  o.frame_length = 10.0;  // 160 samples, 128 FFT bins
  try {
    melceps::OnlineFeatures f(Kind::fbank, o);
    FAIL() << "taken";
  } catch (const melceps::Error &e) {
    EXPECT_NE(std::string(e.what()).find("too many"), std::string::npos) << e.what();
  }
}

TEST(Online, StreamsEqualTheOfflineCallForAnyChunking) {
  const std::vector<double> y = noise(9000);
  melceps::DeltaOptions deltas;
  melceps::CmvnOptions cmvn;
  cmvn.cmn_window = 40;
  cmvn.min_cmn_window = 15;
  struct Setting {
    Kind kind;
    bool snip_edges, subtract_mean;
    double dither;
  } settings[] = {{Kind::mfcc, true, false, 0.0},
                  {Kind::mfcc, false, false, 1.0},
                  {Kind::fbank, false, true, 0.0},
                  {Kind::spectrogram, true, false, 0.5}};
  std::mt19937 rng(4);
  for (const Setting &s : settings) {
    melceps::Options o;
    o.snip_edges = s.snip_edges;
    o.subtract_mean = s.subtract_mean;
    o.dither = s.dither;
    for (int post = 0; post < 3; ++post) {
      const melceps::CmvnOptions *c = post >= 1 ? &cmvn : nullptr;
      const melceps::DeltaOptions *d = post == 2 ? &deltas : nullptr;
      const std::vector<double> want = offline(s.kind, o, y, c, d);
      for (int chunking = 0; chunking < 3; ++chunking) {
        melceps::OnlineFeatures f(s.kind, o, c, d);
        std::vector<double> got;
        size_t at = 0;
        int64_t read = 0;
        while (at < y.size()) {
          size_t step = chunking == 0 ? 1 : chunking == 1 ? 1 + rng() % 900 : 160;
          step = std::min(step, y.size() - at);
          if (chunking == 2) {  // as floats: y holds values that floats hold exactly
            std::vector<float> part(y.begin() + at, y.begin() + at + step);
            f.acceptWaveform(part);
          } else {
            f.acceptWaveform(std::span<const double>(y.data() + at, step));
          }
          at += step;
          const int64_t ready = f.numFramesReady();
          got.resize(ready * f.dim());
          f.getFrames(read, ready - read, got.data() + read * f.dim());
          f.discardFrames(ready);
          read = ready;
        }
        f.inputFinished();
        const int64_t ready = f.numFramesReady();
        got.resize(ready * f.dim());
        f.getFrames(read, ready - read, got.data() + read * f.dim());
        ASSERT_EQ(got, want) << "kind " << static_cast<int>(s.kind) << ", post " << post
                             << ", chunking " << chunking;
      }
    }
  }
}

TEST(Online, BadSamplesAndLateSamplesAreErrorsThatKeepWhatCameBefore) {
  melceps::OnlineFeatures f(Kind::mfcc, {});
  std::vector<double> y = noise(2000);
  y[1500] = NAN;
  try {
    f.acceptWaveform(y);
    FAIL() << "NaN taken";
  } catch (const melceps::Error &e) {
    EXPECT_NE(std::string(e.what()).find("Sample 1500 is NaN"), std::string::npos) << e.what();
  }
  EXPECT_EQ(f.numFramesReady(), 1 + (1500 - 400) / 160);  // the frames before it
  std::vector<float> inf = {1.0f, INFINITY};
  EXPECT_THROW(f.acceptWaveform(inf), melceps::Error);
  f.inputFinished();
  EXPECT_THROW(f.acceptWaveform(std::span<const double>(y.data(), 10)), melceps::Error);
  std::vector<double> row(13);
  EXPECT_THROW(f.getFrames(f.numFramesReady(), 1, row.data()), melceps::Error);
  f.discardFrames(2);
  EXPECT_EQ(f.numFramesDiscarded(), 2);
  EXPECT_THROW(f.getFrames(1, 1, row.data()), melceps::Error);
  EXPECT_NO_THROW(f.getFrames(2, 1, row.data()));
}

TEST(Online, AnEndlessStreamHoldsOnlyWhatItStillNeeds) {
  // Samples of an hour, fed and read in 10 ms chunks: what is held stays a few frames.
  melceps::DeltaOptions deltas;
  melceps::OnlineFeatures f(Kind::mfcc, {}, nullptr, &deltas);
  std::vector<double> chunk = noise(160);
  int64_t read = 0;
  std::vector<double> rows;
  for (int k = 0; k < 360000; ++k) {
    f.acceptWaveform(chunk);
    const int64_t ready = f.numFramesReady();
    rows.resize((ready - read) * f.dim());
    f.getFrames(read, ready - read, rows.data());
    f.discardFrames(ready);
    read = ready;
    ASSERT_LE(ready - f.numFramesDiscarded(), 0);
  }
  EXPECT_EQ(read, 360000 - 2 - 4);  // frames of whole windows, less the deltas' reach
}

TEST(Threads, ComputersOnSeveralThreadsGiveTheSingleThreadedFrames) {
  // Each thread designs its own banks (the toolbox's modules load once, on whichever thread
  // comes first) and plans its own FFT size.
  const std::vector<double> y = noise(8000, 7);
  std::vector<melceps::Options> settings(6);
  for (size_t k = 0; k < settings.size(); ++k) {
    settings[k].num_mel_bins = 20 + static_cast<int64_t>(k);
    settings[k].frame_length = 20.0 + 2.0 * static_cast<double>(k);
    settings[k].low_freq = k % 2 ? 0.0 : 40.0;
  }
  std::vector<std::vector<double>> got(settings.size());
  std::vector<std::thread> threads;
  for (size_t k = 0; k < settings.size(); ++k) {
    threads.emplace_back([&, k] { got[k] = offline(Kind::mfcc, settings[k], y); });
  }
  for (std::thread &t : threads) t.join();
  for (size_t k = 0; k < settings.size(); ++k) {
    EXPECT_EQ(got[k], offline(Kind::mfcc, settings[k], y)) << "setting " << k;
  }
}

TEST(CInterface, FailuresAreStatusesWithMessages) {
  melceps_options *o = melceps_options_new();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(melceps_options_set(o, "num_mel_bins", "abc"), MELCEPS_ERROR);
  EXPECT_NE(std::string(melceps_last_error()).find("num_mel_bins"), std::string::npos);
  EXPECT_EQ(melceps_options_set(o, "nope", "1"), MELCEPS_ERROR);
  EXPECT_EQ(melceps_options_set(o, "order", "1"), MELCEPS_OK);  // deltas on
  melceps_online *f = nullptr;
  EXPECT_EQ(melceps_online_new("cepstra", o, &f), MELCEPS_ERROR);
  EXPECT_EQ(f, nullptr);
  ASSERT_EQ(melceps_online_new("mfcc", o, &f), MELCEPS_OK) << melceps_last_error();
  size_t dim = 0, ready = 0;
  melceps_online_dim(f, &dim);
  EXPECT_EQ(dim, 26u);
  std::vector<float> y(16000);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(1000 * std::sin(0.01 * i));
  EXPECT_EQ(melceps_online_accept(f, y.data(), y.size()), MELCEPS_OK);
  EXPECT_EQ(melceps_online_finish(f), MELCEPS_OK);
  melceps_online_frames_ready(f, &ready);
  EXPECT_EQ(ready, 98u);
  std::vector<float> out(ready * dim);
  EXPECT_EQ(melceps_online_copy(f, 0, ready, out.data()), MELCEPS_OK);
  EXPECT_EQ(melceps_online_copy(f, ready, 1, out.data()), MELCEPS_ERROR);
  EXPECT_EQ(melceps_online_accept(f, y.data(), 1), MELCEPS_ERROR);
  EXPECT_NE(std::string(melceps_last_error()).find("end of input"), std::string::npos);
  EXPECT_EQ(melceps_online_accept(nullptr, y.data(), 1), MELCEPS_ERROR);
  melceps_online_free(f);
  melceps_options_free(o);
}

TEST(Offline, ShortSignalsGiveNoFramesOfTheRightWidth) {
  melceps::Options o;
  for (int64_t n : {0, 1, 399}) EXPECT_EQ(melceps::frameCount(o, n), 0);
  EXPECT_EQ(melceps::frameCount(o, 400), 1);
  o.snip_edges = false;
  EXPECT_EQ(melceps::frameCount(o, 79), 0);
  EXPECT_EQ(melceps::frameCount(o, 80), 1);
  EXPECT_EQ(offline(Kind::mfcc, o, noise(80)).size(), 13u);  // reflected beyond both ends
}

}  // namespace
