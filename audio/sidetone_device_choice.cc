#include "audio/sidetone_device_choice.h"

#include <cstdio>

bool SidetoneDeviceGone(int32_t error) {
  return error == kSidetoneDeviceInvalidated || error == kSidetoneServiceNotRunning ||
         error == kSidetoneResourcesInvalidated;
}

SidetoneDeviceChoice ChooseSidetoneDevice(const SidetoneDeviceLookup& lookup) {
  SidetoneDeviceChoice choice;
  choice.open_saved = lookup.has_id && lookup.found && lookup.state == kSidetoneDeviceActive;
  choice.follow_default = !choice.open_saved;
  choice.unavailable = lookup.has_id && lookup.found && !choice.open_saved;
  return choice;
}

bool SidetoneSavedDeviceChanged(bool saved_open, uint32_t new_state) {
  return saved_open != (new_state == kSidetoneDeviceActive);
}

namespace {

void FormatState(uint32_t state, char* text, size_t size) {
  switch (state) {
    case kSidetoneDeviceDisabled:
      std::snprintf(text, size, "disabled");
      break;
    case kSidetoneDeviceNotPresent:
      std::snprintf(text, size, "not_present");
      break;
    case kSidetoneDeviceUnplugged:
      std::snprintf(text, size, "unplugged");
      break;
    default:
      std::snprintf(text, size, "0x%X", static_cast<unsigned>(state));
      break;
  }
}

}  // namespace

void FormatSidetoneUnavailableLine(SidetoneDirection direction, uint32_t state, char* text,
                                   size_t size) {
  char state_word[16];
  FormatState(state, state_word, sizeof state_word);
  std::snprintf(text, size, "sidetone_device_unavailable direction=%s state=%s",
                direction == SidetoneDirection::kCapture ? "capture" : "render", state_word);
}
