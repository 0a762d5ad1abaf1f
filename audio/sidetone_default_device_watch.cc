#include "audio/sidetone_default_device_watch.h"

SidetoneDefaultDeviceWatch::SidetoneDefaultDeviceWatch(bool follow_capture, bool follow_render)
    : follow_capture(follow_capture), follow_render(follow_render) {}

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
  if (role == eCommunications &&
      ((flow == eCapture && follow_capture) || (flow == eRender && follow_render))) {
    default_changed.store(true);
  }
  return S_OK;
}
