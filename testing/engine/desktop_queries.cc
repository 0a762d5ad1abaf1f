#include "testing/engine/desktop_queries.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "testing/engine/driver_line.h"
#include "testing/engine/hex_text.h"
#include "testing/engine/win_handles.h"

namespace substitute_engine {
namespace {

constexpr int kClassNameCapacity = 256;
constexpr size_t kPostFieldCount = 4;
constexpr UINT kMenuTextCapacity = 256;

std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

std::string StyleText(LONG style) {
  char text[9];
  std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(style));
  return text;
}

std::string WindowRow(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t class_name[kClassNameCapacity] = {};
  const int class_length = GetClassNameW(window, class_name, kClassNameCapacity);
  std::wstring title(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int title_length = GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  RECT bounds{};
  GetWindowRect(window, &bounds);
  std::string row = HandleText(window);
  row += ' ' + std::to_string(pid);
  row += ' ' + HexField(Utf8FromWide(class_name, class_length));
  row += ' ' + HexField(Utf8FromWide(title.c_str(), title_length));
  row += IsWindowVisible(window) ? " 1" : " 0";
  row += IsIconic(window) ? " 1" : " 0";
  row += ' ' + StyleText(GetWindowLongW(window, GWL_STYLE));
  row += ' ' + StyleText(GetWindowLongW(window, GWL_EXSTYLE));
  row += ' ' + std::to_string(bounds.left) + ' ' + std::to_string(bounds.top);
  row += ' ' + std::to_string(bounds.right) + ' ' + std::to_string(bounds.bottom);
  return row;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM rows) {
  reinterpret_cast<std::vector<std::string>*>(rows)->push_back(WindowRow(window));
  return TRUE;
}

}  // namespace

std::vector<std::string> TopLevelWindowRows() {
  std::vector<std::string> rows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&rows));
  return rows;
}

std::string ForegroundWindowRow() { return HandleText(GetForegroundWindow()); }

std::optional<std::string> PostMessageRow(const std::vector<std::string>& fields) {
  if (fields.size() != kPostFieldCount) {
    return std::nullopt;
  }
  const auto window = ParseUnsigned(fields[0]);
  const auto message = ParseUnsigned(fields[1]);
  const auto wparam = ParseUnsigned(fields[2]);
  const auto lparam = ParseSigned(fields[3]);
  if (!window || !message || !wparam || !lparam) {
    return std::nullopt;
  }
  const BOOL posted = PostMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(*window)),
                                   static_cast<UINT>(*message), static_cast<WPARAM>(*wparam),
                                   static_cast<LPARAM>(*lparam));
  return posted ? "1" : "0";
}

std::string ProcessRow() {
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof(memory));
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  int threads = 0;
  const DWORD pid = GetCurrentProcessId();
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (snapshot && snapshot.get() != INVALID_HANDLE_VALUE) {
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
      threads += entry.th32OwnerProcessID == pid ? 1 : 0;
    }
  }
  return std::to_string(memory.PagefileUsage) + " " + std::to_string(memory.WorkingSetSize) + " " +
         std::to_string(handles) + " " + std::to_string(gdi) + " " + std::to_string(user) + " " +
         std::to_string(threads);
}

std::optional<std::vector<std::string>> PopupMenuItemRows(const std::vector<std::string>& fields) {
  const auto window = fields.size() == 1 ? ParseUnsigned(fields[0]) : std::nullopt;
  if (!window) {
    return std::nullopt;
  }
  std::vector<std::string> rows;
  const auto menu = reinterpret_cast<HMENU>(
      SendMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(*window)), MN_GETHMENU, 0, 0));
  const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
  for (int position = 0; position < count; ++position) {
    wchar_t text[kMenuTextCapacity] = {};
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = kMenuTextCapacity;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) {
      continue;
    }
    rows.push_back(std::to_string(item.wID) + ((item.fType & MFT_SEPARATOR) ? " 1 " : " 0 ") +
                   HexField(Utf8FromWide(text, static_cast<int>(wcslen(text)))));
  }
  return rows;
}

void CrashWithAccessViolation() {
  // Read through a volatile address so the compiler cannot see the null and
  // turn the read into a trap instruction.
  static volatile uintptr_t null_address = 0;
  volatile const int* target = reinterpret_cast<volatile const int*>(null_address);
  const int value = *target;
  std::fprintf(stderr, "substitute engine: reading address 0 gave %d\n", value);
  std::abort();
}

}  // namespace substitute_engine
