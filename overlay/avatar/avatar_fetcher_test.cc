#include "overlay/avatar/avatar_fetcher.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>

#include "overlay/avatar/avatar_naming.h"
#include "overlay/avatar/picture_size.h"

namespace {

using std::chrono::seconds;
using Bytes = std::vector<uint8_t>;
constexpr char kUrl[] = "http://avatars.test/a.png";
constexpr int kSize = 35;
constexpr uint8_t kDecodes = 'G';    // last byte of a picture the fake decoder accepts
constexpr uint8_t kNeverEnds = 'N';  // the byte before it, for a decode that never ends
// Two addresses whose 32-bit FNV-1a names collide (0x229b441b).
constexpr char kTwinA[] = "http://avatars.test/3ff3.png";
constexpr char kTwinB[] = "http://avatars.test/23f50.png";

Bytes Png(uint32_t width, uint32_t height, uint8_t last, uint8_t tell = 0) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  png.push_back(tell);
  png.push_back(last);
  return png;
}

// A digest as weak as the old naming, so that names collide and only the
// address recorded in the file tells pictures apart.
AvatarDigest WeakDigest(std::string_view url) {
  const uint32_t hash = Fnv1a32(url);
  return AvatarDigest{static_cast<uint8_t>(hash >> 24), static_cast<uint8_t>(hash >> 16),
                      static_cast<uint8_t>(hash >> 8), static_cast<uint8_t>(hash)};
}

std::string NameOf(std::string_view url) { return AvatarFileName(WeakDigest(url)); }

// One server, a disk and a decoder; time passes only as the server makes it.
struct FakeSystem : AvatarFetchSystem {
  AvatarClock::time_point now = AvatarClock::time_point{} + std::chrono::hours(1);
  DownloadStep answer = DownloadStep::kOk;
  seconds answer_takes{0};
  Bytes body;
  bool endless = false;
  std::size_t piece = kAvatarReadPiece;
  seconds piece_takes{0};
  std::optional<uint64_t> declared;
  std::size_t served = 0;       // of the current download
  std::size_t most_served = 0;  // by any one download
  int opens = 0, decodes = 0;
  std::map<std::string, int> opens_of;
  bool downloading = false;
  std::optional<PictureSize> decoder_finds;  // else what the header says
  std::function<void()> while_decoding = [] {};
  DecodeRun size_run = DecodeRun::kFinished;
  DecodeRun pixels_run = DecodeRun::kFinished;
  bool interrupted = false;
  std::map<std::string, Bytes> files;
  std::map<std::string, std::chrono::seconds> ages;
  AvatarRefusal refusal = AvatarRefusal::kInsecureRedirect;  // when the answer is kRefused
  std::vector<std::string> logged;

