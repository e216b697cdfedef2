// What the front end takes from the toolbox's own functions, called through their modules
// once per design: the filterbank (bandsetup), the mel scale (mel), the cosine transform
// (chan2qf) and the lifter (quefwind). Matrices come back row by row.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace melceps::toolbox {

// bandsetup(framelen, numchans, fs): numchans rows of fftN / 2 weights, fftN the frame
// length padded up to a power of two. Its report lines are not printed.
std::vector<double> bandsetup(int64_t framelen, int64_t numchans, double fs);

// mel(f), element by element.
std::vector<double> mel(std::span<const double> hz);

// The rows 1 .. numceps of the type-II cosine transform over numchans channels, with
// chan2qf's scale sqrt(2 / numchans): chan2qf of the identity, numceps x numchans.
std::vector<double> cosineTransform(int64_t numchans, int64_t numceps);

// quefwind's weights of coefficients 1 .. numceps for the lifter length L (a whole number).
std::vector<double> lifterWeights(int64_t numceps, double L);

}  // namespace melceps::toolbox
