#include "diagnostics/logs_location.h"

std::wstring ExecutableFolder(std::wstring_view module_path, std::size_t length) {
  if (length == 0 || length >= kPathBufferUnits || length > module_path.size()) {
    return L".";
  }
  const std::wstring_view path = module_path.substr(0, length);
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring_view::npos) {
    return L".";
  }
  return std::wstring(path.substr(0, separator));
}

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
  std::wstring joined;
  joined.reserve(directory.size() + 1 + name.size());
  joined.append(directory);
  joined.push_back(L'\\');
  joined.append(name);
  return joined;
}

bool AppLogNeedsRotation(std::uint64_t size_bytes) { return size_bytes > kAppLogRotationBytes; }

std::wstring WriteTestFileName(unsigned long process_id) {
  std::wstring name(kWriteTestFileName);
  name.push_back(L'.');
  name.append(std::to_wstring(process_id));
  return name;
}
