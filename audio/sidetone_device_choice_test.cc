#include "audio/sidetone_device_choice.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct ChoiceCase {
  const char* name;
  SidetoneDeviceLookup lookup;
  bool open_saved, follow_default, unavailable;
};

TEST(SidetoneDeviceChoiceTest, SavedDeviceOnlyWhileActiveOtherwiseTheDefaultFollowed) {
  for (const ChoiceCase& c : {
           ChoiceCase{"no id", {false, false, 0}, false, true, false},
           ChoiceCase{"active", {true, true, kSidetoneDeviceActive}, true, false, false},
           // From another machine: quietly the default.
           ChoiceCase{"names nothing", {true, false, 0}, false, true, false},
           ChoiceCase{"unplugged", {true, true, kSidetoneDeviceUnplugged}, false, true, true},
           ChoiceCase{"disabled", {true, true, kSidetoneDeviceDisabled}, false, true, true},
           ChoiceCase{"not present", {true, true, kSidetoneDeviceNotPresent}, false, true, true},
           ChoiceCase{"state unread", {true, true, 0}, false, true, true},
           ChoiceCase{"active with another bit",
                      {true, true, kSidetoneDeviceActive | 0x10},
                      false,
                      true,
                      true},
       }) {
    const SidetoneDeviceChoice choice = ChooseSidetoneDevice(c.lookup);
    EXPECT_EQ(choice.open_saved, c.open_saved) << c.name;
    EXPECT_EQ(choice.follow_default, c.follow_default) << c.name;
    EXPECT_EQ(choice.unavailable, c.unavailable) << c.name;
  }
}

TEST(SidetoneDeviceChoiceTest, SavedDeviceStateChangesThatReopen) {
  EXPECT_TRUE(SidetoneSavedDeviceChanged(true, kSidetoneDeviceUnplugged));
  EXPECT_TRUE(SidetoneSavedDeviceChanged(true, kSidetoneDeviceDisabled));
  EXPECT_FALSE(SidetoneSavedDeviceChanged(true, kSidetoneDeviceActive));
  EXPECT_TRUE(SidetoneSavedDeviceChanged(false, kSidetoneDeviceActive));
  EXPECT_FALSE(SidetoneSavedDeviceChanged(false, kSidetoneDeviceNotPresent));
}

TEST(SidetoneDeviceChoiceTest, OnlyTheCodesOfAGoneDeviceAskForAReopen) {
  for (const int32_t gone :
       {kSidetoneDeviceInvalidated, kSidetoneServiceNotRunning, kSidetoneResourcesInvalidated}) {
    EXPECT_TRUE(SidetoneDeviceGone(gone)) << gone;
  }
  // E_FAIL, E_NOTFOUND, AUDCLNT_E_DEVICE_IN_USE, AUDCLNT_E_BUFFER_TOO_LARGE, S_OK.
  for (const uint32_t other : {0x80004005u, 0x80070490u, 0x8889000Au, 0x88890006u, 0u}) {
    EXPECT_FALSE(SidetoneDeviceGone(static_cast<int32_t>(other))) << other;
  }
}

TEST(SidetoneDeviceChoiceTest, UnavailableLineNamesTheDirectionAndState) {
  struct Case {
    SidetoneDirection direction;
    uint32_t state;
    std::string line;
  };
  for (const Case& c : {
           Case{SidetoneDirection::kRender, kSidetoneDeviceUnplugged,
                "sidetone_device_unavailable direction=render state=unplugged"},
           Case{SidetoneDirection::kCapture, kSidetoneDeviceDisabled,
                "sidetone_device_unavailable direction=capture state=disabled"},
           Case{SidetoneDirection::kRender, kSidetoneDeviceNotPresent,
                "sidetone_device_unavailable direction=render state=not_present"},
           Case{SidetoneDirection::kCapture, 0x1A,
                "sidetone_device_unavailable direction=capture state=0x1A"},
       }) {
    char line[96];
    FormatSidetoneUnavailableLine(c.direction, c.state, line, sizeof line);
    EXPECT_EQ(line, c.line);
  }
}

}  // namespace
