#include "activity/activity_classifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// The UTF-8 bytes of a display name as the Flutter side receives them.
std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct ClassifierCase {
  const char* label;
  // Executable file names as the snapshot reports them, in snapshot order.
  std::vector<std::u16string> exe_files;
  // Empty when the answer is null.
  std::string type;
  std::string name;
};

const std::string kDeltaForce = Utf8(u8"\u4E09\u89D2\u6D32\u884C\u52A8");
const std::string kQqMusic = Utf8(u8"QQ\u97F3\u4E50");
const std::string kStarRail = Utf8(u8"\u5D29\u574F\uFF1A\u661F\u7A79\u94C1\u9053");

const ClassifierCase kClassifierCases[] = {
    {"nothing running", {}, "", ""},
    {"game beats music", {u"cloudmusic.exe", u"cs2.exe"}, "game", "Counter-Strike 2"},
    {"music beats app", {u"steam.exe", u"qqmusic.exe"}, "music", kQqMusic},
    {"music substring beats the higher-scoring exact app",
     {u"epicgameslauncher.exe", u"my-spotify-helper.exe"},
     "music",
     "Spotify"},
    {"game substring beats exact app",
     {u"Code.exe", u"my-cs2-tool.exe"},
     "game",
     "Counter-Strike 2"},
    {"exact beats longer substrings",
     {u"DeltaForceClient-Win64-Shipping.exe"},
     "game",
     kDeltaForce},
    {"short exact beats long substring",
     {u"my-robloxplayerbeta-helper.exe", u"pubg.exe"},
     "game",
     "PUBG"},
    {"longer key in one name", {u"cs2-csgo-bridge.exe"}, "game", "CS:GO"},
    {"longer key in a later name", {u"cs2-tool.exe", u"csgo-tool.exe"}, "game", "CS:GO"},
    {"tie to the first in snapshot", {u"pubg.exe", u"gta5.exe"}, "game", "PUBG"},
    {"tie, other order", {u"gta5.exe", u"pubg.exe"}, "game", "GTA V"},
    {"tie in one name to the earlier rule", {u"gta5-pubg.exe"}, "game", "PUBG"},
    {"upper-case name", {u"SPOTIFY.EXE"}, "music", "Spotify"},
    {"mixed-case suffix", {u"StarRail.ExE"}, "game", kStarRail},
    {"only one suffix removed", {u"cs2.exe.exe", u"my-gta5.exe"}, "game", "GTA V"},
    {"name that is only the suffix, or too short", {u".exe", u"a", u""}, "", ""},
    {"only ASCII letters fold", {u"\u212Augou.exe"}, "", ""},
};

TEST(ClassifierTest, AnswersTheBestRule) {
  for (const ClassifierCase& c : kClassifierCases) {
    std::vector<std::u16string> names;
    for (const std::u16string& exe_file : c.exe_files) {
      names.push_back(NormalizeProcessName(exe_file));
    }
    const EncodableValue expected =
        c.type.empty()
            ? EncodableValue()
            : EncodableValue(EncodableMap{{EncodableValue("type"), EncodableValue(c.type)},
                                          {EncodableValue("name"), EncodableValue(c.name)}});
    EXPECT_EQ(ActivityReply(names), expected) << c.label;
  }
}

}  // namespace
