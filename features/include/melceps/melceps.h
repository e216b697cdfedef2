/* melceps/melceps.h: the front end for C and other languages. Every function returns
 * MELCEPS_OK or MELCEPS_ERROR; after an error melceps_last_error() gives the message (kept
 * per thread until the next call fails). Nothing is thrown across these functions.
 *
 *   melceps_options *o = melceps_options_new();
 *   melceps_options_set(o, "num_mel_bins", "40");
 *   melceps_online *f;
 *   melceps_online_new("mfcc", o, &f);
 *   melceps_online_accept(f, samples, n);     // as often as samples come
 *   melceps_online_finish(f);
 *   melceps_online_frames_ready(f, &ready);   melceps_online_copy(f, 0, ready, out);
 *   melceps_online_free(f);                   melceps_options_free(o);
 */
#ifndef MELCEPS_MELCEPS_H
#define MELCEPS_MELCEPS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MELCEPS_API __attribute__((visibility("default")))

typedef enum { MELCEPS_OK = 0, MELCEPS_ERROR = 1 } melceps_status;

/* The options of features, deltas and sliding normalisation by their names (those of
 * melceps/options.h: "frame_length", "num_mel_bins", "order", "cmn_window", ...). Deltas and
 * sliding normalisation are off until one of their options is set or they are enabled. */
typedef struct melceps_options melceps_options;
MELCEPS_API melceps_options *melceps_options_new(void);
MELCEPS_API void melceps_options_free(melceps_options *options);
/* Sets an option from text: "true"/"false", a number or a name. */
MELCEPS_API melceps_status melceps_options_set(melceps_options *options, const char *name,
                                               const char *value);
MELCEPS_API melceps_status melceps_options_enable_deltas(melceps_options *options, int enable);
MELCEPS_API melceps_status melceps_options_enable_sliding_cmvn(melceps_options *options,
                                                               int enable);

/* A streaming computer of "mfcc", "fbank" or "spectrogram" features. */
typedef struct melceps_online melceps_online;
MELCEPS_API melceps_status melceps_online_new(const char *kind, const melceps_options *options,
                                              melceps_online **out);
MELCEPS_API void melceps_online_free(melceps_online *online);
MELCEPS_API melceps_status melceps_online_dim(const melceps_online *online, size_t *dim);
MELCEPS_API melceps_status melceps_online_accept(melceps_online *online, const float *samples,
                                                 size_t count);
MELCEPS_API melceps_status melceps_online_accept_double(melceps_online *online,
                                                        const double *samples, size_t count);
MELCEPS_API melceps_status melceps_online_finish(melceps_online *online);
/* Frames ready, counted from the stream's first frame. */
MELCEPS_API melceps_status melceps_online_frames_ready(const melceps_online *online,
                                                       size_t *frames);
/* Copies frames start .. start + count - 1 (dim floats each, frame after frame). */
MELCEPS_API melceps_status melceps_online_copy(const melceps_online *online, size_t start,
                                               size_t count, float *out);
MELCEPS_API melceps_status melceps_online_copy_double(const melceps_online *online, size_t start,
                                                      size_t count, double *out);
/* Drops the frames below `upto`. */
MELCEPS_API melceps_status melceps_online_discard(melceps_online *online, size_t upto);

/* The last error of this thread, or "" when none. */
MELCEPS_API const char *melceps_last_error(void);

#ifdef __cplusplus
}
#endif

#endif
