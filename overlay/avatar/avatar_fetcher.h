#ifndef VELMO_OVERLAY_AVATAR_AVATAR_FETCHER_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_FETCHER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "overlay/avatar/avatar_backoff.h"
#include "overlay/avatar/avatar_fetch_policy.h"
#include "overlay/avatar/avatar_folder.h"
#include "overlay/avatar/avatar_naming.h"
#include "overlay/avatar/picture_size.h"

using AvatarClock = AvatarBackoff::Clock;

// A picture decoded and scaled once to the square it is drawn in:
// premultiplied ARGB, `size` × `size`, rows top to bottom.
struct ScaledAvatar {
  int size = 0;
  std::vector<uint32_t> pixels;
  uint64_t serial = 0;  // told apart from earlier pictures once in memory; never 0 there
};

inline constexpr std::chrono::seconds kAvatarDownloadLimit{10};
// Logged once for each address refused, with reason=<AvatarRefusalWord>.
inline constexpr char kAvatarRefusedLogWord[] = "avatar_refused";
inline constexpr std::size_t kAvatarBodyCap = 8u << 20;
inline constexpr uint32_t kAvatarLargestSide = 4096;
inline constexpr std::size_t kAvatarReadPiece = 64u << 10;

// kRefused: the address, or one it redirected to, may not be reached.
enum class DownloadStep { kOk, kFailed, kStopped, kRefused };

// What a fetch needs from the system: a clock, one download at a time, the
// avatar folder's files (by name), a digest and a decoder. Network calls
// return by their deadline at the latest, and at once, with kStopped, after
// Interrupt; a decode after Interrupt soon returns none.
class AvatarFetchSystem {
 public:
  virtual ~AvatarFetchSystem() = default;
  virtual AvatarClock::time_point Now() = 0;
  // Sends the request; kOk once a successful answer's headers are in.
  virtual DownloadStep Open(const std::string& url, AvatarClock::time_point deadline) = 0;
  // The next piece of the body, at most `most` bytes; empty at its end.
  virtual DownloadStep Read(std::vector<uint8_t>& piece, std::size_t most,
                            AvatarClock::time_point deadline) = 0;
  virtual void CloseDownload() = 0;
  // From any thread: ends the running and every later network call.
  virtual void Interrupt() = 0;
  // None when the file is missing or larger than `most` bytes.
  virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& name,
                                                       std::size_t most) = 0;
  virtual bool WriteFile(const std::string& name, std::span<const uint8_t> bytes) = 0;
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  virtual void RemoveFile(const std::string& name) = 0;
  // Marks a stored file as just used.
  virtual void TouchFile(const std::string& name) = 0;
  virtual std::vector<AvatarFolderEntry> ListFiles() = 0;
  virtual AvatarDigest Sha256(std::string_view bytes) = 0;
  // The size the decoder itself finds in the file, read without decoding
  // its pixels.
  virtual std::optional<PictureSize> DecodedSize(std::span<const uint8_t> file) = 0;
  // Called only for a file whose header, and whose decoder, report an
  // acceptable size.
  virtual std::optional<ScaledAvatar> Decode(std::span<const uint8_t> file, int size) = 0;
  // Why the last Open was refused.
  virtual AvatarRefusal OpenRefusal() { return AvatarRefusal::kNonPublicAddress; }
  // A line for the log, from the worker: it must not wait for the disk.
  virtual void Log(const std::string& line) { static_cast<void>(line); }
};

enum class AvatarFetchOutcome {
  kStored,  // the file from an earlier download decodes
  kDownloaded,
  kRequestFailed,  // no connection, or an answer other than success
  kTimedOut,
  kBodyTooLarge,
  kPictureTooLarge,
  kUndecodable,
  kStopped,
  kRefused,  // never fetched again (see AvatarRefusal)
};

struct AvatarFetchResult {
  std::string url;
  AvatarFetchOutcome outcome = AvatarFetchOutcome::kStopped;
  std::optional<ScaledAvatar> picture;
  AvatarRefusal refusal{};  // when kRefused
};

// Fetches avatar pictures one address at a time on its own thread, within a
// time limit, a body cap and a picture size limit, and keeps a failed
// address back for a while after its attempt ended. Request and TakeResults
// are for the owner's thread; `results_waiting` is called on the worker when
// results start waiting.
class AvatarFetcher {
 public:
  AvatarFetcher(AvatarFetchSystem& system, std::function<void()> results_waiting);
  ~AvatarFetcher();

  AvatarFetcher(const AvatarFetcher&) = delete;
  AvatarFetcher& operator=(const AvatarFetcher&) = delete;

  // The worker first tidies the folder.
  void Start();
  // Returns once the worker has ended, whatever step it was in: it looks for
  // the stop between steps, and each step ends soon after Interrupt.
  void Stop();

  // Queues `url` for a picture `size` pixels wide, unless it is not an
  // http(s) address, already waiting or running, held back after a failure
  // or refused; true when queued.
  bool Request(const std::string& url, int size);
  std::vector<AvatarFetchResult> TakeResults();

  // Fetches the oldest waiting address on the calling thread (the worker's
  // step); false once stopping.
  bool RunOne();
  // One attempt, on the calling thread.
  AvatarFetchResult Fetch(const std::string& url, int size);
  // Brings the folder within its bounds (the worker's first step, and after
  // each picture stored).
  void TidyFolder();

 private:
  static constexpr std::size_t kMostWaiting = 64;
  // Refused addresses remembered; past that the oldest may be tried (and
  // refused) again.
  static constexpr std::size_t kMostRefused = 1024;

  void Run();
  // With the lock held: remembers the refusal and logs it, once.
  void RecordRefusal(const AvatarFetchResult& result);
  bool Stopping() const { return stop_requested_.load(); }
  // The stored picture when the file records this address and decodes.
  std::optional<ScaledAvatar> FromStore(const std::string& url, const std::string& name, int size);
  void Store(const std::string& url, const std::string& name, std::span<const uint8_t> body);
  AvatarFetchOutcome Download(const std::string& url, std::vector<uint8_t>& body);
  std::optional<ScaledAvatar> DecodeChecked(std::span<const uint8_t> file, int size,
                                            AvatarFetchOutcome& failure);

  AvatarFetchSystem& system_;
  std::function<void()> results_waiting_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> stop_requested_{false};  // stopping_, read between steps
  std::deque<std::pair<std::string, int>> waiting_;
  std::unordered_set<std::string> pending_;  // waiting or running
  AvatarBackoff backoff_;
  std::unordered_set<std::string> refused_;
  std::deque<std::string> refused_order_;
  std::vector<AvatarFetchResult> results_;
  std::thread worker_;
};

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_FETCHER_H_
