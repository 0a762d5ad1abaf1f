#ifndef VELMO_OVERLAY_AVATAR_FETCHER_H_
#define VELMO_OVERLAY_AVATAR_FETCHER_H_

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
#include <thread>
#include <unordered_set>
#include <vector>

#include "overlay/avatar_backoff.h"

using AvatarClock = AvatarBackoff::Clock;

// A picture decoded and scaled once to the square it is drawn in:
// premultiplied ARGB, `size` × `size`, rows top to bottom.
struct ScaledAvatar {
  int size = 0;
  std::vector<uint32_t> pixels;
};

inline constexpr std::chrono::seconds kAvatarDownloadLimit{10};
inline constexpr std::size_t kAvatarBodyCap = 8u << 20;
inline constexpr uint32_t kAvatarLargestSide = 4096;
inline constexpr std::size_t kAvatarReadPiece = 64u << 10;

enum class DownloadStep { kOk, kFailed, kStopped };

// What a fetch needs from the system: a clock, one download at a time, the
// avatar folder's files (by name) and a decoder. Network calls return by
// their deadline at the latest, and at once, with kStopped, after Interrupt.
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
  // Called only for a file whose header declares an acceptable size.
  virtual std::optional<ScaledAvatar> Decode(std::span<const uint8_t> file, int size) = 0;
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
};

struct AvatarFetchResult {
  std::string url;
  AvatarFetchOutcome outcome = AvatarFetchOutcome::kStopped;
  std::optional<ScaledAvatar> picture;
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

  void Start();
  // Returns once the worker has ended, a download in flight included.
  void Stop();

  // Queues `url` for a picture `size` pixels wide, unless it is not an
  // http(s) address, already waiting or running, or held back after a
  // failure; true when queued.
  bool Request(const std::string& url, int size);
  std::vector<AvatarFetchResult> TakeResults();

  // Fetches the oldest waiting address on the calling thread (the worker's
  // step); false once stopping.
  bool RunOne();
  // One attempt, on the calling thread.
  AvatarFetchResult Fetch(const std::string& url, int size);

 private:
  static constexpr std::size_t kMostWaiting = 64;

  void Run();
  AvatarFetchOutcome Download(const std::string& url, std::vector<uint8_t>& body);
  std::optional<ScaledAvatar> DecodeChecked(std::span<const uint8_t> file, int size,
                                            AvatarFetchOutcome& failure);

  AvatarFetchSystem& system_;
  std::function<void()> results_waiting_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::deque<std::pair<std::string, int>> waiting_;
  std::unordered_set<std::string> pending_;  // waiting or running
  AvatarBackoff backoff_;
  std::vector<AvatarFetchResult> results_;
  std::thread worker_;
};

#endif  // VELMO_OVERLAY_AVATAR_FETCHER_H_
