#include "activity/activity_classifier.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

struct Activity {
  std::string type;
  std::string name;
};

// The UTF-8 bytes of a display name as the Flutter side receives them.
std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct ClassifierCase {
  const char* label;
  // Executable file names as the snapshot reports them, in snapshot order.
  std::vector<std::u16string> exe_files;
  std::optional<Activity> expected;
};

void PrintTo(const ClassifierCase& c, std::ostream* out) { *out << c.label; }

const std::string kDeltaForce = Utf8(u8"\u4E09\u89D2\u6D32\u884C\u52A8");
const std::string kWutheringWaves = Utf8(u8"\u9E23\u6F6E");
const std::string kQqMusic = Utf8(u8"QQ\u97F3\u4E50");
const std::string kStarRail = Utf8(u8"\u5D29\u574F\uFF1A\u661F\u7A79\u94C1\u9053");
const std::string kSodaMusic = Utf8(u8"\u6C7D\u6C34\u97F3\u4E50");

const ClassifierCase kClassifierCases[] = {
    {"NothingRunning", {}, std::nullopt},
    {"MusicAlone", {u"Spotify.exe"}, Activity{"music", "Spotify"}},
    {"GameBeatsMusicAfterIt",
     {u"cloudmusic.exe", u"cs2.exe"},
     Activity{"game", "Counter-Strike 2"}},
    {"GameBeatsMusicBeforeIt",
     {u"cs2.exe", u"cloudmusic.exe"},
     Activity{"game", "Counter-Strike 2"}},
    {"MusicBeatsApp", {u"steam.exe", u"qqmusic.exe"}, Activity{"music", kQqMusic}},
    {"GameSubstringBeatsExactApp",
     {u"Code.exe", u"my-cs2-tool.exe"},
     Activity{"game", "Counter-Strike 2"}},
    {"ExactBeatsLongerSubstrings",
     {u"DeltaForceClient-Win64-Shipping.exe"},
     Activity{"game", kDeltaForce}},
    {"ExactShippingClientIsNotTheSubstringRule",
     {u"FortniteClient-Win64-Shipping.exe"},
     Activity{"game", "Fortnite"}},
    {"OtherShippingClientIsTheSubstringRule",
     {u"Wuthering-Client-Win64-Shipping.exe"},
     Activity{"game", kWutheringWaves}},
    {"ShortExactBeatsLongSubstring",
     {u"my-robloxplayerbeta-helper.exe", u"pubg.exe"},
     Activity{"game", "PUBG"}},
    {"LongerKeyWinsInOneName", {u"cs2-csgo-bridge.exe"}, Activity{"game", "CS:GO"}},
    {"LongerKeyWinsInALaterName", {u"cs2-tool.exe", u"csgo-tool.exe"}, Activity{"game", "CS:GO"}},
    {"EqualExactGamesFirstInSnapshot", {u"pubg.exe", u"gta5.exe"}, Activity{"game", "PUBG"}},
    {"EqualExactGamesOtherOrder", {u"gta5.exe", u"pubg.exe"}, Activity{"game", "GTA V"}},
    {"EqualSubstringsFirstInSnapshot", {u"my-gta5.exe", u"my-pubg.exe"}, Activity{"game", "GTA V"}},
    {"EqualKeysInOneNameEarlierRule", {u"gta5-pubg.exe"}, Activity{"game", "PUBG"}},
    {"SubstringApp", {u"vscode.exe"}, Activity{"app", "Visual Studio Code"}},
    {"UpperCaseName", {u"SPOTIFY.EXE"}, Activity{"music", "Spotify"}},
    {"MixedCaseSuffix", {u"StarRail.ExE"}, Activity{"game", kStarRail}},
    {"KeyWithSpace", {u"Soda Music.exe"}, Activity{"music", kSodaMusic}},
    {"OnlyOneSuffixRemoved", {u"cs2.exe.exe", u"my-gta5.exe"}, Activity{"game", "GTA V"}},
    {"UnknownUpperCaseName", {u"NOTEPAD.EXE"}, std::nullopt},
    {"NameThatIsOnlyTheSuffix", {u".exe"}, std::nullopt},
    {"OnlyAsciiLettersFold", {u"\u212Augou.exe"}, std::nullopt},
    {"NameShorterThanEveryKey", {u"cs.exe", u"a", u""}, std::nullopt},
};

class ClassifierTest : public testing::TestWithParam<ClassifierCase> {};

TEST_P(ClassifierTest, AnswersTheBestRule) {
  const ClassifierCase& c = GetParam();
  std::vector<std::u16string> names;
  for (const std::u16string& exe_file : c.exe_files) {
    names.push_back(NormalizeProcessName(exe_file));
  }
  const EncodableValue reply = ActivityReply(names);
  if (!c.expected) {
    EXPECT_TRUE(reply.IsNull());
    return;
  }
  const EncodableMap expected{{EncodableValue("type"), EncodableValue(c.expected->type)},
                              {EncodableValue("name"), EncodableValue(c.expected->name)}};
  const auto* map = std::get_if<EncodableMap>(&reply);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(*map, expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ClassifierTest, testing::ValuesIn(kClassifierCases),
                         [](const testing::TestParamInfo<ClassifierCase>& info) {
                           return std::string(info.param.label);
                         });

}  // namespace