  AvatarClock::time_point Now() override { return now; }
  DownloadStep Wait(seconds takes, AvatarClock::time_point deadline) {
    now += takes;
    if (now < deadline) return DownloadStep::kOk;
    now = deadline;
    return DownloadStep::kFailed;
  }
  DownloadStep Open(const std::string& url, AvatarClock::time_point deadline) override {
    ++opens;
    ++opens_of[url];
    served = 0;
    downloading = true;
    return Wait(answer_takes, deadline) == DownloadStep::kOk ? answer : DownloadStep::kFailed;
  }
  DownloadStep Read(Bytes& out, std::size_t most, AvatarClock::time_point deadline) override {
    if (Wait(piece_takes, deadline) != DownloadStep::kOk) return DownloadStep::kFailed;
    if (endless) body.resize(std::max(body.size(), most));
    const std::size_t left = endless ? most : body.size() - served;
    const auto from = body.begin() + static_cast<std::ptrdiff_t>(endless ? 0 : served);
    out.assign(from, from + static_cast<std::ptrdiff_t>(std::min({most, piece, left})));
    served += out.size();
    most_served = std::max(most_served, served);
    return DownloadStep::kOk;
  }
  std::optional<uint64_t> DeclaredLength() override { return declared; }
  void CloseDownload() override { downloading = false; }
  void Interrupt() override { interrupted = true; }
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
  void TouchFile(const std::string& name) override { ages[name] = seconds(0); }
  std::vector<AvatarFolderEntry> ListFiles() override {
    std::vector<AvatarFolderEntry> entries;
    for (const auto& [name, bytes] : files) entries.push_back({name, bytes.size(), ages[name]});
    return entries;
  }
  AvatarDigest Sha256(std::string_view bytes) override { return WeakDigest(bytes); }
  AvatarRefusal OpenRefusal() override { return refusal; }
  void Log(const std::string& line) override { logged.push_back(line); }
  // A decode that is not finished ends at its deadline, as the system's do.
  DecodeRun Ends(DecodeRun run, AvatarClock::time_point deadline) {
    if (run == DecodeRun::kPutOff) now = deadline;
    return run;
  }
  DecodeRun DecodedSize(std::span<const uint8_t> file, AvatarClock::time_point deadline,
                        std::optional<PictureSize>& size) override {
    size = decoder_finds ? decoder_finds : ReadPictureSize(file);
    return Ends(size_run, deadline);
  }
  // The picture's pixels tell which file it came from; one whose tell is
  // kNeverEnds is never decoded in time.
  DecodeRun Decode(std::span<const uint8_t> file, int size, AvatarClock::time_point deadline,
                   std::optional<ScaledAvatar>& picture) override {
    ++decodes;
    while_decoding();
    const uint8_t tell = file[file.size() - 2];
    if (tell == kNeverEnds) return Ends(DecodeRun::kPutOff, deadline);
    if (!interrupted && file.back() == kDecodes) {
      picture = ScaledAvatar{size, std::vector<uint32_t>(size * size, tell), 0};
    }
    return Ends(pixels_run, deadline);
  }
};

struct FetchCase {
  const char* name;
  void (*arrange)(FakeSystem&);  // from a server that answers kGood
  AvatarFetchOutcome outcome;
  std::optional<Bytes> kept;  // the stored file afterwards
  seconds took;
  bool stop_while_decoding = false;
};

const Bytes kGood = Png(96, 64, kDecodes);

// A JPEG whose real 30000 x 30000 frame follows `marker`, which has no
// length. A reader that takes the next marker's bytes (FF C0) for one lands
// inside the comment after the frame, on a fake 16 x 16 frame.
Bytes HiddenFrame(std::initializer_list<uint8_t> marker) {
  Bytes jpeg = {0xFF, 0xD8};
  jpeg.insert(jpeg.end(), marker);
  const std::size_t landing = jpeg.size() + 2 + 0xFFC0;
  const Bytes real = {0xFF, 0xC0, 0, 17, 8,    0x75, 0x30, 0x75, 0x30, 3,
                      1,    0x11, 0, 2,  0x11, 1,    3,    0x11, 1};
  jpeg.insert(jpeg.end(), real.begin(), real.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xFE, 0xFF, 0xFF});
  jpeg.resize(jpeg.size() + 0xFFFD, 'c');
  const Bytes fake = {0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16};
  std::copy(fake.begin(), fake.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(landing));
  jpeg.push_back('x');
  jpeg.push_back(kDecodes);
  return jpeg;
}

Bytes Stored(std::string_view url, const Bytes& picture) { return StoredAvatar(url, picture); }

