#ifndef VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_
#define VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_

#include <windows.h>

#include <mmdeviceapi.h>

#include <atomic>

// Notes a change of the default communications endpoint of the directions a
// monitor follows, so a monitor started on "the default device" moves with
// it. The audio system calls it on a thread of its own; the monitor reads
// `changed` from its worker.
class SidetoneDefaultDeviceWatch : public IMMNotificationClient {
 public:
  SidetoneDefaultDeviceWatch(bool follow_capture, bool follow_render);
  virtual ~SidetoneDefaultDeviceWatch() = default;

  bool changed() const { return default_changed.load(); }

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                   LPCWSTR device_id) override;
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }

 private:
  std::atomic<ULONG> references{1};
  bool follow_capture;
  bool follow_render;
  std::atomic<bool> default_changed{false};
};

#endif  // VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_
