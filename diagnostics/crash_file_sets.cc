#include "diagnostics/crash_file_sets.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr std::wstring_view kPrefix = L"crash-";
constexpr std::wstring_view kExtensions[] = {L".txt", L".dmp"};
constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kTimeDigits = 6;
constexpr std::size_t kStampLength = kDateDigits + 1 + kTimeDigits;
// More than any crash in one second is numbered, few enough not to overflow.
constexpr std::size_t kMaxAttemptDigits = 4;

bool AllDigits(std::wstring_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

bool IsStamp(std::wstring_view stamp) {
  return stamp.size() == kStampLength && AllDigits(stamp.substr(0, kDateDigits)) &&
         stamp[kDateDigits] == L'-' && AllDigits(stamp.substr(kDateDigits + 1));
}

std::optional<unsigned> ParseAttempt(std::wstring_view digits) {
  if (!AllDigits(digits) || digits.size() > kMaxAttemptDigits || digits.front() == L'0') {
    return std::nullopt;
  }
  unsigned value = 0;
  for (const wchar_t digit : digits) {
    value = value * 10 + static_cast<unsigned>(digit - L'0');
  }
  if (value < 2) {
    return std::nullopt;
  }
  return value;
}

std::wstring_view WithoutExtension(std::wstring_view name) {
  for (const std::wstring_view extension : kExtensions) {
    if (name.ends_with(extension)) {
      return name.substr(0, name.size() - extension.size());
    }
  }
  return {};
}

struct CrashSet {
  std::wstring_view base;
  CrashFileName name;
};

bool NewerFirst(const CrashSet& a, const CrashSet& b) {
  return std::tie(a.name.stamp, a.name.attempt) > std::tie(b.name.stamp, b.name.attempt);
}

}  // namespace

std::optional<CrashFileName> ParseCrashFileName(std::wstring_view name) {
  const std::wstring_view base = WithoutExtension(name);
  if (!base.starts_with(kPrefix)) {
    return std::nullopt;
  }
  const std::wstring_view rest = base.substr(kPrefix.size());
  CrashFileName parsed;
  parsed.stamp = rest.substr(0, kStampLength);
  if (!IsStamp(parsed.stamp)) {
    return std::nullopt;
  }
  const std::wstring_view suffix = rest.substr(kStampLength);
  if (suffix.empty()) {
    return parsed;
  }
  const std::optional<unsigned> attempt =
      suffix.front() == L'-' ? ParseAttempt(suffix.substr(1)) : std::nullopt;
  if (!attempt) {
    return std::nullopt;
  }
  parsed.attempt = *attempt;
  return parsed;
}

std::vector<std::wstring> CrashFilesToPrune(std::span<const std::wstring> names,
                                            std::size_t sets_to_keep) {
  std::vector<CrashSet> sets;
  for (const std::wstring& name : names) {
    const std::optional<CrashFileName> parsed = ParseCrashFileName(name);
    if (!parsed) {
      continue;
    }
    const std::wstring_view base = WithoutExtension(name);
    const bool known = std::any_of(sets.begin(), sets.end(),
                                   [&](const CrashSet& set) { return set.base == base; });
    if (!known) {
      sets.push_back(CrashSet{base, *parsed});
    }
  }
  if (sets.size() <= sets_to_keep) {
    return {};
  }
  std::sort(sets.begin(), sets.end(), NewerFirst);
  const std::span<const CrashSet> old = std::span(sets).subspan(sets_to_keep);
  std::vector<std::wstring> doomed;
  for (const std::wstring& name : names) {
    const std::wstring_view base = WithoutExtension(name);
    if (ParseCrashFileName(name) && std::any_of(old.begin(), old.end(), [&](const CrashSet& set) {
          return set.base == base;
        })) {
      doomed.push_back(name);
    }
  }
  return doomed;
}