const FetchCase kCases[] = {
    {"stored file trusted",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = Stored(kUrl, kGood);
       s.ages[NameOf(kUrl)] = seconds(3600);
       s.answer = DownloadStep::kFailed;
     },
     AvatarFetchOutcome::kStored, Stored(kUrl, kGood), seconds(0)},
    {"stored file of another address not trusted",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = Stored("http://avatars.test/b.png", kGood);
       s.answer = DownloadStep::kFailed;
     },
     AvatarFetchOutcome::kRequestFailed, std::nullopt, seconds(0)},
    {"stored file without its address not trusted",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = kGood;
       s.answer = DownloadStep::kFailed;
     },
     AvatarFetchOutcome::kRequestFailed, std::nullopt, seconds(0)},
    {"broken stored file fetched again",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = Stored(kUrl, Png(96, 64, 'x'));
       s.piece = 7;
     },
     AvatarFetchOutcome::kDownloaded, Stored(kUrl, kGood), seconds(0)},
    {"server error", [](FakeSystem& s) { s.answer = DownloadStep::kFailed; },
     AvatarFetchOutcome::kRequestFailed, std::nullopt, seconds(0)},
    {"never answers", [](FakeSystem& s) { s.answer_takes = seconds(120); },
     AvatarFetchOutcome::kTimedOut, std::nullopt, kAvatarDownloadLimit},
    {"one byte a second",
     [](FakeSystem& s) {
       s.body.resize(1000, 'x');
       s.piece = 1;
       s.piece_takes = seconds(1);
     },
     AvatarFetchOutcome::kTimedOut, std::nullopt, kAvatarDownloadLimit},
    {"endless body", [](FakeSystem& s) { s.endless = true; }, AvatarFetchOutcome::kBodyTooLarge,
     std::nullopt, seconds(0)},
    {"declared past the cap", [](FakeSystem& s) { s.declared = kAvatarBodyCap + 1; },
     AvatarFetchOutcome::kBodyTooLarge, std::nullopt, seconds(0)},
    {"declared at the cap", [](FakeSystem& s) { s.declared = kAvatarBodyCap; },
     AvatarFetchOutcome::kDownloaded, Stored(kUrl, kGood), seconds(0)},
    {"body of exactly the cap",
     [](FakeSystem& s) { s.body.insert(s.body.begin() + 24, kAvatarBodyCap - kGood.size(), 0); },
     AvatarFetchOutcome::kDownloaded, std::nullopt, seconds(0)},
    {"largest side allowed",
     [](FakeSystem& s) { s.body = Png(kAvatarLargestSide, 1024, kDecodes); },
     AvatarFetchOutcome::kDownloaded, Stored(kUrl, Png(4096, 1024, kDecodes)), seconds(0)},
    {"one pixel", [](FakeSystem& s) { s.body = Png(1, 1, kDecodes); },
     AvatarFetchOutcome::kDownloaded, Stored(kUrl, Png(1, 1, kDecodes)), seconds(0)},
    {"no pixels wide", [](FakeSystem& s) { s.body = Png(0, 64, kDecodes); },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
    {"no pixels high", [](FakeSystem& s) { s.body = Png(64, 0, kDecodes); },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
    {"whole pixel budget", [](FakeSystem& s) { s.body = Png(2048, 2048, kDecodes); },
     AvatarFetchOutcome::kDownloaded, Stored(kUrl, Png(2048, 2048, kDecodes)), seconds(0)},
    {"one row past the pixel budget", [](FakeSystem& s) { s.body = Png(2048, 2049, kDecodes); },
     AvatarFetchOutcome::kPictureTooLarge, std::nullopt, seconds(0)},
    {"20000 x 20000 header", [](FakeSystem& s) { s.body = Png(20000, 20000, kDecodes); },
     AvatarFetchOutcome::kPictureTooLarge, std::nullopt, seconds(0)},
    {"decoder finds a larger picture than the header",
     [](FakeSystem& s) {
       s.decoder_finds = PictureSize{96, kAvatarLargestSide + 1};
     },
     AvatarFetchOutcome::kPictureTooLarge, std::nullopt, seconds(0)},
    {"stopped while decoding", [](FakeSystem&) {}, AvatarFetchOutcome::kStopped, std::nullopt,
     seconds(0), true},
    {"stopped while decoding the stored file",
     [](FakeSystem& s) { s.files[NameOf(kUrl)] = Stored(kUrl, kGood); },
     AvatarFetchOutcome::kStopped, Stored(kUrl, kGood), seconds(0), true},
    {"frame hidden behind a marker without a length",
     [](FakeSystem& s) {
       s.body = HiddenFrame({0xFF, 0x01});
     },
     AvatarFetchOutcome::kPictureTooLarge, std::nullopt, seconds(0)},
    {"decode never ends: not stored, not undecodable",
     [](FakeSystem& s) { s.body = Png(96, 64, kDecodes, kNeverEnds); },
     AvatarFetchOutcome::kDecodePutOff, std::nullopt, kAvatarDecodeLimit},
    {"no thread to read the size", [](FakeSystem& s) { s.size_run = DecodeRun::kPutOff; },
     AvatarFetchOutcome::kDecodePutOff, std::nullopt, kAvatarDecodeLimit},
    {"stored picture's decode put off: the file stays, nothing downloaded",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = Stored(kUrl, kGood);
       s.pixels_run = DecodeRun::kPutOff;
       s.body = Png(96, 64, 'x');
     },
     AvatarFetchOutcome::kDecodePutOff, Stored(kUrl, kGood), kAvatarDecodeLimit},
    {"stopped while reading the size",
     [](FakeSystem& s) {
       s.files[NameOf(kUrl)] = Stored(kUrl, kGood);
       s.size_run = DecodeRun::kStopped;
     },
     AvatarFetchOutcome::kStopped, Stored(kUrl, kGood), seconds(0)},
    {"does not decode", [](FakeSystem& s) { s.body = Png(96, 64, 'x'); },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
    {"not a picture", [](FakeSystem& s) { s.body = Bytes{'<', 'h', 't', 'm', 'l', '>'}; },
     AvatarFetchOutcome::kNotAPicture, std::nullopt, seconds(0)},
    {"a picture's signature, cut short",
     [](FakeSystem& s) { s.body = Bytes(kGood.begin(), kGood.begin() + 5); },
     AvatarFetchOutcome::kUndecodable, std::nullopt, seconds(0)},
};

TEST(AvatarFetcherTest, OneAttemptWithinItsBounds) {
  for (const FetchCase& c : kCases) {
    FakeSystem system;
    system.body = kGood;
    c.arrange(system);
    AvatarFetcher fetcher(system, [] {});
    if (c.stop_while_decoding) {
      system.while_decoding = [&] { fetcher.Stop(); };
    }
    const auto start = system.now;
    const AvatarFetchResult result = fetcher.Fetch(kUrl, kSize);
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.picture.has_value(), c.outcome == AvatarFetchOutcome::kStored ||
                                              c.outcome == AvatarFetchOutcome::kDownloaded)
        << c.name;
    if (result.picture) {
      EXPECT_EQ(result.picture->size, kSize) << c.name;
      EXPECT_EQ(system.ages[NameOf(kUrl)], seconds(0)) << c.name << ": marked as just used";
    }
    EXPECT_EQ(system.now - start, c.took) << c.name;
    EXPECT_LE(system.served, kAvatarBodyCap + 1) << c.name << ": read on past the cap";
    EXPECT_FALSE(system.downloading) << c.name << ": the download is closed";
    std::map<std::string, Bytes> kept;
    if (c.kept) {
      kept[NameOf(kUrl)] = *c.kept;
    }
    if (c.outcome != AvatarFetchOutcome::kDownloaded || c.kept) {
      EXPECT_EQ(system.files, kept) << c.name << ": only a picture that decodes stays";
    }
    if (c.outcome == AvatarFetchOutcome::kPictureTooLarge) {
      EXPECT_EQ(system.decodes, 0) << c.name;
    }
  }
}

