#include "audio/sidetone_wasapi_endpoint.h"

#include <audioclient.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "audio/sidetone_wasapi_format.h"

namespace {

// COM objects owned by the test: reference counts are kept but never free.
template <typename Interface>
class Fake : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG references = 1;
};

class FakeDevice : public Fake<IMMDevice> {
 public:
  FakeDevice(DWORD state, bool state_fails) : state(state), state_fails(state_fails) {}
  HRESULT STDMETHODCALLTYPE Activate(REFIID, DWORD, PROPVARIANT*, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD* out) override {
    if (state_fails) {
      return E_FAIL;
    }
    *out = state;
    return S_OK;
  }

 private:
  DWORD state;
  bool state_fails;
};

constexpr DWORD kFivePointOne = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT | SPEAKER_FRONT_CENTER |
                                SPEAKER_LOW_FREQUENCY | SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT;
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

class FakeEnumerator : public Fake<IMMDeviceEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                    IMMDevice** device) override {
    asked_flow = flow;
    asked_role = role;
    *device = default_device;
    if (default_device != nullptr) {
      default_device->AddRef();
    }
    return default_result;
  }
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
    const auto found = devices.find(id);
    if (found == devices.end()) {
      *device = nullptr;
      return kNotFound;
    }
    *device = found->second;
    found->second->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
    return E_NOTIMPL;
  }

  std::map<std::wstring, IMMDevice*> devices;
  IMMDevice* default_device = nullptr;
  HRESULT default_result = S_OK;
  EDataFlow asked_flow = eAll;
  ERole asked_role = ERole_enum_count;
};

enum class Opened { kSaved, kDefault, kNothing };

struct EndpointCase {
  const char* name;
  const wchar_t* id;
  DWORD saved_state;
  bool state_fails;
  bool default_there;
  HRESULT default_result;
  Opened opened;
  bool follow_default, unavailable;
};

TEST(SidetoneEndpointTest, SavedDeviceWhileActiveOtherwiseTheDefaultCommunicationsEndpoint) {
  for (const EndpointCase& c : {
           EndpointCase{"no id", L"", 0, false, true, S_OK, Opened::kDefault, true, false},
           EndpointCase{"active", L"saved", DEVICE_STATE_ACTIVE, false, true, S_OK, Opened::kSaved,
                        false, false},
           EndpointCase{"names nothing", L"elsewhere", 0, false, true, S_OK, Opened::kDefault, true,
                        false},
           EndpointCase{"unplugged", L"saved", DEVICE_STATE_UNPLUGGED, false, true, S_OK,
                        Opened::kDefault, true, true},
           EndpointCase{"state unread", L"saved", DEVICE_STATE_ACTIVE, true, true, S_OK,
                        Opened::kDefault, true, true},
           EndpointCase{"unplugged, no default", L"saved", DEVICE_STATE_UNPLUGGED, false, false,
                        kNotFound, Opened::kNothing, true, true},
           EndpointCase{"a default that is null", L"", 0, false, false, S_OK, Opened::kNothing,
                        true, false},
       }) {
    FakeDevice saved(c.saved_state, c.state_fails);
    FakeDevice fallback(DEVICE_STATE_ACTIVE, false);
    FakeEnumerator enumerator;
    enumerator.devices[L"saved"] = &saved;
    enumerator.default_device = c.default_there ? &fallback : nullptr;
    enumerator.default_result = c.default_result;

    Microsoft::WRL::ComPtr<IMMDevice> device;
    const SidetoneEndpoint endpoint = OpenSidetoneEndpoint(enumerator, eRender, c.id, device);
    IMMDevice* const expected = c.opened == Opened::kSaved     ? &saved
                                : c.opened == Opened::kDefault ? &fallback
                                                               : nullptr;
    EXPECT_EQ(device.Get(), expected) << c.name;
    EXPECT_EQ(SUCCEEDED(endpoint.result), c.opened != Opened::kNothing) << c.name;
    EXPECT_EQ(endpoint.choice.follow_default, c.follow_default) << c.name;
    EXPECT_EQ(endpoint.choice.unavailable, c.unavailable) << c.name;
    if (c.opened != Opened::kSaved) {
      EXPECT_EQ(enumerator.asked_flow, eRender) << c.name;
      EXPECT_EQ(enumerator.asked_role, eCommunications) << c.name;
    }
    if (c.unavailable) {
      EXPECT_EQ(endpoint.saved_state, c.state_fails ? 0 : c.saved_state) << c.name;
    }
    device.Reset();
    EXPECT_EQ(saved.references, 1u) << c.name << ": the saved device is not kept";
    EXPECT_EQ(fallback.references, 1u) << c.name;
  }
}

