#include "overlay/avatar_fetcher.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "overlay/avatar_naming.h"
#include "overlay/picture_size.h"

namespace {

using std::chrono::seconds;
using Bytes = std::vector<uint8_t>;
constexpr char kUrl[] = "http://avatars.test/a.png";
constexpr int kSize = 35;
constexpr uint8_t kDecodes = 'G';  // last byte of a picture the fake decoder accepts

Bytes Png(uint32_t width, uint32_t height, uint8_t last) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  png.push_back(last);
  return png;
}

// One server, a disk and a decoder; time passes only as the server makes it.
struct FakeSystem : AvatarFetchSystem {
  AvatarClock::time_point now = AvatarClock::time_point{} + std::chrono::hours(1);
  DownloadStep answer = DownloadStep::kOk;
  seconds answer_takes{0};
  Bytes body;
  bool endless = false;
  std::size_t piece = kAvatarReadPiece;
  seconds piece_takes{0};
  std::size_t served = 0;
  int opens = 0, decodes = 0;
  std::map<std::string, Bytes> files;

  AvatarClock::time_point Now() override { return now; }
  DownloadStep Wait(seconds takes, AvatarClock::time_point deadline) {
    now += takes;
    if (now < deadline) return DownloadStep::kOk;
    now = deadline;
    return DownloadStep::kFailed;
  }
  DownloadStep Open(const std::string&, AvatarClock::time_point deadline) override {
    ++opens;
    return Wait(answer_takes, deadline) == DownloadStep::kOk ? answer : DownloadStep::kFailed;
  }
  DownloadStep Read(Bytes& out, std::size_t most, AvatarClock::time_point deadline) override {
    if (Wait(piece_takes, deadline) != DownloadStep::kOk) return DownloadStep::kFailed;
    if (endless) body.resize(std::max(body.size(), most));
    const std::size_t left = endless ? most : body.size() - served;
    const auto from = body.begin() + static_cast<std::ptrdiff_t>(endless ? 0 : served);
    out.assign(from, from + static_cast<std::ptrdiff_t>(std::min({most, piece, left})));
    served += out.size();
    return DownloadStep::kOk;
  }
  void CloseDownload() override {}
  void Interrupt() override {}
  std::optional<Bytes> ReadFile(const std::string& name, std::size_t) override {
    const auto found = files.find(name);
    return found == files.end() ? std::nullopt : std::optional(found->second);
  }
  bool WriteFile(const std::string& name, std::span<const uint8_t> bytes) override {
    files[name].assign(bytes.begin(), bytes.end());
    return true;
  }
  bool RenameFile(const std::string& from, const std::string& to) override {
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  void RemoveFile(const std::string& name) override { files.erase(name); }
  std::optional<ScaledAvatar> Decode(std::span<const uint8_t> file, int size) override {
    ++decodes;
    if (file.back() != kDecodes) return std::nullopt;
    return ScaledAvatar{size, std::vector<uint32_t>(size * size)};
  }
};

struct FetchCase {
  const char* name;
  void (*arrange)(FakeSystem&);
  AvatarFetchOutcome outcome;
  std::optional<Bytes> kept;  // the stored file afterwards
  seconds took;
};

const Bytes kGood = Png(96, 64, kDecodes);

const FetchCase kCases[] = {
    {"stored file trusted",
     [](FakeSystem& s) {
       s.files[AvatarFileName(kUrl)] = kGood;
       s.answer = DownloadStep::kFailed;
     },
     AvatarFetchOutcome::kStored, kGood, seconds(0)},
    {"broken stored file fetched again",
     [](FakeSystem& s) {
       s.files[AvatarFileName(kUrl)] = Png(96, 64, 'x');
       s.body = kGood;
       s.piece = 7;
     },
     AvatarFetchOutcome::kDownloaded, kGood, seconds(0)},
    {"server error", [](FakeSystem& s) { s.answer = DownloadStep::kFailed; },
     AvatarFetchOutcome::kRequestFailed, std::nullopt, seconds(0)},
    {"never answers", [](FakeSystem& s) { s.answer_takes = seconds(120); },
     AvatarFetchOutcome::kTimedOut, std::nullopt, kAvatarDownloadLimit},
    {"one byte a second",
     [](FakeSystem& s) {
       s.body = Bytes(1000, 'x');
       s.piece = 1;
       s.piece_takes = seconds(1);
     },
     AvatarFetchOutcome::kTimedOut, std::nullopt, kAvatarDownloadLimit},
    {"endless body", [](FakeSystem& s) { s.endless = true; }, AvatarFetchOutcome::kBodyTooLarge,
     std::nullopt, seconds(0)},
    {"20000 x 20000 header", [](FakeSystem& s) { s.body = Png(20000, 20000, kDecodes); },
     AvatarFetchOutcome::kPictureTooLarge, std::nullopt, seconds(0)},
    {"does not decode", [](FakeSystem& s) { s.body = Png(96, 64, 'x'); },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
    {"not a picture", [](FakeSystem& s) { s.body = Bytes{'<', 'h', 't', 'm', 'l', '>'}; },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
};

TEST(AvatarFetcherTest, OneAttemptWithinItsBounds) {
  for (const FetchCase& c : kCases) {
    FakeSystem system;
    c.arrange(system);
    AvatarFetcher fetcher(system, [] {});
    const auto start = system.now;
    const AvatarFetchResult result = fetcher.Fetch(kUrl, kSize);
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.picture.has_value(), c.kept.has_value()) << c.name;
    if (result.picture) {
      EXPECT_EQ(result.picture->size, kSize) << c.name;
    }
    EXPECT_EQ(system.now - start, c.took) << c.name;
    EXPECT_LE(system.served, kAvatarBodyCap + 1) << c.name << ": read on past the cap";
    std::map<std::string, Bytes> kept;
    if (c.kept) {
      kept[AvatarFileName(kUrl)] = *c.kept;
    }
    EXPECT_EQ(system.files, kept) << c.name << ": only a picture that decodes stays";
    if (c.outcome == AvatarFetchOutcome::kPictureTooLarge) {
      EXPECT_EQ(system.decodes, 0) << c.name;
    }
  }
}

TEST(AvatarFetcherTest, FailedAddressRestsFromTheEndOfItsAttempt) {
  FakeSystem system;
  system.answer_takes = seconds(120);
  int waiting = 0;
  AvatarFetcher fetcher(system, [&] { ++waiting; });
  EXPECT_FALSE(fetcher.Request("ftp://avatars.test/a.png", kSize));
  ASSERT_TRUE(fetcher.Request(kUrl, kSize));
  EXPECT_FALSE(fetcher.Request(kUrl, kSize)) << "already waiting";
  const auto start = system.now;
  ASSERT_TRUE(fetcher.RunOne());  // times out after the limit
  system.now = start + seconds(35);
  EXPECT_FALSE(fetcher.Request(kUrl, kSize)) << "35 s after the start, 25 s after the end";
  system.now = start + kAvatarDownloadLimit + AvatarBackoff::kRetryInterval;
  ASSERT_TRUE(fetcher.Request(kUrl, kSize));

  system.answer_takes = seconds(0);
  system.body = kGood;
  ASSERT_TRUE(fetcher.RunOne());
  EXPECT_EQ(waiting, 1);
  const std::vector<AvatarFetchResult> results = fetcher.TakeResults();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].url, kUrl);
  EXPECT_TRUE(fetcher.TakeResults().empty());
}

