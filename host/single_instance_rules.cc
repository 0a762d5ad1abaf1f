#include "host/single_instance_rules.h"

#include <algorithm>

namespace {

char16_t FoldAsciiCase(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// File names compare without regard to case. Only ASCII letters are folded:
// two paths that differ in another letter's case are taken as different
// programs, which at worst leaves a window alone.
bool SameImagePath(std::u16string_view a, std::u16string_view b) {
  return !a.empty() && std::ranges::equal(a, b, [](char16_t x, char16_t y) {
    return FoldAsciiCase(x) == FoldAsciiCase(y);
  });
}

}  // namespace

InstanceState ClassifyMutexCreation(bool handle_created, uint32_t last_error) {
  if (!handle_created) {
    // The mutex exists but belongs to a security context that lets this one
    // not open it (an instance started elevated, or by a service): an
    // instance runs all the same.
    return last_error == kErrorAccessDenied ? InstanceState::kAlreadyRunning
                                            : InstanceState::kFailed;
  }
  return last_error == kErrorAlreadyExists ? InstanceState::kAlreadyRunning : InstanceState::kOwned;
}

std::uintptr_t ChooseHandOverWindow(const std::vector<HandOverCandidate>& candidates,
                                    std::u16string_view own_image_path,
                                    std::u16string_view main_title) {
  std::uintptr_t chosen = 0;
  for (const HandOverCandidate& candidate : candidates) {
    if (candidate.window == 0 || !SameImagePath(candidate.image_path, own_image_path)) {
      continue;
    }
    if (candidate.title == main_title) {
      return candidate.window;
    }
    if (chosen == 0) {
      chosen = candidate.window;
    }
  }
  return chosen;
}
