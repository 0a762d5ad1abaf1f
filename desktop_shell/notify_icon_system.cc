#include "desktop_shell/notify_icon_system.h"

#include <cwchar>
#include <iterator>

#include "desktop_shell/shell_message_filter.h"
#include "resources/resource.h"

namespace {

constexpr UINT kTrayIconId = 1;
// Under the version-4 convention the shell shows the tooltip only when asked
// to with NIF_SHOWTIP.
constexpr UINT kTrayIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
constexpr wchar_t kTrayTooltip[] = L"Velmo";

static_assert(sizeof(NOTIFYICONDATAW) == 976, "the shell expects the full version-4 record");

HICON IconOf(TrayImage image) { return reinterpret_cast<HICON>(image); }

HICON LoadApplicationIcon(int width, int height) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON),
                                       IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
}

}  // namespace

NotifyIconSystem::NotifyIconSystem(HWND window) : window_(window) {}

TrayImage NotifyIconSystem::LoadTrayImage() {
  HICON icon = LoadApplicationIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  if (icon == nullptr) {
    // 0 x 0: the resource's own default size.
    icon = LoadApplicationIcon(0, 0);
  }
  return reinterpret_cast<TrayImage>(icon);
}

void NotifyIconSystem::DestroyTrayImage(TrayImage image) { DestroyIcon(IconOf(image)); }

bool NotifyIconSystem::AddIcon(TrayImage image) {
  tray_data_ = NOTIFYICONDATAW{};
  tray_data_.cbSize = sizeof(tray_data_);
  tray_data_.hWnd = window_;
  tray_data_.uID = kTrayIconId;
  tray_data_.uFlags = kTrayIconFlags;
  tray_data_.uCallbackMessage = kTrayCallbackMessage;
  tray_data_.hIcon = IconOf(image);
  std::wcsncpy(tray_data_.szTip, kTrayTooltip, std::size(tray_data_.szTip) - 1);
  return Notify(NIM_ADD, tray_data_);
}

void NotifyIconSystem::SetIconVersion() {
  tray_data_.uVersion = NOTIFYICON_VERSION_4;
  Notify(NIM_SETVERSION, tray_data_);
}

void NotifyIconSystem::ModifyIcon(TrayImage image) {
  tray_data_.hIcon = IconOf(image);
  tray_data_.uFlags = kTrayIconFlags;
  Notify(NIM_MODIFY, tray_data_);
}

void NotifyIconSystem::DeleteIcon() { Notify(NIM_DELETE, tray_data_); }

bool NotifyIconSystem::Notify(DWORD message, NOTIFYICONDATAW& record) {
  return Shell_NotifyIconW(message, &record) != FALSE;
}
