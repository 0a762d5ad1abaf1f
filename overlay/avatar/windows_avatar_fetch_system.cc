#include "overlay/avatar/windows_avatar_fetch_system.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "base/wide_text.h"
#include "diagnostics/app_log.h"
#include "overlay/avatar/avatar_naming.h"
#include "overlay/avatar/public_host_resolver.h"
#include "overlay/avatar/wic_picture_decoder.h"

// What one download shares with WinHTTP's callbacks, which may still arrive
// after the download was given up (WinHTTP under Wine only lets go of a
// connection once its pending call returns): owned by the download and by
// the request handle, freed when both are done.
struct DownloadContext {
  std::atomic<int> owners{1};
  ScopedKernelHandle completed = MakeEvent(false);
  bool failed = false;
  DWORD bytes = 0;
  std::wstring connected_to;  // the server's address, once connected

  std::vector<uint8_t> buffer = std::vector<uint8_t>(kAvatarReadPiece);
};

namespace {

constexpr wchar_t kUserAgent[] = L"Velmo";
constexpr DWORD kTempPathCapacity = MAX_PATH;
constexpr DWORD kSuccessFirst = 200;
constexpr DWORD kSuccessEnd = 300;
constexpr DWORD kCallbackEvents = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS |
                                  WINHTTP_CALLBACK_FLAG_HANDLES |
                                  WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER;
constexpr DWORD kRedirects[] = {301, 302, 303, 307, 308};

// How this request reaches its server, as far as WinHTTP tells: through a
// named proxy (which resolves the name itself), directly, or either (the
// system's automatic proxy, or a bypass list).
enum class Route { kProxy, kDirect, kEither };

Route RouteOf(HINTERNET request) {
  WINHTTP_PROXY_INFO info{};
  DWORD size = sizeof(info);
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_PROXY, &info, &size)) {
    return Route::kEither;
  }
  const bool bypass = info.lpszProxyBypass != nullptr && *info.lpszProxyBypass != 0;
  GlobalFree(info.lpszProxy);
  GlobalFree(info.lpszProxyBypass);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY) {
    return Route::kDirect;
  }
  return info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !bypass ? Route::kProxy
                                                                         : Route::kEither;
}

std::string Narrow(const std::wstring& wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(length, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}

// The Location of a redirect; empty when it has none.
std::wstring LocationOf(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return {};
  }
  std::wstring location(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                           location.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  location.resize(size / sizeof(wchar_t));
  return location;
}

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { FindClose(handle); }
};

void Release(DownloadContext* context) {
  if (context->owners.fetch_sub(1) == 1) {
    delete context;
  }
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR value, DWORD status, LPVOID info, DWORD length) {
  auto* context = reinterpret_cast<DownloadContext*>(value);
  if (context == nullptr) {
    return;
  }
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      context->bytes = *static_cast<const DWORD*>(info);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      context->bytes = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      context->failed = true;
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
      // The address as text ("203.0.113.7"; Wine 8 sends it too), read by
      // the download once the send completes, after this.
      if (info != nullptr) {
        context->connected_to = static_cast<const wchar_t*>(info);
      }
      return;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      Release(context);
      return;
    default:
      return;
  }
  SetEvent(context->completed.get());
}

DWORD RemainingMs(AvatarClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - AvatarClock::now());
  return static_cast<DWORD>(std::max<long long>(left.count(), 0));
}

std::wstring AvatarFolder() {
  wchar_t temp[kTempPathCapacity];
  const DWORD length = GetTempPathW(kTempPathCapacity, temp);
  if (length == 0 || length >= kTempPathCapacity) {
    return {};
  }
  return std::wstring(temp, length) + Utf8ToWide(kAvatarFolderName);
}

}  // namespace

WindowsAvatarFetchSystem::WindowsAvatarFetchSystem() : folder_(AvatarFolder()) {
  BCRYPT_ALG_HANDLE sha256 = nullptr;
  if (BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    sha256_.reset(sha256);
  }
  session_ = proxy_.OpenSession(kUserAgent);
  if (session_.valid()) {
    WinHttpSetStatusCallback(session_.get(), OnStatus, kCallbackEvents, 0);
  }
}

