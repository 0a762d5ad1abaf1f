#ifndef VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_
#define VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_

#include <windows.h>

#include <mmdeviceapi.h>

#include <atomic>
#include <string>

// What one direction of a monitor depends on.
struct SidetoneWatchedDirection {
  // Playing on the default communications endpoint: a new default moves it.
  bool follow_default = false;
  // The device the user chose, if any, and whether it is the one playing
  // (else the default plays in its place until it is active again).
  std::wstring saved_id;
  bool saved_open = false;
};

// Notes a change that asks a running monitor to open its streams again: a
// new default communications endpoint of a direction it follows, the saved
// device it plays on leaving the active state, or the saved device it waits
// for becoming active. The audio system calls it on a thread of its own; the
// monitor reads `changed` from its worker.
class SidetoneDefaultDeviceWatch : public IMMNotificationClient {
 public:
  SidetoneDefaultDeviceWatch(SidetoneWatchedDirection capture, SidetoneWatchedDirection render);
  virtual ~SidetoneDefaultDeviceWatch() = default;

  bool changed() const { return default_changed.load(); }

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                   LPCWSTR device_id) override;
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR device_id, DWORD state) override;
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }

 private:
  std::atomic<ULONG> references{1};
  // Set before the watch is registered, only read afterwards.
  const SidetoneWatchedDirection capture;
  const SidetoneWatchedDirection render;
  std::atomic<bool> default_changed{false};
};

#endif  // VELMO_AUDIO_SIDETONE_DEFAULT_DEVICE_WATCH_H_
