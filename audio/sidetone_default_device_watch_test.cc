#include "audio/sidetone_default_device_watch.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

using Event = std::function<void(SidetoneDefaultDeviceWatch&)>;

// What a direction depends on.
enum class Side { kNothing, kFollowing, kPlaying, kAwaiting };

SidetoneWatchedDirection Watched(Side side) {
  SidetoneWatchedDirection direction;
  direction.follow_default = side == Side::kFollowing || side == Side::kAwaiting;
  if (side == Side::kPlaying || side == Side::kAwaiting) {
    direction.saved_id = L"{0.0.0.00000000}.{Headset}";
    direction.saved_open = side == Side::kPlaying;
  }
  return direction;
}

struct WatchCase {
  const char* name;
  Side capture, render;
  Event event;
  bool changed;
};

Event DefaultChanged(EDataFlow flow, ERole role) {
  return [flow, role](SidetoneDefaultDeviceWatch& watch) {
    watch.OnDefaultDeviceChanged(flow, role, L"new");
  };
}

Event StateChanged(const wchar_t* id, DWORD state) {
  return [id, state](SidetoneDefaultDeviceWatch& watch) { watch.OnDeviceStateChanged(id, state); };
}

TEST(SidetoneDeviceWatchTest, ReopensForTheDefaultItFollowsAndTheSavedDeviceItPlaysOrAwaits) {
  constexpr Side none = Side::kNothing;
  constexpr Side following = Side::kFollowing;
  constexpr Side playing = Side::kPlaying;
  constexpr Side awaiting = Side::kAwaiting;
  for (const WatchCase& c : {
           WatchCase{"new default followed",
                     {},
                     following,
                     DefaultChanged(eRender, eCommunications),
                     true},
           WatchCase{"new default of the other direction",
                     {},
                     following,
                     DefaultChanged(eCapture, eCommunications),
                     false},
           WatchCase{"new capture default followed",
                     following,
                     {},
                     DefaultChanged(eCapture, eCommunications),
                     true},
           WatchCase{"new default while the saved device plays",
                     {},
                     playing,
                     DefaultChanged(eRender, eCommunications),
                     false},
           WatchCase{"saved device unplugged",
                     {},
                     playing,
                     StateChanged(L"{0.0.0.00000000}.{HEADSET}", DEVICE_STATE_UNPLUGGED),
                     true},
           WatchCase{"saved capture device disabled",
                     playing,
                     {},
                     StateChanged(L"{0.0.0.00000000}.{Headset}", DEVICE_STATE_DISABLED),
                     true},
           WatchCase{"saved device active again",
                     {},
                     playing,
                     StateChanged(L"{0.0.0.00000000}.{Headset}", DEVICE_STATE_ACTIVE),
                     false},
           WatchCase{"awaited device back",
                     {},
                     awaiting,
                     StateChanged(L"{0.0.0.00000000}.{Headset}", DEVICE_STATE_ACTIVE),
                     true},
           WatchCase{"another device back",
                     {},
                     awaiting,
                     StateChanged(L"{0.0.0.00000000}.{Speakers}", DEVICE_STATE_ACTIVE),
                     false},
           WatchCase{"no id", none, awaiting, StateChanged(nullptr, DEVICE_STATE_ACTIVE), false},
       }) {
    auto* watch = new SidetoneDefaultDeviceWatch(Watched(c.capture), Watched(c.render));
    EXPECT_FALSE(watch->changed()) << c.name;
    c.event(*watch);
    EXPECT_EQ(watch->changed(), c.changed) << c.name;
    EXPECT_EQ(watch->Release(), 0u) << c.name;
  }
}

}  // namespace
