#include "overlay/avatar/avatar_naming.h"

#include <gtest/gtest.h>

namespace {

TEST(AvatarNaming, FileNameFromFnv1a) {
  EXPECT_EQ(OldAvatarFileName("abc"), "a_1a47e90b.img");
  EXPECT_EQ(OldAvatarFileName(""), "a_811c9dc5.img");
  EXPECT_EQ(OldAvatarFileName("\xFF\x80"), "a_ee1eea4a.img") << "bytes are unsigned";
}

TEST(AvatarNaming, OnlyLowerCaseHttpSchemes) {
  EXPECT_TRUE(IsFetchableAvatarUrl("http://127.0.0.1/a.png"));
  EXPECT_TRUE(IsFetchableAvatarUrl("https://host/a"));
  for (const char* url : {"", "ftp://host/a.png", "HTTP://host/a.png", "Https://host/a",
                          "http:/host", " http://host/a", "file:///c:/a.png"}) {
    EXPECT_FALSE(IsFetchableAvatarUrl(url)) << url;
  }
}

}  // namespace
