// RNNoise's entry points over the translated WebAssembly module. The module
// is one instance with one call stack, so every call into it is serialised
// here; states of different denoisers may then be used from any thread.
#include <mutex>
#include <new>

#include "audio/rnnoise/rnnoise_api.h"
#include "audio/rnnoise/rnnoise_wasm_module.h"

struct DenoiseState {
  RnnoiseWasmState* wasm_state = nullptr;
};

namespace {

std::mutex& ModuleMutex() {
  // Leaked: a denoiser may still be released while static objects go.
  static std::mutex* const mutex = new std::mutex();
  return *mutex;
}

}  // namespace

extern "C" DenoiseState* rnnoise_create(RNNModel* model) {
  // The WebAssembly build carries only its built-in model.
  if (model != nullptr) {
    return nullptr;
  }
  auto* state = new (std::nothrow) DenoiseState();
  if (state == nullptr) {
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(ModuleMutex());
    state->wasm_state = rnnoise_wasm_create();
  }
  if (state->wasm_state == nullptr) {
    delete state;
    return nullptr;
  }
  return state;
}

extern "C" void rnnoise_destroy(DenoiseState* st) {
  if (st == nullptr) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(ModuleMutex());
    rnnoise_wasm_destroy(st->wasm_state);
  }
  delete st;
}

extern "C" float rnnoise_process_frame(DenoiseState* st, float* out, const float* in) {
  std::lock_guard<std::mutex> lock(ModuleMutex());
  return rnnoise_wasm_process_frame(st->wasm_state, out, in);
}
