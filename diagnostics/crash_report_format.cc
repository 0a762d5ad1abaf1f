#include "diagnostics/crash_report_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cwchar>

namespace {

// Room for a path of the shell's 260-unit limit plus the folders appended to
// it, at up to three UTF-8 bytes per UTF-16 unit.
constexpr std::size_t kEncodedPathBytes = 1024;
constexpr std::size_t kEncodedFieldBytes = 256;
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr std::string_view kUnknownText = "?";

std::size_t Finish(int written, std::span<char> out) {
  if (written <= 0 || static_cast<std::size_t>(written) >= out.size()) {
    if (!out.empty()) {
      out[0] = '\0';
    }
    return 0;
  }
  return static_cast<std::size_t>(written);
}

// A log line too long for its buffer keeps its beginning: a cut line still
// tells support which call failed.
std::size_t FinishTruncating(int written, std::span<char> out) {
  if (written <= 0 || out.empty()) {
    return Finish(written, out);
  }
  return std::min(static_cast<std::size_t>(written), out.size() - 1);
}

char32_t NextCodePoint(std::wstring_view text, std::size_t& index) {
  const auto unit = static_cast<char32_t>(text[index++]);
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (index < text.size()) {
      const auto low = static_cast<char32_t>(text[index]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++index;
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    return kReplacementCharacter;
  }
  if ((unit >= 0xDC00 && unit <= 0xDFFF) || unit > 0x10FFFF) {
    return kReplacementCharacter;
  }
  return unit;
}

std::size_t EncodeCodePoint(char32_t code_point, std::array<char, 4>& bytes) {
  if (code_point < 0x80) {
    bytes[0] = static_cast<char>(code_point);
    return 1;
  }
  if (code_point < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (code_point >> 6));
    bytes[1] = static_cast<char>(0x80 | (code_point & 0x3F));
    return 2;
  }
  if (code_point < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (code_point >> 12));
    bytes[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (code_point & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<char>(0xF0 | (code_point >> 18));
  bytes[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
  bytes[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
  bytes[3] = static_cast<char>(0x80 | (code_point & 0x3F));
  return 4;
}

// `text` as UTF-8, or "?" when it is missing.
template <std::size_t N>
const char* EncodeOrUnknown(const wchar_t* text, std::array<char, N>& buffer) {
  if (text == nullptr) {
    return kUnknownText.data();
  }
  EncodeUtf8(text, buffer);
  return buffer.data();
}

}  // namespace

std::size_t EncodeUtf8(std::wstring_view text, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  std::size_t length = 0;
  std::size_t index = 0;
  while (index < text.size()) {
    std::array<char, 4> bytes{};
    const std::size_t count = EncodeCodePoint(NextCodePoint(text, index), bytes);
    if (length + count >= out.size()) {
      break;
    }
    for (std::size_t i = 0; i < count; ++i) {
      out[length++] = bytes[i];
    }
  }
  out[length] = '\0';
  return length;
}

std::size_t FormatCrashHeader(const CrashHeader& header, std::span<char> out) {
  std::array<char, kEncodedPathBytes> minidump{};
  std::array<char, kEncodedPathBytes> logs{};
  if (header.minidump_name.empty()) {
    EncodeUtf8(L"(none)", minidump);
  } else {
    EncodeUtf8(header.minidump_name, minidump);
  }
  EncodeUtf8(header.logs_directory, logs);
  std::array<char, kEncodedFieldBytes> version{};
  const std::size_t version_length = std::min(header.version.size(), version.size() - 1);
  header.version.copy(version.data(), version_length);

  const StampTime& t = header.time;
  const int written =
      std::snprintf(out.data(), out.size(),
                    "=== VELMO crash ===\r\n"
                    "time_local=%04u-%02u-%02u %02u:%02u:%02u\r\n"
                    "pid=%lu tid=%lu\r\n"
                    "exception_code=0x%08lX\r\n"
                    "exception_flags=0x%08lX\r\n"
                    "exception_address=0x%016llX\r\n"
                    "number_parameters=%lu\r\n"
                    "minidump=%s\r\n"
                    "logs_dir=%s\r\n"
                    "version=%s\r\n",
                    t.year, t.month, t.day, t.hour, t.minute, t.second, header.process_id,
                    header.thread_id, static_cast<unsigned long>(header.exception_code),
                    static_cast<unsigned long>(header.exception_flags),
                    static_cast<unsigned long long>(header.exception_address),
                    static_cast<unsigned long>(header.number_parameters), minidump.data(),
                    logs.data(), version.data());
  return Finish(written, out);
}

bool HasAccessViolationLine(std::uint32_t exception_code, std::uint32_t number_parameters) {
  return exception_code == kAccessViolationCode && number_parameters > 1;
}

std::string_view AccessViolationOp(std::uint64_t operation) {
  switch (operation) {
    case 0:
      return "read";
    case 1:
      return "write";
    default:
      return "dep";
  }
}

std::size_t FormatAccessViolationLine(std::uint64_t operation, std::uint64_t address,
                                      std::span<char> out) {
  const int written =
      std::snprintf(out.data(), out.size(), "access_violation op=%s address=0x%016llX\r\n",
                    AccessViolationOp(operation).data(), static_cast<unsigned long long>(address));
  return Finish(written, out);
}

std::size_t FormatStackLine(unsigned index, std::uint64_t return_address, std::span<char> out) {
  const int written = std::snprintf(out.data(), out.size(), "  [%02u] 0x%016llX\r\n", index,
                                    static_cast<unsigned long long>(return_address));
  return Finish(written, out);
}

std::size_t FormatCrashFileName(std::wstring_view stamp, unsigned attempt,
                                std::wstring_view extension, std::span<wchar_t> out) {
  if (out.empty()) {
    return 0;
  }
  std::array<wchar_t, 16> suffix{};
  if (attempt > 1) {
    std::swprintf(suffix.data(), suffix.size(), L"-%u", attempt);
  }
  const std::wstring_view prefix = L"crash-";
  const std::wstring_view suffix_text(suffix.data());
  const std::size_t length = prefix.size() + stamp.size() + suffix_text.size() + extension.size();
  if (length >= out.size()) {
    out[0] = L'\0';
    return 0;
  }
  std::size_t at = 0;
  for (const std::wstring_view part : {prefix, stamp, suffix_text, extension}) {
    at += part.copy(out.data() + at, part.size());
  }
  out[at] = L'\0';
  return at;
}

std::size_t FormatInvalidParameterLine(const wchar_t* expression, const wchar_t* function,
                                       const wchar_t* file, unsigned line, std::span<char> out) {
  std::array<char, kLogLineBufferBytes> file_text{};
  std::array<char, kLogLineBufferBytes> function_text{};
  std::array<char, kLogLineBufferBytes> expression_text{};
  const int written =
      std::snprintf(out.data(), out.size(), "invalid_parameter file=%s function=%s line=%u expr=%s",
                    EncodeOrUnknown(file, file_text), EncodeOrUnknown(function, function_text),
                    line, EncodeOrUnknown(expression, expression_text));
  return FinishTruncating(written, out);
}

std::size_t FormatCrashLoggingInstalledLine(std::wstring_view logs_directory, std::span<char> out) {
  const int written =
      logs_directory.empty()
          ? std::snprintf(out.data(), out.size(), "crash_logging_installed logs_unavailable")
          : std::snprintf(out.data(), out.size(), "crash_logging_installed logs_chars=%zu",
                          logs_directory.size());
  return Finish(written, out);
}