WindowsAvatarFetchSystem::~WindowsAvatarFetchSystem() { CloseDownload(); }

AvatarClock::time_point WindowsAvatarFetchSystem::Now() { return AvatarClock::now(); }

void WindowsAvatarFetchSystem::Interrupt() { SetEvent(stop_.get()); }

DownloadStep WindowsAvatarFetchSystem::Complete(AvatarClock::time_point deadline) {
  const HANDLE waits[] = {context_->completed.get(), stop_.get()};
  switch (WaitForMultipleObjects(2, waits, FALSE, RemainingMs(deadline))) {
    case WAIT_OBJECT_0:
      return context_->failed ? DownloadStep::kFailed : DownloadStep::kOk;
    case WAIT_OBJECT_0 + 1:
      return DownloadStep::kStopped;
    default:
      return DownloadStep::kFailed;
  }
}

DownloadStep WindowsAvatarFetchSystem::Refuse(AvatarRefusal refusal) {
  CloseDownload();
  refusal_ = refusal;
  return DownloadStep::kRefused;
}

void WindowsAvatarFetchSystem::Log(const std::string& line) { AppendLogNonBlocking(line.c_str()); }

// WinHTTP follows no redirect itself: each hop is checked as the first was.
DownloadStep WindowsAvatarFetchSystem::Open(const std::string& url,
                                            AvatarClock::time_point deadline) {
  CloseDownload();
  if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) {
    return DownloadStep::kStopped;
  }
  AvatarAddressCheck checked = CheckAvatarAddress(url);
  if (const auto* refused = std::get_if<AvatarRefusal>(&checked)) {
    return Refuse(*refused);
  }
  AvatarRoute route(std::move(std::get<AvatarAddress>(checked)));
  while (true) {
    std::string location;
    const DownloadStep step = OpenHop(route.current(), deadline, location);
    if (step != DownloadStep::kOk || location.empty()) {
      return step;
    }
    CloseDownload();
    if (const std::optional<AvatarRefusal> refused = route.Follow(location)) {
      return Refuse(*refused);
    }
  }
}

DownloadStep WindowsAvatarFetchSystem::OpenHop(const AvatarAddress& hop,
                                               AvatarClock::time_point deadline,
                                               std::string& location) {
  if (session_.get() == nullptr) {
    return DownloadStep::kFailed;
  }
  const std::wstring address = Utf8ToWide(hop.Url());
  const std::wstring host = Utf8ToWide(hop.host);
  const std::wstring path = Utf8ToWide(hop.path);
  const INTERNET_PORT port = hop.port;
  connection_.reset(WinHttpConnect(session_.get(), host.c_str(), port, 0));
  if (connection_.get() == nullptr) {
    return DownloadStep::kFailed;
  }
  const DWORD secure = hop.secure ? WINHTTP_FLAG_SECURE : 0;
  request_.reset(WinHttpOpenRequest(connection_.get(), L"GET", path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (request_.get() == nullptr) {
    return DownloadStep::kFailed;
  }
  if (!proxy_.Apply(request_.get(), address)) {
    return DownloadStep::kFailed;
  }
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  const bool policy_set =
      WinHttpSetOption(request_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
  if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects,
                        sizeof(no_redirects)) &&
      !policy_set) {
    return DownloadStep::kFailed;
  }
  // A proxy resolves the name itself, and reaches what it reaches; only a
  // direct connection is resolved here. Where either may be taken, a name
  // that does not resolve here is left to the proxy.
  const Route route = RouteOf(request_.get());
  if (!hop.literal && route != Route::kProxy) {
    switch (ResolvePublicHost(hop.host, deadline, stop_.get())) {
      case HostResolution::kPublic:
        break;
      case HostResolution::kNonPublic:
        return Refuse(AvatarRefusal::kNonPublicAddress);
      case HostResolution::kStopped:
        return DownloadStep::kStopped;
      case HostResolution::kFailed:
        if (route == Route::kDirect) {
          return DownloadStep::kFailed;
        }
        break;
    }
  }
  context_ = new DownloadContext;
  auto value = reinterpret_cast<DWORD_PTR>(context_);
  // The request owns a share only once it holds the context; without it,
  // nothing may hand the context over (the send below would).
  if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &value, sizeof(value))) {
    return DownloadStep::kFailed;
  }
  ++context_->owners;  // released by the handle's closing callback
  // Every wait below also ends at the deadline; these bound how long WinHTTP
  // itself keeps a given-up connection. The wait for the answer's headers
  // has its own option, without limit by default.
  DWORD ms = RemainingMs(deadline);
  const int limit = static_cast<int>(ms);
  WinHttpSetTimeouts(request_.get(), limit, limit, limit, limit);
  WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &ms, sizeof(ms));

  if (!WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                          0, 0, value)) {
    return DownloadStep::kFailed;
  }
  if (DownloadStep step = Complete(deadline); step != DownloadStep::kOk) {
    return step;
  }
  // The name may have been resolved anew for the connection (DNS rebinding).
  if (route == Route::kDirect && !context_->connected_to.empty()) {
    std::string text = Narrow(context_->connected_to);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
      text = text.substr(1, text.size() - 2);
    }
    const std::optional<IpAddress> peer = ParseIpAddress(text);
    if (!peer || !IsPublicAddress(*peer)) {
      return Refuse(AvatarRefusal::kNonPublicAddress);
    }
  }
  if (!WinHttpReceiveResponse(request_.get(), nullptr)) {
    return DownloadStep::kFailed;
  }
  if (DownloadStep step = Complete(deadline); step != DownloadStep::kOk) {
    return step;
  }
  DWORD code = 0;
  DWORD size = sizeof(code);
  if (!WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return DownloadStep::kFailed;
  }
  if (std::ranges::find(kRedirects, code) != std::end(kRedirects)) {
    location = Narrow(LocationOf(request_.get()));
    return location.empty() ? DownloadStep::kFailed : DownloadStep::kOk;
  }
  return code >= kSuccessFirst && code < kSuccessEnd ? DownloadStep::kOk : DownloadStep::kFailed;
}