// 16 members whose addresses all fail, each drawn (so asked for again)
// every second for 5 minutes.
TEST(AvatarFetcherTest, FailingServerCostsFewRequestsAndLittleBandwidth) {
  const struct {
    const char* name;
    void (*arrange)(FakeSystem&);
    int most_requests;       // per address
    std::size_t most_bytes;  // per request
  } cases[] = {
      {"8 MiB of junk",
       [](FakeSystem& s) {
         s.body = Bytes(kAvatarBodyCap, 'x');
         s.declared = s.body.size();
       },
       2, kAvatarReadPiece},
      {"endless junk", [](FakeSystem& s) { s.endless = true; }, 2, kAvatarReadPiece},
      {"more than the cap declared",
       [](FakeSystem& s) {
         s.body = kGood;
         s.declared = uint64_t{1} << 30;
       },
       2, 0},
      {"never answers", [](FakeSystem& s) { s.answer_takes = seconds(120); }, 3, 0},
      {"refuses", [](FakeSystem& s) { s.answer = DownloadStep::kFailed; }, 4, 0},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    c.arrange(system);
    AvatarFetcher fetcher(system, [] {});
    const auto end = system.now + std::chrono::minutes(5);
    while (system.now < end) {
      for (int i = 0; i < 16; ++i)
        fetcher.Request("http://avatars.test/" + std::to_string(i), kSize);
      ASSERT_TRUE(fetcher.RunOne());
      system.now += seconds(1);
    }
    ASSERT_EQ(system.opens_of.size(), 16u) << c.name;
    for (const auto& [url, opens] : system.opens_of) {
      EXPECT_LE(opens, c.most_requests) << c.name << ": " << url;
    }
    EXPECT_LE(system.most_served, c.most_bytes) << c.name;
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
  system.now = start + kAvatarDownloadLimit + AvatarBackoff::kFirstNetworkRest;
  ASSERT_TRUE(fetcher.Request(kUrl, kSize));

  system.answer_takes = seconds(0);
  system.body = kGood;
  ASSERT_TRUE(fetcher.RunOne());
  EXPECT_EQ(waiting, 1);
  const std::vector<AvatarFetchResult> results = fetcher.TakeResults();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].url, kUrl);
  EXPECT_TRUE(fetcher.TakeResults().empty());

  system.answer = DownloadStep::kFailed;
  system.files.clear();
  ASSERT_TRUE(fetcher.Request(kUrl, kSize)) << "at another size, say";
  ASSERT_TRUE(fetcher.RunOne());
  system.now += AvatarBackoff::kFirstNetworkRest;
  EXPECT_TRUE(fetcher.Request(kUrl, kSize)) << "the success forgot the failure before it";
}

