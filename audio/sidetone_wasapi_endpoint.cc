#include "audio/sidetone_wasapi_endpoint.h"

SidetoneEndpoint OpenSidetoneEndpoint(IMMDeviceEnumerator& enumerator, EDataFlow flow,
                                      const std::wstring& id,
                                      Microsoft::WRL::ComPtr<IMMDevice>& device) {
  device.Reset();
  SidetoneDeviceLookup lookup;
  lookup.has_id = !id.empty();
  Microsoft::WRL::ComPtr<IMMDevice> saved;
  // GetDevice also finds a device that is unplugged or disabled; opening
  // one fails only later, at activation, with nothing to fall back on.
  if (lookup.has_id && SUCCEEDED(enumerator.GetDevice(id.c_str(), &saved)) && saved) {
    lookup.found = true;
    DWORD state = 0;
    lookup.state = SUCCEEDED(saved->GetState(&state)) ? state : 0;
  }
  SidetoneEndpoint opened;
  opened.choice = ChooseSidetoneDevice(lookup);
  opened.saved_state = lookup.state;
  if (opened.choice.open_saved) {
    device = std::move(saved);
    return opened;
  }
  opened.result = enumerator.GetDefaultAudioEndpoint(flow, eCommunications, &device);
  if (SUCCEEDED(opened.result) && !device) {
    opened.result = E_POINTER;
  }
  return opened;
}
