#ifndef VELMO_AUDIO_SIDETONE_DEVICE_CHOICE_H_
#define VELMO_AUDIO_SIDETONE_DEVICE_CHOICE_H_

#include <cstddef>
#include <cstdint>

#include "audio/sidetone_audio_session.h"

// Which endpoint a monitor opens for one direction, and how the audio
// system's failures are read, free of any audio API.

// The endpoint states the audio system reports (the DEVICE_STATE_ values).
inline constexpr uint32_t kSidetoneDeviceActive = 0x1;
inline constexpr uint32_t kSidetoneDeviceDisabled = 0x2;
inline constexpr uint32_t kSidetoneDeviceNotPresent = 0x4;
inline constexpr uint32_t kSidetoneDeviceUnplugged = 0x8;

// Failures that mean the endpoint or the audio service has gone
// (AUDCLNT_E_DEVICE_INVALIDATED, AUDCLNT_E_SERVICE_NOT_RUNNING,
// AUDCLNT_E_RESOURCES_INVALIDATED): the streams must be opened again.
inline constexpr int32_t kSidetoneDeviceInvalidated = static_cast<int32_t>(0x88890004);
inline constexpr int32_t kSidetoneServiceNotRunning = static_cast<int32_t>(0x88890010);
inline constexpr int32_t kSidetoneResourcesInvalidated = static_cast<int32_t>(0x88890026);

bool SidetoneDeviceGone(int32_t error);

// What looking up a saved id gave.
struct SidetoneDeviceLookup {
  bool has_id = false;
  // The audio system knows the id (it may still be unplugged or disabled).
  bool found = false;
  uint32_t state = 0;
};

struct SidetoneDeviceChoice {
  // Open the saved device; otherwise the default communications endpoint.
  bool open_saved = false;
  // The monitor moves with the default while it plays on it.
  bool follow_default = false;
  // The saved device is known but cannot play now: worth a line in the log.
  bool unavailable = false;
};

// The saved device when it is there and active. Otherwise the default, and
// the default followed: with no id; with an id that names nothing (from
// another machine, say), quietly; and with one whose device is unplugged or
// disabled, noted in the log.
SidetoneDeviceChoice ChooseSidetoneDevice(const SidetoneDeviceLookup& lookup);

// Whether a saved device's new state asks for the streams to be opened again:
// the one playing has stopped being active, or the one waited for (while the
// default plays in its place) is active again.
bool SidetoneSavedDeviceChanged(bool saved_open, uint32_t new_state);

// "sidetone_device_unavailable direction=render state=unplugged"; the state
// is "disabled", "not_present", "unplugged", or any other value in hex.
void FormatSidetoneUnavailableLine(SidetoneDirection direction, uint32_t state, char* text,
                                   size_t size);

#endif  // VELMO_AUDIO_SIDETONE_DEVICE_CHOICE_H_
