// The hot loops of the front end are compiled for each vector width and chosen at load time.
#pragma once

// Not under ThreadSanitizer, whose runtime is not up yet when the loader resolves the clones.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define MELCEPS_VECTOR __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define MELCEPS_VECTOR
#endif
