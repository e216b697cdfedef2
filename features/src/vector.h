// The hot loops of the front end are compiled for each vector width and chosen at load time.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define MELCEPS_VECTOR __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define MELCEPS_VECTOR
#endif
