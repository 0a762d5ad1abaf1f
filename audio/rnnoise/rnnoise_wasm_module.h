#ifndef VELMO_AUDIO_RNNOISE_RNNOISE_WASM_MODULE_H_
#define VELMO_AUDIO_RNNOISE_RNNOISE_WASM_MODULE_H_

/* RNNoise as translated from its WebAssembly build: one module instance in
 * the process, whose states live in the module's linear memory. Nothing here
 * is thread-safe; callers serialise every call. */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct RnnoiseWasmState RnnoiseWasmState;

/* A new denoiser state with RNNoise's built-in model, or null when the
 * module cannot provide one (out of memory, or the module trapped). */
RnnoiseWasmState* rnnoise_wasm_create(void);

/* Accepts null. */
void rnnoise_wasm_destroy(RnnoiseWasmState* state);

/* Denoises one frame of RNNOISE_WASM_FRAME_SAMPLES samples from `in` into
 * `out` and returns the voice probability. Should the module trap, `out`
 * receives `in` unchanged and the module stays out of service. */
float rnnoise_wasm_process_frame(RnnoiseWasmState* state, float* out, const float* in);

#define RNNOISE_WASM_FRAME_SAMPLES 480

#ifdef __cplusplus
}
#endif

#endif /* VELMO_AUDIO_RNNOISE_RNNOISE_WASM_MODULE_H_ */
