#include "testing/webrtc_plugin/stand_in_settings.h"

#include <windows.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) {
    return {};
  }
  std::wstring value(needed, L'\0');
  const DWORD written = GetEnvironmentVariableW(name, value.data(), needed);
  value.resize(written < needed ? written : 0);
  return value;
}

StandInSettings Read() {
  StandInSettings settings;
  const std::wstring mode = Variable(L"VELMO_WEBRTC_STAND_IN");
  if (mode == L"no_instance") {
    settings.mode = StandInSettings::Mode::kNoInstance;
  } else if (mode == L"no_audio_processing") {
    settings.mode = StandInSettings::Mode::kNoAudioProcessing;
  } else if (mode == L"throw_once") {
    settings.mode = StandInSettings::Mode::kThrowOnce;
  }
  settings.ready_file = Variable(L"VELMO_WEBRTC_READY_FILE");
  settings.capture_dir = Variable(L"VELMO_WEBRTC_CAPTURE_DIR");
  return settings;
}

}  // namespace

const StandInSettings& Settings() {
  static const StandInSettings settings = Read();
  return settings;
}
