#ifndef VELMO_AUDIO_SIDETONE_WASAPI_FORMAT_H_
#define VELMO_AUDIO_SIDETONE_WASAPI_FORMAT_H_

#include <windows.h>

#include <mmreg.h>

#include "audio/sidetone_mix_format.h"

// The fields of a mix format the monitor uses; an extensible format's
// SubFormat, valid bits and channel mask only when its extension is there.
SidetoneMixFormat SidetoneMixFormatOf(const WAVEFORMATEX& format);

#endif  // VELMO_AUDIO_SIDETONE_WASAPI_FORMAT_H_