TEST(AvatarFetcherTest, RefusedAddressIsLoggedOnceAndNeverTriedAgain) {
  struct Refused {
    const char* url;
    DownloadStep answer;
    int opens;
    const char* logged;
  };
  const Refused kRefusals[] = {
      {"http://127.1/a.png", DownloadStep::kOk, 0, "avatar_refused reason=non_public_address"},
      {"http://a.localhost/", DownloadStep::kOk, 0, "avatar_refused reason=local_name"},
      {kUrl, DownloadStep::kRefused, 1, "avatar_refused reason=insecure_redirect"},
  };
  for (const Refused& r : kRefusals) {
    FakeSystem system;
    system.answer = r.answer;
    if (r.opens == 0) {
      system.files[NameOf(r.url)] = Stored(r.url, kGood);
    }
    AvatarFetcher fetcher(system, [] {});
    ASSERT_TRUE(fetcher.Request(r.url, kSize)) << r.url;
    ASSERT_TRUE(fetcher.RunOne());
    EXPECT_EQ(system.opens, r.opens) << r.url;
    EXPECT_EQ(system.decodes, 0) << r.url << ": not even the stored picture";
    EXPECT_EQ(system.logged, std::vector<std::string>{r.logged}) << r.url;
    system.now += std::chrono::hours(24);
    EXPECT_FALSE(fetcher.Request(r.url, kSize)) << r.url;
    EXPECT_TRUE(fetcher.TakeResults().empty()) << r.url;
  }
}

TEST(AvatarFetcherTest, OnlyTheNewestRefusalsAreRemembered) {
  FakeSystem system;
  system.answer = DownloadStep::kRefused;
  AvatarFetcher fetcher(system, [] {});
  const auto url = [](int i) { return "http://avatars.test/" + std::to_string(i); };
  for (int i = 0; i <= 1024; ++i) {
    ASSERT_TRUE(fetcher.Request(url(i), kSize));
    ASSERT_TRUE(fetcher.RunOne());
  }
  ASSERT_TRUE(fetcher.Request(url(0), kSize)) << "forgotten";
  ASSERT_TRUE(fetcher.RunOne());  // refused again, and the next oldest forgotten
  EXPECT_TRUE(fetcher.Request(url(1), kSize));
  EXPECT_FALSE(fetcher.Request(url(2), kSize));
  EXPECT_EQ(system.logged.size(), 1026u);
}

