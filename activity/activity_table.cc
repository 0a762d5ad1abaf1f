#include "activity/activity_table.h"

// The display names are spelled with universal character names so that their
// UTF-8 bytes do not depend on the compiler's source character set; the
// comments show them as written. The colon of the Star Rail name is the
// full-width one (U+FF1A).
const std::array<ActivityRule, kActivityRuleCount> kActivityTable = {{
    {u"cloudmusic", "music", u8"\u7F51\u6613\u4E91\u97F3\u4E50"},  // 网易云音乐
    {u"qqmusic", "music", u8"QQ\u97F3\u4E50"},                     // QQ音乐
    {u"kugou", "music", u8"\u9177\u72D7\u97F3\u4E50"},             // 酷狗音乐
    {u"kuwomusic", "music", u8"\u9177\u6211\u97F3\u4E50"},         // 酷我音乐
    {u"qishuimusic", "music", u8"\u6C7D\u6C34\u97F3\u4E50"},       // 汽水音乐
    {u"qishui", "music", u8"\u6C7D\u6C34\u97F3\u4E50"},            // 汽水音乐
    {u"sodamusic", "music", u8"\u6C7D\u6C34\u97F3\u4E50"},         // 汽水音乐
    {u"soda music", "music", u8"\u6C7D\u6C34\u97F3\u4E50"},        // 汽水音乐
    {u"spotify", "music", u8"Spotify"},
    {u"applemusic", "music", u8"Apple Music"},
    {u"lyricease", "music", u8"LyricEase"},
    {u"foobar2000", "music", u8"foobar2000"},
    {u"deltaforceclient-win64-shipping", "game", u8"\u4E09\u89D2\u6D32\u884C\u52A8"},  // 三角洲行动
    {u"deltaforceclient", "game", u8"\u4E09\u89D2\u6D32\u884C\u52A8"},  // 三角洲行动
    {u"deltaforce", "game", u8"\u4E09\u89D2\u6D32\u884C\u52A8"},        // 三角洲行动
    {u"cs2", "game", u8"Counter-Strike 2"},
    {u"csgo", "game", u8"CS:GO"},
    {u"valorant-win64-shipping", "game", u8"VALORANT"},
    {u"leagueclientux", "game", u8"\u82F1\u96C4\u8054\u76DF"},              // 英雄联盟
    {u"leagueclient", "game", u8"\u82F1\u96C4\u8054\u76DF"},                // 英雄联盟
    {u"genshinimpact", "game", u8"\u539F\u795E"},                           // 原神
    {u"yuanshen", "game", u8"\u539F\u795E"},                                // 原神
    {u"starrail", "game", u8"\u5D29\u574F\uFF1A\u661F\u7A79\u94C1\u9053"},  // 崩坏：星穹铁道
    {u"overwatch", "game", u8"Overwatch"},
    {u"fortniteclient-win64-shipping", "game", u8"Fortnite"},
    {u"r5apex", "game", u8"Apex Legends"},
    {u"pubg", "game", u8"PUBG"},
    {u"dota2", "game", u8"Dota 2"},
    {u"minecraft", "game", u8"Minecraft"},
    {u"robloxplayerbeta", "game", u8"Roblox"},
    {u"eldenring", "game", u8"Elden Ring"},
    {u"cyberpunk2077", "game", u8"Cyberpunk 2077"},
    {u"gta5", "game", u8"GTA V"},
    {u"client-win64-shipping", "game", u8"\u9E23\u6F6E"},  // 鸣潮
    {u"steam", "app", u8"Steam"},
    {u"epicgameslauncher", "app", u8"Epic Games"},
    {u"discord", "app", u8"Discord"},
    {u"obs64", "app", u8"OBS Studio"},
    {u"obs32", "app", u8"OBS Studio"},
    {u"code", "app", u8"Visual Studio Code"},
    {u"devenv", "app", u8"Visual Studio"},
}};
