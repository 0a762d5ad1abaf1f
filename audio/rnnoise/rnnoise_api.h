#ifndef VELMO_AUDIO_RNNOISE_RNNOISE_API_H_
#define VELMO_AUDIO_RNNOISE_RNNOISE_API_H_

// The three RNNoise entry points the denoiser uses, from the system's library
// when the build links one, otherwise from the library built here out of
// RNNoise's WebAssembly package (same declarations as RNNoise's own header).

#ifdef VELMO_SYSTEM_RNNOISE
// Older releases of the header declare C functions without a C++ guard.
extern "C" {
#include <rnnoise.h>
}
#else
extern "C" {

typedef struct DenoiseState DenoiseState;
typedef struct RNNModel RNNModel;

// Null `model` selects the built-in model. Null when no state can be made.
DenoiseState* rnnoise_create(RNNModel* model);
void rnnoise_destroy(DenoiseState* st);
// 480 samples at 48 kHz in 16-bit scale from `in` into `out`; returns the
// voice probability.
float rnnoise_process_frame(DenoiseState* st, float* out, const float* in);

}  // extern "C"
#endif

#endif  // VELMO_AUDIO_RNNOISE_RNNOISE_API_H_