TEST(AvatarFetcherTest, DecodeThatNeverEndsHoldsNoOtherMemberBack) {
  FakeSystem system;
  AvatarFetcher fetcher(system, [] {});
  const std::string never = "http://avatars.test/never.png";
  for (const std::string& url : {never, std::string(kUrl), std::string(kTwinA)}) {
    ASSERT_TRUE(fetcher.Request(url, kSize));
  }
  for (uint8_t tell : {kNeverEnds, uint8_t{'b'}, uint8_t{'c'}}) {
    system.body = Png(96, 64, kDecodes, tell);
    system.served = 0;
    ASSERT_TRUE(fetcher.RunOne());
  }
  const std::vector<AvatarFetchResult> results = fetcher.TakeResults();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].url, kUrl);
  EXPECT_EQ(results[1].url, kTwinA);
  EXPECT_FALSE(fetcher.Request(never, kSize)) << "put off: tried again later";
  system.now += AvatarBackoff::kFirstNetworkRest;
  EXPECT_TRUE(fetcher.Request(never, kSize));
}

TEST(AvatarFetcherTest, WorkerTidiesFetchesWhatIsAskedAndStops) {
  FakeSystem system;
  system.files[NameOf(kUrl)] = Stored(kUrl, kGood);
  system.files[OldAvatarFileName(kUrl)] = kGood;
  std::mutex mutex;
  std::condition_variable woken;
  bool waiting = false;
  AvatarFetcher fetcher(system, [&] {
    std::lock_guard lock(mutex);
    waiting = true;
    woken.notify_one();
  });
  fetcher.Start();
  ASSERT_TRUE(fetcher.Request(kUrl, kSize));
  std::unique_lock lock(mutex);
  woken.wait(lock, [&] { return waiting; });
  lock.unlock();
  fetcher.Stop();  // the worker idles on its queue again
  ASSERT_EQ(fetcher.TakeResults().size(), 1u);
  EXPECT_EQ(system.files.size(), 1u) << "the old name went when the worker started";
  EXPECT_FALSE(fetcher.Request("http://avatars.test/late.png", kSize)) << "stopped";
}

TEST(AvatarFetcherTest, FullQueueDropsTheOldestRequest) {
  FakeSystem system;
  AvatarFetcher fetcher(system, [] {});
  for (int i = 0; i <= 64; ++i) {
    ASSERT_TRUE(fetcher.Request("http://avatars.test/" + std::to_string(i), kSize));
  }
  EXPECT_TRUE(fetcher.Request("http://avatars.test/0", kSize)) << "dropped, so asked again";
  EXPECT_FALSE(fetcher.Request("http://avatars.test/2", kSize)) << "still waiting";
  ASSERT_TRUE(fetcher.RunOne());
  EXPECT_EQ(system.opens_of, (std::map<std::string, int>{{"http://avatars.test/2", 1}}))
      << "0 and 1 were dropped from the front";
}

TEST(AvatarFetcherTest, CollidingNamesEachShowTheirOwnPicture) {
  ASSERT_EQ(OldAvatarFileName(kTwinA), OldAvatarFileName(kTwinB));
  FakeSystem system;
  AvatarFetcher fetcher(system, [] {});
  const auto fetch = [&](const char* url, uint8_t tell) {
    system.body = Png(96, 64, kDecodes, tell);
    system.served = 0;
    const AvatarFetchResult result = fetcher.Fetch(url, kSize);
    return result.picture ? result.picture->pixels[0] : 0u;
  };
  EXPECT_EQ(fetch(kTwinA, 'a'), 'a');
  EXPECT_EQ(fetch(kTwinB, 'b'), 'b') << "not A's stored file";
  EXPECT_EQ(fetch(kTwinA, 'a'), 'a') << "not B's stored file";
  EXPECT_EQ(system.opens, 3);
}

