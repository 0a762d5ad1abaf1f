#ifndef VELMO_TESTING_ENGINE_DESKTOP_QUERIES_H_
#define VELMO_TESTING_ENGINE_DESKTOP_QUERIES_H_

#include <optional>
#include <string>
#include <vector>

namespace substitute_engine {

// The answer rows of the driver's desktop queries, as protocol fields.

// One row per top-level window: hwnd pid class-hex title-hex visible iconic
// style-hex exstyle-hex left top right bottom.
std::vector<std::string> TopLevelWindowRows();

// The foreground window's handle.
std::string ForegroundWindowRow();

// Posts a message; "1" or "0" as PostMessageW succeeded. None when the fields
// (hwnd message wparam lparam) are not numbers.
std::optional<std::string> PostMessageRow(const std::vector<std::string>& fields);

// This process's resources: committed-bytes working-set handles gdi-objects
// user-objects threads, for tests that look for leaks and stray threads.
// (Wine reports no handle or GUI-object counts: those read 0 there.)
std::string ProcessRow();

// One row per item of the menu a popup menu window (class "#32768") shows:
// id separator(1/0) text-hex. None when the field is not a number; no rows
// when the window shows no menu.
std::optional<std::vector<std::string>> PopupMenuItemRows(const std::vector<std::string>& fields);

// Reads address 0 on the calling thread.
[[noreturn]] void CrashWithAccessViolation();

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_DESKTOP_QUERIES_H_