DownloadStep WindowsAvatarFetchSystem::Read(std::vector<uint8_t>& piece, std::size_t most,
                                            AvatarClock::time_point deadline) {
  piece.clear();
  // Wine's WinHttpReadData returns only once the whole buffer is filled, so
  // a slow body is read exactly as much as has arrived.
  if (request_.get() == nullptr || !WinHttpQueryDataAvailable(request_.get(), nullptr)) {
    return DownloadStep::kFailed;
  }
  if (DownloadStep step = Complete(deadline); step != DownloadStep::kOk) {
    return step;
  }
  const auto count =
      static_cast<DWORD>(std::min<std::size_t>({context_->bytes, most, context_->buffer.size()}));
  if (count == 0) {
    return DownloadStep::kOk;
  }
  // Into the shared buffer: a read given up may still complete later.
  if (!WinHttpReadData(request_.get(), context_->buffer.data(), count, nullptr)) {
    return DownloadStep::kFailed;
  }
  if (DownloadStep step = Complete(deadline); step != DownloadStep::kOk) {
    return step;
  }
  if (context_->bytes == 0) {
    return DownloadStep::kFailed;  // the body ended before what was announced
  }
  piece.assign(context_->buffer.begin(), context_->buffer.begin() + context_->bytes);
  return DownloadStep::kOk;
}

void WindowsAvatarFetchSystem::CloseDownload() {
  request_.reset();
  connection_.reset();
  if (context_ != nullptr) {
    Release(context_);
    context_ = nullptr;
  }
}

std::wstring WindowsAvatarFetchSystem::PathOf(const std::string& name) const {
  return folder_ + L"\\" + Utf8ToWide(name);
}

std::optional<std::vector<uint8_t>> WindowsAvatarFetchSystem::ReadFile(const std::string& name,
                                                                       std::size_t most) {
  const ScopedKernelHandle file(CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
  LARGE_INTEGER size{};
  if (!file.valid() || !GetFileSizeEx(file.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) > most) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
      read != bytes.size()) {
    return std::nullopt;
  }
  return bytes;
}

