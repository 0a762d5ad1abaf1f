#ifndef VELMO_HOST_SINGLE_INSTANCE_RULES_H_
#define VELMO_HOST_SINGLE_INSTANCE_RULES_H_

#include <cstdint>
#include <string_view>
#include <vector>

// What a launch makes of the single-instance mutex, and which window of the
// running instance it hands over to. Error numbers are the system's; kept
// here so the decisions build and test without the platform headers.

inline constexpr uint32_t kErrorAccessDenied = 5;     // ERROR_ACCESS_DENIED
inline constexpr uint32_t kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS

enum class InstanceState { kFailed, kAlreadyRunning, kOwned };

// `handle_created`: the mutex call gave a handle; `last_error`: the error
// code read right after it.
InstanceState ClassifyMutexCreation(bool handle_created, uint32_t last_error);

// A top-level window of the main window's class, as another process sees it.
struct HandOverCandidate {
  std::uintptr_t window = 0;
  std::u16string_view title;
  // The full path of the executable of the window's process; empty when it
  // could not be read.
  std::u16string_view image_path;
};

// The running instance's main window among `candidates`: only a window whose
// process runs the same executable as `own_image_path` qualifies, the one
// titled `main_title` first (the Flutter side may retitle the window). 0 when
// none qualifies.
std::uintptr_t ChooseHandOverWindow(const std::vector<HandOverCandidate>& candidates,
                                    std::u16string_view own_image_path,
                                    std::u16string_view main_title);

#endif  // VELMO_HOST_SINGLE_INSTANCE_RULES_H_
