#include "audio/rnnoise/rnnoise_wasm_module.h"

#include <stdlib.h>
#include <string.h>

#include "rnnoise_wasm.h"
#include "wasm-rt-impl.h"

/* The package's export and import names are minified; for the pinned version
 * they map as follows (from the package's own loader, dist/rnnoise.js):
 *   imports a.a emscripten_resize_heap, a.b emscripten_memcpy_big;
 *   exports d __wasm_call_ctors, f rnnoise_create, g malloc,
 *           h rnnoise_destroy, i free, j rnnoise_process_frame. */
#define CALL_CTORS Z_rnnoiseZ_d
#define WASM_RNNOISE_CREATE Z_rnnoiseZ_f
#define WASM_MALLOC Z_rnnoiseZ_g
#define WASM_RNNOISE_DESTROY Z_rnnoiseZ_h
#define WASM_FREE Z_rnnoiseZ_i
#define WASM_RNNOISE_PROCESS_FRAME Z_rnnoiseZ_j

enum { kFrameBytes = RNNOISE_WASM_FRAME_SAMPLES * sizeof(float) };
enum { kWasmPageBytes = 65536 };
/* The heap limit the package's loader allows. */
static const uint64_t kMaxHeapBytes = 2147483648u;

enum ModuleStatus { kNotStarted, kReady, kOutOfService };

/* What the module imports: its own memory, reached through the instance. */
struct Z_a_instance_t {
  wasm_rt_memory_t* memory;
};

static Z_rnnoise_instance_t g_instance;
static struct Z_a_instance_t g_imports;
static enum ModuleStatus g_status = kNotStarted;

struct RnnoiseWasmState {
  u32 state;
  u32 in;
  u32 out;
};

/* emscripten_resize_heap: grows the memory to hold `requested_size` bytes;
 * nonzero on success. */
u32 Z_aZ_a(struct Z_a_instance_t* imports, u32 requested_size) {
  wasm_rt_memory_t* memory = imports->memory;
  if (requested_size <= memory->size) {
    return 1;
  }
  if ((uint64_t)requested_size > kMaxHeapBytes) {
    return 0;
  }
  const u32 pages = (u32)(((uint64_t)requested_size + kWasmPageBytes - 1) / kWasmPageBytes);
  return wasm_rt_grow_memory(memory, pages - memory->pages) != (u32)-1;
}

/* emscripten_memcpy_big: an overlapping copy inside the memory. */
void Z_aZ_b(struct Z_a_instance_t* imports, u32 dest, u32 src, u32 count) {
  wasm_rt_memory_t* memory = imports->memory;
  if ((uint64_t)dest + count > memory->size || (uint64_t)src + count > memory->size) {
    wasm_rt_trap(WASM_RT_TRAP_OOB);
  }
  memmove(memory->data + dest, memory->data + src, count);
}

static int ModuleReady(void) {
  if (g_status == kNotStarted) {
    wasm_rt_init();
    Z_rnnoise_init_module();
    /* Instantiation loads the data segments, which may trap; a trap jumps
     * back here, so the handler is in place first. The memory lives inside
     * the instance, so the imports can point at it before it is made. */
    g_imports.memory = Z_rnnoiseZ_c(&g_instance);
    if (wasm_rt_impl_try() != 0) {
      g_status = kOutOfService;
      return 0;
    }
    Z_rnnoise_instantiate(&g_instance, &g_imports);
    CALL_CTORS(&g_instance);
    g_status = kReady;
  }
  return g_status == kReady;
}

/* The frame buffers' place in the memory, or null when the memory is too
 * small for them (it never shrinks, so this only guards against misuse). */
static float* FrameAt(u32 address) {
  if ((uint64_t)address + kFrameBytes > g_imports.memory->size) {
    return NULL;
  }
  return (float*)(g_imports.memory->data + address);
}

RnnoiseWasmState* rnnoise_wasm_create(void) {
  if (!ModuleReady()) {
    return NULL;
  }
  RnnoiseWasmState* const state = calloc(1, sizeof(RnnoiseWasmState));
  if (state == NULL) {
    return NULL;
  }
  if (wasm_rt_impl_try() != 0) {
    g_status = kOutOfService;
    free(state);
    return NULL;
  }
  state->state = WASM_RNNOISE_CREATE(&g_instance, 0);
  state->in = WASM_MALLOC(&g_instance, kFrameBytes);
  state->out = WASM_MALLOC(&g_instance, kFrameBytes);
  if (state->state == 0 || state->in == 0 || state->out == 0) {
    rnnoise_wasm_destroy(state);
    return NULL;
  }
  return state;
}

void rnnoise_wasm_destroy(RnnoiseWasmState* state) {
  if (state == NULL) {
    return;
  }
  /* A module out of service is never entered again; its memory stays. */
  if (g_status == kReady) {
    if (wasm_rt_impl_try() != 0) {
      g_status = kOutOfService;
      free(state);
      return;
    }
    if (state->state != 0) {
      WASM_RNNOISE_DESTROY(&g_instance, state->state);
    }
    if (state->in != 0) {
      WASM_FREE(&g_instance, state->in);
    }
    if (state->out != 0) {
      WASM_FREE(&g_instance, state->out);
    }
  }
  free(state);
}

float rnnoise_wasm_process_frame(RnnoiseWasmState* state, float* out, const float* in) {
  float* const wasm_in = g_status == kReady ? FrameAt(state->in) : NULL;
  if (wasm_in == NULL) {
    memmove(out, in, kFrameBytes);
    return 0.0f;
  }
  memcpy(wasm_in, in, kFrameBytes);
  if (wasm_rt_impl_try() != 0) {
    g_status = kOutOfService;
    memmove(out, in, kFrameBytes);
    return 0.0f;
  }
  const float probability =
      WASM_RNNOISE_PROCESS_FRAME(&g_instance, state->state, state->out, state->in);
  /* The memory may have moved if the module grew it. */
  const float* const wasm_out = FrameAt(state->out);
  if (wasm_out == NULL) {
    memmove(out, in, kFrameBytes);
    return 0.0f;
  }
  memcpy(out, wasm_out, kFrameBytes);
  return probability;
}
