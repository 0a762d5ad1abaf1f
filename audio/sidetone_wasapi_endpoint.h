#ifndef VELMO_AUDIO_SIDETONE_WASAPI_ENDPOINT_H_
#define VELMO_AUDIO_SIDETONE_WASAPI_ENDPOINT_H_

#include <windows.h>

#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <string>

#include "audio/sidetone_device_choice.h"

// What opening one direction's endpoint came to.
struct SidetoneEndpoint {
  SidetoneDeviceChoice choice;
  // The saved device's state, when the audio system knows its id.
  DWORD saved_state = 0;
  // Of the default endpoint's lookup, when that was needed.
  HRESULT result = S_OK;
};

// Opens `id`'s device when it is there and active; otherwise the default
// communications endpoint of `flow`. `device` is null unless one opened.
SidetoneEndpoint OpenSidetoneEndpoint(IMMDeviceEnumerator& enumerator, EDataFlow flow,
                                      const std::wstring& id,
                                      Microsoft::WRL::ComPtr<IMMDevice>& device);

#endif  // VELMO_AUDIO_SIDETONE_WASAPI_ENDPOINT_H_
