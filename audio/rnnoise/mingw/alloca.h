/* mingw-w64 declares alloca in <malloc.h> and has no <alloca.h>, which the
 * code wasm2c generates includes outside MSVC. */
#ifndef VELMO_AUDIO_RNNOISE_MINGW_ALLOCA_H_
#define VELMO_AUDIO_RNNOISE_MINGW_ALLOCA_H_
#include <malloc.h>
#endif
