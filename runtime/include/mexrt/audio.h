// Audio files through libsndfile: reading any format it knows (WAV, FLAC, Ogg, AIFF, ...)
// as doubles in [-1, 1], and writing 16-bit PCM WAV. A C++ API that the shell and other
// programs share; errors are mexrt::Error with the file's name and the reason.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mexrt/matrix.h"

namespace mexrt::audio {

// Samples column by column: channel c of frame f is samples[c * frames + f].
struct Sound {
  std::vector<double> samples;
  std::size_t frames = 0;
  std::size_t channels = 0;
  double rate = 0;
};

// The whole file, or the frames first..last (1-based, inclusive) when last > 0. The file is
// read completely before anything is returned: a short read is an error, never a partial
// result.
MEXRT_API Sound read(const std::string &path, std::size_t first = 1, std::size_t last = 0);

// The samples as the file stores them, for audioread(file, 'native'): 8-bit PCM as uint8
// (offset binary, 128 is silence), 16-bit as int16, 24- and 32-bit as int32 (a 24-bit sample
// in the upper three bytes), float as single; doubles and compressed formats without integer
// samples (Vorbis) as the doubles read() gives. `bytes` holds the
// elements of class `cls` column by column, as Sound does.
struct NativeSound {
  mxClassID cls = mxDOUBLE_CLASS;
  std::vector<unsigned char> bytes;
  std::size_t frames = 0;
  std::size_t channels = 0;
  double rate = 0;
};
MEXRT_API NativeSound readNative(const std::string &path, std::size_t first = 1,
                                 std::size_t last = 0);

// Writes frames x channels samples (clipped to [-1, 1]) at the given rate. The format comes
// from the extension (.wav, .flac, .ogg, .aiff; 16-bit PCM where the format has it). The file
// is written beside its final place and renamed, so a failure leaves no damaged file.
MEXRT_API void write(const std::string &path, const double *samples, std::size_t frames,
                     std::size_t channels, double rate);

}  // namespace mexrt::audio