// The SubFormat's tag, on the base GUID every wave format's subtype shares.
GUID Subtype(WORD tag) {
  return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

WAVEFORMATEXTENSIBLE Extensible(WORD channels, WORD bits, WORD valid_bits, DWORD mask,
                                GUID sub_format) {
  WAVEFORMATEXTENSIBLE format = {};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = channels;
  format.Format.nSamplesPerSec = 48000;
  format.Format.wBitsPerSample = bits;
  format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.Format.nAvgBytesPerSec = 48000 * format.Format.nBlockAlign;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = valid_bits;
  format.dwChannelMask = mask;
  format.SubFormat = sub_format;
  return format;
}

TEST(SidetoneEndpointTest, MixFormatIsReadByItsSubFormat) {
  const WAVEFORMATEXTENSIBLE surround =
      Extensible(6, 32, 32, kFivePointOne, Subtype(WAVE_FORMAT_IEEE_FLOAT));
  const SidetoneMixFormat read = SidetoneMixFormatOf(surround.Format);
  EXPECT_EQ(read.format_tag, WAVE_FORMAT_EXTENSIBLE);
  EXPECT_EQ(read.channels, 6);
  EXPECT_EQ(read.samples_per_sec, 48000u);
  EXPECT_EQ(read.block_align, 24);
  EXPECT_EQ(read.bits_per_sample, 32);
  EXPECT_EQ(read.sub_format, SidetoneSubFormat::kIeeeFloat);
  EXPECT_EQ(read.valid_bits_per_sample, 32);
  EXPECT_EQ(read.channel_mask, static_cast<uint32_t>(kFivePointOne));
  EXPECT_EQ(LayoutOf(read).voice_channels, 0x3u);

  struct Case {
    const char* name;
    WAVEFORMATEXTENSIBLE format;
    SidetoneSubFormat sub_format;
    SidetoneSampleKind kind;
    uint32_t valid_bits;
  };
  WAVEFORMATEXTENSIBLE short_extension = Extensible(2, 16, 16, 0x3, Subtype(WAVE_FORMAT_PCM));
  short_extension.Format.cbSize = 0;
  WAVEFORMATEXTENSIBLE plain = Extensible(2, 16, 12, 0x3, Subtype(WAVE_FORMAT_IEEE_FLOAT));
  plain.Format.wFormatTag = WAVE_FORMAT_PCM;
  for (const Case& c : {
           Case{"32-bit integer", Extensible(2, 32, 32, 0x3, Subtype(WAVE_FORMAT_PCM)),
                SidetoneSubFormat::kPcm, SidetoneSampleKind::kInteger, 32},
           Case{"24 in 32", Extensible(2, 32, 24, 0x3, Subtype(WAVE_FORMAT_PCM)),
                SidetoneSubFormat::kPcm, SidetoneSampleKind::kInteger, 24},
           Case{"pass-through", Extensible(2, 16, 16, 0x3, Subtype(0x0092)),
                SidetoneSubFormat::kOther, SidetoneSampleKind::kNone, 16},
           Case{"extension missing", short_extension, SidetoneSubFormat::kNone,
                SidetoneSampleKind::kNone, 16},
           // Bytes past a plain format are not its extension.
           Case{"plain PCM", plain, SidetoneSubFormat::kNone, SidetoneSampleKind::kInteger, 16},
       }) {
    const SidetoneMixFormat fields = SidetoneMixFormatOf(c.format.Format);
    EXPECT_EQ(fields.sub_format, c.sub_format) << c.name;
    EXPECT_EQ(LayoutOf(fields).kind, c.kind) << c.name;
    EXPECT_EQ(LayoutOf(fields).valid_bits, c.valid_bits) << c.name;
  }
}

TEST(SidetoneEndpointTest, FailuresOfAGoneDeviceAreToldFromOthers) {
  for (const HRESULT gone : {AUDCLNT_E_DEVICE_INVALIDATED, AUDCLNT_E_SERVICE_NOT_RUNNING,
                             AUDCLNT_E_RESOURCES_INVALIDATED}) {
    EXPECT_TRUE(SidetoneDeviceGone(gone)) << gone;
  }
  for (const HRESULT other : {E_FAIL, kNotFound, AUDCLNT_E_DEVICE_IN_USE,
                              AUDCLNT_E_UNSUPPORTED_FORMAT, AUDCLNT_E_NOT_INITIALIZED}) {
    EXPECT_FALSE(SidetoneDeviceGone(other)) << other;
  }
}

}  // namespace
