#include "overlay/avatar/avatar_fetcher.h"

#include <algorithm>
#include <utility>

namespace {

// The longest address a stored file may record, with its length.
constexpr std::size_t kStoredAddressRoom = 64u << 10;

bool Failed(AvatarFetchOutcome outcome) {
  return outcome != AvatarFetchOutcome::kStored && outcome != AvatarFetchOutcome::kDownloaded &&
         outcome != AvatarFetchOutcome::kStopped && outcome != AvatarFetchOutcome::kRefused;
}

// Why a picture of this size is not decoded, if it is not.
std::optional<AvatarFetchOutcome> SizeRefusal(const std::optional<PictureSize>& size) {
  if (!size || size->width == 0 || size->height == 0) {
    return AvatarFetchOutcome::kUndecodable;
  }
  if (size->width > kAvatarLargestSide || size->height > kAvatarLargestSide) {
    return AvatarFetchOutcome::kPictureTooLarge;
  }
  return std::nullopt;
}

}  // namespace

AvatarFetcher::AvatarFetcher(AvatarFetchSystem& system, std::function<void()> results_waiting)
    : system_(system), results_waiting_(std::move(results_waiting)) {}

AvatarFetcher::~AvatarFetcher() { Stop(); }

void AvatarFetcher::Start() {
  if (!worker_.joinable()) {
    worker_ = std::thread([this] { Run(); });
  }
}

void AvatarFetcher::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    stop_requested_ = true;
  }
  wake_.notify_all();
  system_.Interrupt();
  if (worker_.joinable()) {
    worker_.join();
  }
}

bool AvatarFetcher::Request(const std::string& url, int size) {
  if (!IsFetchableAvatarUrl(url)) {
    return false;
  }
  const AvatarClock::time_point now = system_.Now();
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || pending_.contains(url) || refused_.contains(url) ||
        !backoff_.MayFetch(url, now)) {
      return false;
    }
    if (waiting_.size() == kMostWaiting) {
      // The oldest request is the likeliest to be stale; it is asked again
      // when its member is still drawn.
      pending_.erase(waiting_.front().first);
      waiting_.pop_front();
    }
    waiting_.emplace_back(url, size);
    pending_.insert(url);
  }
  wake_.notify_one();
  return true;
}

std::vector<AvatarFetchResult> AvatarFetcher::TakeResults() {
  std::lock_guard lock(mutex_);
  return std::exchange(results_, {});
}

void AvatarFetcher::Run() {
  TidyFolder();
  while (true) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    }
    if (!RunOne()) {
      return;
    }
  }
}

bool AvatarFetcher::RunOne() {
  std::unique_lock lock(mutex_);
  if (stopping_ || waiting_.empty()) {
    return !stopping_;
  }
  auto [url, size] = std::move(waiting_.front());
  waiting_.pop_front();
  lock.unlock();
  AvatarFetchResult result = Fetch(url, size);
  const AvatarClock::time_point ended = system_.Now();
  lock.lock();
  pending_.erase(url);
  if (result.outcome == AvatarFetchOutcome::kStopped) {
    return false;
  }
  if (result.outcome == AvatarFetchOutcome::kRefused) {
    RecordRefusal(result);
    return true;
  }
  if (Failed(result.outcome)) {
    backoff_.RecordFailure(url, ended);
    return true;
  }
  backoff_.RecordSuccess(url);
  if (!result.picture) {
    return true;
  }
  const bool first = results_.empty();
  results_.push_back(std::move(result));
  lock.unlock();
  if (first) {
    results_waiting_();
  }
  return true;
}

void AvatarFetcher::RecordRefusal(const AvatarFetchResult& result) {
  if (!refused_.insert(result.url).second) {
    return;
  }
  refused_order_.push_back(result.url);
  if (refused_order_.size() > kMostRefused) {
    refused_.erase(refused_order_.front());
    refused_order_.pop_front();
  }
  system_.Log(std::string(kAvatarRefusedLogWord) +
              " reason=" + std::string(AvatarRefusalWord(result.refusal)));
}

