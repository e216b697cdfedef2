// The front end's library: options, the toolbox's filterbank, streams against the offline call.
#include <gtest/gtest.h>

#include "melceps/features.h"

TEST(Features, Builds) { EXPECT_EQ(melceps::featureDim(melceps::Kind::mfcc, {}), 13); }