TEST(AvatarFetcherTest, ThousandAddressesLeaveTheFolderWithinItsBounds) {
  FakeSystem system;
  Bytes large = Png(96, 64, kDecodes);
  large.insert(large.end() - 2, 300u << 10, 0);  // 300 KiB: the byte bound comes first
  system.body = large;
  AvatarFetcher fetcher(system, [] {});
  uint64_t most_bytes = 0;
  for (int i = 0; i < 1000; ++i) {
    for (auto& [name, age] : system.ages) age += seconds(1);
    system.served = 0;
    ASSERT_EQ(fetcher.Fetch("http://avatars.test/" + std::to_string(i), kSize).outcome,
              AvatarFetchOutcome::kDownloaded);
    uint64_t bytes = 0;
    for (const auto& [name, file] : system.files) bytes += file.size();
    most_bytes = std::max(most_bytes, bytes);
    ASSERT_LE(system.files.size(), kMostStoredAvatars);
  }
  EXPECT_LE(most_bytes, kMostStoredAvatarBytes);
  EXPECT_TRUE(system.files.contains(NameOf("http://avatars.test/999"))) << "the newest stays";
  EXPECT_FALSE(system.files.contains(NameOf("http://avatars.test/0")));
}

TEST(AvatarFolderTest, TidyRemovesOldNamesStalePartsAndTheLeastRecentlyUsed) {
  const auto picture = [](int i, uint64_t bytes) {
    return AvatarFolderEntry{"v_" + std::to_string(i) + ".img", bytes, seconds(i)};
  };
  std::vector<AvatarFolderEntry> files = {{"a_1a47e90b.img", 10, seconds(0)},
                                          {"v_x.img.part", 10, kStalePartialAge},
                                          {"v_y.img.part", 10, seconds(59)},
                                          {"notes.txt", 10, seconds(99999)},
                                          picture(1000, kMostStoredAvatarBytes - 100)};
  for (int i = 0; i < static_cast<int>(kMostStoredAvatars); ++i) files.push_back(picture(i, 1));
  const std::vector<std::string> removed = PlanAvatarTidy(files);
  // 256 pictures of 1 byte fit; the 64 MiB one, used longest ago, is both
  // the 257th and past the bytes.
  EXPECT_EQ(removed, (std::vector<std::string>{"a_1a47e90b.img", "v_x.img.part", "v_1000.img"}));
  EXPECT_EQ(StoredAvatar("ab", Bytes{7}), (Bytes{2, 0, 0, 0, 'a', 'b', 7}));
  EXPECT_EQ(StoredPicture(Bytes{2, 0, 0, 0, 'a', 'b', 7}, "ab")->size(), 1u);
  EXPECT_FALSE(StoredPicture(Bytes{2, 0, 0, 0, 'a', 'c', 7}, "ab"));
  EXPECT_FALSE(StoredPicture(Bytes{0xFF, 0xFF, 0xFF, 0, 'a', 'b', 7}, "ab")) << "past the end";
  files[4].age = seconds(0);
  EXPECT_EQ(PlanAvatarTidy(files).size(), 2u + 156u)
      << "the large one now used last: 100 small ones still fit beside it";
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
               {Bytes(kGood.begin(), kGood.begin() + 24), {{96, 64}}},
               {Bytes(gif.begin(), gif.begin() + 17), std::nullopt},  // ends in a sub-block
               {Bytes(jpeg.begin(), jpeg.begin() + 12), std::nullopt},
               // Markers a decoder steps over without a length.
               {HiddenFrame({0xFF, 0x01}), {{30000, 30000}}},  // TEM
               {HiddenFrame({0xFF, 0xD0}), {{30000, 30000}}},  // RST0
               {HiddenFrame({0xFF, 0xD7}), {{30000, 30000}}},  // RST7
               {HiddenFrame({0xFF, 0x00}), {{30000, 30000}}},  // stuffed zero
               // No frame before the scan, the end or stray bytes.
               {{0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16}, std::nullopt},
               {{0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16}, std::nullopt},
               {{0xFF, 0xD8, 0x00, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16}, std::nullopt},
               {{0x00, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16}, std::nullopt},
               {{0xFF, 0xD8, 0xFF, 0xFE, 0, 2, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 32}, {{32, 16}}},
               {{0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 16}, std::nullopt}};
  for (const auto& c : cases) {
    const std::optional<PictureSize> size = ReadPictureSize(c.file);
    ASSERT_EQ(size.has_value(), c.size.has_value()) << c.file.size();
    if (size) {
      EXPECT_EQ(std::pair(size->width, size->height), *c.size);
    }
  }
}

}  // namespace
