#include "overlay/windows_avatar_fetch_system.h"

#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/wide_text.h"
#include "diagnostics/scoped_file_handle.h"
#include "overlay/avatar_naming.h"
#include "overlay/gdiplus_include.h"

// What one download shares with WinHTTP's callbacks, which may still arrive
// after the download was given up (WinHTTP under Wine only lets go of a
// connection once its pending call returns): owned by the download and by
// the request handle, freed when both are done.
struct DownloadContext {
  std::atomic<int> owners{1};
  EventHandle completed{false};
  bool failed = false;
  DWORD bytes = 0;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kAvatarReadPiece);
};

namespace {

constexpr wchar_t kUserAgent[] = L"Velmo";
constexpr DWORD kTempPathCapacity = MAX_PATH;
constexpr DWORD kSuccessFirst = 200;
constexpr DWORD kSuccessEnd = 300;
constexpr DWORD kCallbackEvents =
    WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;

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
  session_.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  if (session_.get() != nullptr) {
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

DownloadStep WindowsAvatarFetchSystem::Open(const std::string& url,
                                            AvatarClock::time_point deadline) {
  CloseDownload();
  if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) {
    return DownloadStep::kStopped;
  }
  const std::wstring address = Utf8ToWide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (session_.get() == nullptr || !WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) {
    return DownloadStep::kFailed;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                      std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) {
    path = L"/";
  }
  connection_.reset(WinHttpConnect(session_.get(), host.c_str(), parts.nPort, 0));
  if (connection_.get() == nullptr) {
    return DownloadStep::kFailed;
  }
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  request_.reset(WinHttpOpenRequest(connection_.get(), L"GET", path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (request_.get() == nullptr) {
    return DownloadStep::kFailed;
  }
  context_ = new DownloadContext;
  auto value = reinterpret_cast<DWORD_PTR>(context_);
  if (WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &value, sizeof(value))) {
    ++context_->owners;  // released by the handle's closing callback
  }
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
  const ScopedFileHandle file(CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  const ScopedFileHandle file(CreateFileW(PathOf(name).c_str(), GENERIC_WRITE, 0, nullptr,
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

std::optional<ScaledAvatar> WindowsAvatarFetchSystem::Decode(std::span<const uint8_t> file,
                                                             int size) {
  Microsoft::WRL::ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(file.data(), static_cast<UINT>(file.size())));
  if (!stream || size <= 0) {
    return std::nullopt;
  }
  Gdiplus::Bitmap source(stream.Get());
  if (source.GetLastStatus() != Gdiplus::Ok || source.GetWidth() == 0 || source.GetHeight() == 0) {
    return std::nullopt;
  }
  ScaledAvatar picture{size, std::vector<uint32_t>(static_cast<std::size_t>(size) * size)};
  Gdiplus::Bitmap scaled(size, size, size * 4, PixelFormat32bppPARGB,
                         reinterpret_cast<BYTE*>(picture.pixels.data()));
  Gdiplus::Graphics graphics(&scaled);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  Gdiplus::ImageAttributes edges;
  edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no fading in at the borders
  // Stretched to the square; the aspect ratio is not kept.
  const Gdiplus::Status drawn = graphics.DrawImage(
      &source, Gdiplus::Rect(0, 0, size, size), 0, 0, static_cast<INT>(source.GetWidth()),
      static_cast<INT>(source.GetHeight()), Gdiplus::UnitPixel, &edges);
  graphics.Flush(Gdiplus::FlushIntentionSync);
  if (drawn != Gdiplus::Ok) {
    return std::nullopt;
  }
  return picture;
}