bool WindowsAvatarFetchSystem::WriteFile(const std::string& name, std::span<const uint8_t> bytes) {
  CreateDirectoryW(folder_.c_str(), nullptr);
  const ScopedKernelHandle file(CreateFileW(PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.valid() &&
         ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool WindowsAvatarFetchSystem::RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(PathOf(from).c_str(), PathOf(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void WindowsAvatarFetchSystem::RemoveFile(const std::string& name) {
  DeleteFileW(PathOf(name).c_str());
}

void WindowsAvatarFetchSystem::TouchFile(const std::string& name) {
  const ScopedKernelHandle file(CreateFileW(PathOf(name).c_str(), FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  if (file.valid()) {
    SetFileTime(file.get(), nullptr, nullptr, &now);
  }
}

std::vector<AvatarFolderEntry> WindowsAvatarFetchSystem::ListFiles() {
  std::vector<AvatarFolderEntry> entries;
  WIN32_FIND_DATAW found{};
  const ScopedHandle<FindHandleTraits> search(FindFirstFileExW(
      (folder_ + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!search.valid()) {
    return entries;
  }
  FILETIME now_time{};
  GetSystemTimeAsFileTime(&now_time);
  const auto ticks = [](const FILETIME& time) {
    return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 |
                                time.dwLowDateTime);
  };
  constexpr int64_t kTicksPerSecond = 10'000'000;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      continue;
    }
    // Only names this program makes matter, and they are ASCII.
    std::string name;
    for (const wchar_t* c = found.cFileName; *c != 0; ++c) {
      name += *c < 0x80 ? static_cast<char>(*c) : '?';
    }
    const int64_t age = (ticks(now_time) - ticks(found.ftLastWriteTime)) / kTicksPerSecond;
    entries.push_back(AvatarFolderEntry{
        std::move(name), static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow,
        std::chrono::seconds(std::max<int64_t>(age, 0))});
  } while (FindNextFileW(search.get(), &found));
  return entries;
}

AvatarDigest WindowsAvatarFetchSystem::Sha256(std::string_view bytes) {
  AvatarDigest digest{};
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (sha256_.valid() &&
      BCRYPT_SUCCESS(BCryptCreateHash(sha256_.get(), &hash, nullptr, 0, nullptr, 0, 0))) {
    // BCrypt takes the input as writable bytes but does not write them.
    auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
    BCryptHashData(hash, input, static_cast<ULONG>(bytes.size()), 0);
    BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    BCryptDestroyHash(hash);
  }
  return digest;
}

// A decoder may decode the whole frame in one call, even one that only asks
// for its size (Wine's do: about 0.3 s for 4096 x 4096), and nothing can cut
// that short. So decoding runs on a thread of its own that owns all it
// touches, and a stop leaves it to finish alone instead of waiting for it.
template <typename Result, typename Work>
std::optional<Result> WindowsAvatarFetchSystem::OffThread(std::span<const uint8_t> file,
                                                          Work work) {
  struct Job {
    std::vector<uint8_t> file;
    std::optional<Result> result;
    ScopedKernelHandle done = MakeEvent(true);
    ScopedKernelHandle abandoned = MakeEvent(true);
  };
  auto job = std::make_shared<Job>();
  job->file.assign(file.begin(), file.end());
  if (!job->done.valid() || !job->abandoned.valid()) {
    return std::nullopt;
  }
  try {
    std::thread([job, work] {
      job->result = work(job->file, job->abandoned.get());
      SetEvent(job->done.get());
    }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  const HANDLE waits[] = {job->done.get(), stop_.get()};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    SetEvent(job->abandoned.get());
    return std::nullopt;
  }
  return std::move(job->result);
}

std::optional<PictureSize> WindowsAvatarFetchSystem::DecodedSize(std::span<const uint8_t> file) {
  return OffThread<PictureSize>(
      file, [](std::span<const uint8_t> bytes, HANDLE) { return WicPictureSize(bytes); });
}

std::optional<ScaledAvatar> WindowsAvatarFetchSystem::Decode(std::span<const uint8_t> file,
                                                             int size) {
  return OffThread<ScaledAvatar>(file, [size](std::span<const uint8_t> bytes, HANDLE abandoned) {
    return WicDecodePicture(bytes, size, abandoned);
  });
}
