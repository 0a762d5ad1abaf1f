#include "audio/sidetone_default_device_watch.h"

#include <utility>

#include "audio/sidetone_device_choice.h"

namespace {

bool SavedDeviceChanged(const SidetoneWatchedDirection& direction, LPCWSTR device_id, DWORD state) {
  return device_id != nullptr && !direction.saved_id.empty() &&
         CompareStringOrdinal(direction.saved_id.c_str(), -1, device_id, -1, TRUE) == CSTR_EQUAL &&
         SidetoneSavedDeviceChanged(direction.saved_open, state);
}

}  // namespace

SidetoneDefaultDeviceWatch::SidetoneDefaultDeviceWatch(SidetoneWatchedDirection capture,
                                                       SidetoneWatchedDirection render)
    : capture(std::move(capture)), render(std::move(render)) {}

ULONG STDMETHODCALLTYPE SidetoneDefaultDeviceWatch::AddRef() { return ++references; }

ULONG STDMETHODCALLTYPE SidetoneDefaultDeviceWatch::Release() {
  const ULONG left = --references;
  if (left == 0) {
    delete this;
  }
  return left;
}

HRESULT STDMETHODCALLTYPE SidetoneDefaultDeviceWatch::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
    *object = static_cast<IMMNotificationClient*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SidetoneDefaultDeviceWatch::OnDefaultDeviceChanged(EDataFlow flow,
                                                                             ERole role, LPCWSTR) {
  // The monitor opens the communications endpoints.
  if (role == eCommunications && ((flow == eCapture && capture.follow_default) ||
                                  (flow == eRender && render.follow_default))) {
    default_changed.store(true);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE SidetoneDefaultDeviceWatch::OnDeviceStateChanged(LPCWSTR device_id,
                                                                           DWORD state) {
  if (SavedDeviceChanged(capture, device_id, state) ||
      SavedDeviceChanged(render, device_id, state)) {
    default_changed.store(true);
  }
  return S_OK;
}