AvatarFetchResult AvatarFetcher::Fetch(const std::string& url, int size) {
  AvatarFetchResult result{url, AvatarFetchOutcome::kStopped, std::nullopt};
  // Checked before the store too: a picture from an address now refused is
  // not shown again.
  const AvatarAddressCheck checked = CheckAvatarAddress(url);
  if (const auto* refused = std::get_if<AvatarRefusal>(&checked)) {
    result.outcome = AvatarFetchOutcome::kRefused;
    result.refusal = *refused;
    return result;
  }
  const std::string name = AvatarFileName(system_.Sha256(url));
  if (Stopping()) {
    return result;
  }
  if ((result.picture = FromStore(url, name, size))) {
    result.outcome = AvatarFetchOutcome::kStored;
    return result;
  }
  if (Stopping()) {
    return result;
  }
  std::vector<uint8_t> body;
  result.outcome = Download(url, body);
  if (result.outcome == AvatarFetchOutcome::kRefused) {
    result.refusal = system_.OpenRefusal();
  }
  if (result.outcome != AvatarFetchOutcome::kDownloaded || Stopping()) {
    return result;
  }
  result.picture = DecodeChecked(body, size, result.outcome);
  if (Stopping()) {
    return AvatarFetchResult{url, AvatarFetchOutcome::kStopped, std::nullopt};
  }
  if (result.picture) {
    Store(url, name, body);
  }
  return result;
}

std::optional<ScaledAvatar> AvatarFetcher::FromStore(const std::string& url,
                                                     const std::string& name, int size) {
  const std::optional<std::vector<uint8_t>> stored =
      system_.ReadFile(name, kAvatarBodyCap + kStoredAddressRoom);
  if (!stored) {
    return std::nullopt;
  }
  if (const auto picture = StoredPicture(*stored, url); picture && !Stopping()) {
    AvatarFetchOutcome failure{};
    if (std::optional<ScaledAvatar> decoded = DecodeChecked(*picture, size, failure)) {
      system_.TouchFile(name);
      return decoded;
    }
    if (Stopping()) {
      return std::nullopt;
    }
  }
  // Another address's picture, or useless as it is; a new download mends it.
  system_.RemoveFile(name);
  return std::nullopt;
}

void AvatarFetcher::Store(const std::string& url, const std::string& name,
                          std::span<const uint8_t> body) {
  // Written aside and renamed, so that a file under the real name is whole.
  const std::string partial = name + kPartialSuffix;
  if (!system_.WriteFile(partial, StoredAvatar(url, body)) || Stopping() ||
      !system_.RenameFile(partial, name)) {
    system_.RemoveFile(partial);
    return;
  }
  TidyFolder();
}

void AvatarFetcher::TidyFolder() {
  for (const std::string& name : PlanAvatarTidy(system_.ListFiles())) {
    if (Stopping()) {
      return;
    }
    system_.RemoveFile(name);
  }
}

AvatarFetchOutcome AvatarFetcher::Download(const std::string& url, std::vector<uint8_t>& body) {
  const AvatarClock::time_point deadline = system_.Now() + kAvatarDownloadLimit;
  DownloadStep step = system_.Open(url, deadline);
  std::vector<uint8_t> piece;
  while (step == DownloadStep::kOk && system_.Now() < deadline) {
    // One byte past the cap is enough to know the body is too large.
    const std::size_t room = kAvatarBodyCap + 1 - body.size();
    step = system_.Read(piece, std::min(kAvatarReadPiece, room), deadline);
    if (step != DownloadStep::kOk) {
      break;
    }
    if (piece.empty()) {
      system_.CloseDownload();
      return AvatarFetchOutcome::kDownloaded;
    }
    if (body.size() + piece.size() > body.capacity()) {
      // Grown by doubling, but never past what the cap can hold.
      body.reserve(
          std::min(std::max(2 * body.capacity(), body.size() + piece.size()), kAvatarBodyCap + 1));
    }
    body.insert(body.end(), piece.begin(), piece.end());
    if (body.size() > kAvatarBodyCap) {
      system_.CloseDownload();
      return AvatarFetchOutcome::kBodyTooLarge;
    }
  }
  system_.CloseDownload();
  if (step == DownloadStep::kStopped) {
    return AvatarFetchOutcome::kStopped;
  }
  if (step == DownloadStep::kRefused) {
    return AvatarFetchOutcome::kRefused;
  }
  return system_.Now() >= deadline ? AvatarFetchOutcome::kTimedOut
                                   : AvatarFetchOutcome::kRequestFailed;
}

std::optional<ScaledAvatar> AvatarFetcher::DecodeChecked(std::span<const uint8_t> file, int size,
                                                         AvatarFetchOutcome& failure) {
  // The header walk first, then the decoder itself, which might find
  // another size; neither may exceed the limit.
  if (const std::optional<AvatarFetchOutcome> refused = SizeRefusal(ReadPictureSize(file))) {
    failure = *refused;
    return std::nullopt;
  }
  if (const std::optional<AvatarFetchOutcome> refused = SizeRefusal(system_.DecodedSize(file))) {
    failure = *refused;
    return std::nullopt;
  }
  std::optional<ScaledAvatar> picture = system_.Decode(file, size);
  if (!picture) {
    failure = AvatarFetchOutcome::kUndecodable;
  }
  return picture;
}
