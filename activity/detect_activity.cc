#include "activity/detect_activity.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "activity/activity_channel.h"
#include "activity/activity_classifier.h"
#include "channels/standard_method_codec.h"

namespace {

// Owns one snapshot handle.
class ScopedSnapshot {
 public:
  explicit ScopedSnapshot(HANDLE handle) : handle_(handle) {}
  ~ScopedSnapshot() {
    if (valid()) {
      CloseHandle(handle_);
    }
  }
  ScopedSnapshot(const ScopedSnapshot&) = delete;
  ScopedSnapshot& operator=(const ScopedSnapshot&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// The normalised executable names of the running processes, in snapshot
// order, duplicates included; empty when no snapshot can be taken.
std::vector<std::u16string> RunningProcessNames() {
  std::vector<std::u16string> names;
  const ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) {
    return names;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = static_cast<DWORD>(sizeof(entry));
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    // WCHAR is a UTF-16 code unit on Windows.
    const std::u16string_view exe_file(reinterpret_cast<const char16_t*>(entry.szExeFile),
                                       wcsnlen(entry.szExeFile, MAX_PATH));
    names.push_back(NormalizeProcessName(exe_file));
  }
  return names;
}

}  // namespace

flutter::EncodableValue DetectActivity() { return ActivityReply(RunningProcessNames()); }

std::unique_ptr<flutter::MethodChannel> CreateActivityChannel(flutter::BinaryMessenger* messenger) {
  auto channel = std::make_unique<flutter::MethodChannel>(
      messenger, kActivityChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(
      [](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleActivityCall(call, std::move(result), DetectActivity);
      });
  return channel;
}