TEST(PictureSizeTest, ReadFromTheHeaderAlone) {
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0,    4,    1,    2,   0xFF,
                      0xC2, 0,    11,   8,    0x4E, 0x20, 0x01, 0x02};
  const Bytes gif = {'G',  'I', 'F', '8', '9',  'a', 1, 0, 1, 0,    0,    0, 0, 0x21,
                     0xF9, 1,   0,   0,   0x2C, 0,   0, 0, 0, 0x20, 0x4E, 2, 0};
  Bytes bmp(26, 0);
  bmp[0] = 'B', bmp[1] = 'M', bmp[18] = 0x10, bmp[22] = 0xF0, bmp[23] = 0xFF, bmp[24] = 0xFF,
  bmp[25] = 0xFF;
  const struct {
    Bytes file;
    std::optional<std::pair<uint32_t, uint32_t>> size;
  } cases[] = {{Png(20000, 20000, 0), {{20000, 20000}}},
               {jpeg, {{0x0102, 0x4E20}}},
               {gif, {{20000, 2}}},
               {bmp, {{16, 16}}},
               {Bytes(kGood.begin(), kGood.begin() + 20), std::nullopt},
               {Bytes(jpeg.begin(), jpeg.begin() + 12), std::nullopt}};
  for (const auto& c : cases) {
    const std::optional<PictureSize> size = ReadPictureSize(c.file);
    ASSERT_EQ(size.has_value(), c.size.has_value()) << c.file.size();
    if (size) {
      EXPECT_EQ(std::pair(size->width, size->height), *c.size);
    }
  }
}

}  // namespace
