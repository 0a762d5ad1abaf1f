// Runs the crash probe under Wine and checks the logs directory choice, the
// application log and the crash files it leaves.

#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/crash_probe/probe_test_support.h"

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kPureCallException = 0xE0000001;
constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr ULONG32 kMinidumpSignature = 0x504D444D;  // "MDMP"
constexpr unsigned kMaxFrames = 32;

const std::regex kLogLine(R"((\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d) ([^ ].*))");
const std::regex kDumpName(R"(crash-\d{8}-\d{6}(-\d+)?\.dmp)");
const std::regex kReportName(R"(crash-\d{8}-\d{6}(-\d+)?\.txt)");
const std::regex kFrameLine(R"(  \[(\d\d)\] 0x([0-9A-F]{16}))");
const std::regex kImageLine(R"(probe_image base=0x([0-9A-F]{16}) end=0x([0-9A-F]{16}))");
const std::regex kCrashingThreadLine(R"(probe_crashing_thread tid=(\d+))");

std::uint64_t Hex(const std::string& digits) { return std::stoull(digits, nullptr, 16); }

std::string Hex8(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

bool SameText(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

struct ImageRange {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  bool Contains(std::uint64_t address) const { return address >= begin && address < end; }
};

// What a crash report said, split into its parts.
struct CrashReport {
  std::vector<std::string> header;
  std::optional<std::string> access_violation;
  std::vector<std::uint64_t> frames;
  std::uint64_t exception_address = 0;
  std::string minidump;
  unsigned long thread_id = 0;
};

// The exception stream of a minidump: which thread it blames, and for what.
struct DumpException {
  bool found = false;
  std::uint32_t thread_id = 0;
  std::uint32_t code = 0;
};

template <typename T>
bool ReadAt(const std::string& bytes, std::size_t offset, T& value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
    return false;
  }
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return true;
}

DumpException ReadDumpException(const std::string& dump) {
  DumpException exception;
  MINIDUMP_HEADER header{};
  if (!ReadAt(dump, 0, header) || header.Signature != kMinidumpSignature) {
    return exception;
  }
  for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
    MINIDUMP_DIRECTORY entry{};
    MINIDUMP_EXCEPTION_STREAM stream{};
    if (!ReadAt(dump, header.StreamDirectoryRva + i * sizeof(entry), entry)) {
      break;
    }
    if (entry.StreamType == ExceptionStream && ReadAt(dump, entry.Location.Rva, stream)) {
      exception = DumpException{true, stream.ThreadId, stream.ExceptionRecord.ExceptionCode};
    }
  }
  return exception;
}

class CrashProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    swap_ = std::make_unique<PreferredLogsFolderSwap>(BlockPreferredFolder());
    ASSERT_TRUE(swap_->ready()) << "cannot move the local application data folder aside";
    folder_ = MakeScratchFolder();
    ASSERT_FALSE(folder_.empty());
    probe_ = folder_ + L"\\crash_probe.exe";
    ASSERT_TRUE(
        ::CopyFileW((ThisProgramFolder() + L"\\crash_probe.exe").c_str(), probe_.c_str(), TRUE));
    logs_ = folder_ + L"\\logs";
  }

  void TearDown() override {
    RemovePath(folder_);
    swap_.reset();
  }

  virtual bool BlockPreferredFolder() const { return true; }
  virtual std::wstring ExpectedLogs() const { return logs_; }

  ProbeRun Run(std::vector<std::wstring> arguments) {
    const ProbeRun run = RunProbe(probe_, arguments);
    EXPECT_TRUE(run.finished) << "the probe did not end";
    return run;
  }

  // The texts of app.log's lines, each checked for the stamp, the single
  // space after it and CR LF.
  std::vector<std::string> AppLogTexts() {
    std::string rest;
    const auto lines = SplitCrLf(ReadBytes(ExpectedLogs() + L"\\app.log"), &rest);
    EXPECT_EQ(rest, "") << "app.log ends without CR LF";
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
      std::smatch match;
      if (!std::regex_match(line, match, kLogLine)) {
        ADD_FAILURE() << "malformed app.log line: [" << line << "]";
        continue;
      }
      texts.push_back(match[7]);
    }
    return texts;
  }

  std::string InstalledLine() const {
    return "crash_logging_installed logs_chars=" + std::to_string(ExpectedLogs().size());
  }

  ImageRange ProbeImage() {
    for (const std::string& text : AppLogTexts()) {
      std::smatch match;
      if (std::regex_match(text, match, kImageLine)) {
        return ImageRange{Hex(match[1]), Hex(match[2])};
      }
    }
    ADD_FAILURE() << "no probe_image line in app.log";
    return {};
  }

  // The threads the probe said would crash; the main thread when none did.
  std::set<unsigned long> CrashingThreads(const ProbeRun& run) {
    std::set<unsigned long> threads;
    for (const std::string& text : AppLogTexts()) {
      std::smatch match;
      if (std::regex_match(text, match, kCrashingThreadLine)) {
        threads.insert(std::stoul(match[1]));
      }
    }
    if (threads.empty()) {
      threads.insert(run.thread_id);
    }
    return threads;
  }

  // Reads and checks one report line by line; the values that differ per
  // crash come back for the caller's checks.
  CrashReport ReadReport(const std::wstring& name, const ProbeRun& run, DWORD code, DWORD flags,
                         unsigned parameters) {
    CrashReport report;
    std::string rest;
    const auto lines = SplitCrLf(ReadBytes(ExpectedLogs() + L"\\" + name), &rest);
    EXPECT_EQ(rest, "") << "report ends without CR LF";
    if (lines.size() < 11) {
      ADD_FAILURE() << "report too short: " << lines.size() << " lines";
      return report;
    }
    report.header.assign(lines.begin(), lines.begin() + 10);
    EXPECT_EQ(lines[0], "=== VELMO crash ===");
    EXPECT_TRUE(
        std::regex_match(lines[1], std::regex(R"(time_local=\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
        << lines[1];
    std::smatch match;
    if (std::regex_match(lines[2], match, std::regex(R"(pid=(\d+) tid=(\d+))"))) {
      EXPECT_EQ(std::stoul(match[1]), run.process_id);
      report.thread_id = std::stoul(match[2]);
    } else {
      ADD_FAILURE() << lines[2];
    }
    EXPECT_EQ(CrashingThreads(run).count(report.thread_id), 1u)
        << lines[2] << ": not a thread that crashed";
    EXPECT_EQ(lines[3], "exception_code=" + Hex8(code));
    EXPECT_EQ(lines[4], "exception_flags=" + Hex8(flags));
    if (std::regex_match(lines[5], match, std::regex(R"(exception_address=0x([0-9A-F]{16}))"))) {
      report.exception_address = Hex(match[1]);
    } else {
      ADD_FAILURE() << lines[5];
    }
    EXPECT_EQ(lines[6], "number_parameters=" + std::to_string(parameters));
    EXPECT_EQ(lines[7].rfind("minidump=", 0), 0u) << lines[7];
    report.minidump = lines[7].substr(std::string("minidump=").size());
    EXPECT_TRUE(SameText(lines[8], "logs_dir=" + Utf8(ExpectedLogs()))) << lines[8];
    EXPECT_EQ(lines[9], std::string("version=") + VELMO_VERSION_TEXT);

    std::size_t at = 10;
    if (lines[at].rfind("access_violation ", 0) == 0) {
      report.access_violation = lines[at++];
    }
    EXPECT_EQ(lines[at++], "stack:");
    for (unsigned index = 0; at < lines.size(); ++at, ++index) {
      if (!std::regex_match(lines[at], match, kFrameLine)) {
        ADD_FAILURE() << "malformed frame line: [" << lines[at] << "]";
        break;
      }
      EXPECT_EQ(std::stoul(match[1]), index);
      report.frames.push_back(Hex(match[2]));
    }
    EXPECT_GE(report.frames.size(), 1u);
    EXPECT_LE(report.frames.size(), kMaxFrames);
    return report;
  }

  // A dump that blames the crashing thread for the report's exception.
  void ExpectMinidump(const std::string& name, unsigned long thread_id, DWORD code) {
    EXPECT_TRUE(std::regex_match(name, kDumpName)) << name;
    const std::string dump =
        ReadBytes(ExpectedLogs() + L"\\" + std::wstring(name.begin(), name.end()));
    EXPECT_EQ(dump.substr(0, 4), "MDMP") << name;
    const DumpException exception = ReadDumpException(dump);
    EXPECT_TRUE(exception.found) << name << " has no exception stream";
    EXPECT_EQ(exception.thread_id, thread_id) << name;
    EXPECT_EQ(exception.code, code) << name;
  }

  // The crashing thread's stack: the exception's own address first, then
  // its callers, at least `in_probe` frames of them in this program.
  void ExpectCrashingThreadStack(const CrashReport& report, const ImageRange& image,
                                 std::size_t in_probe) {
    ASSERT_FALSE(report.frames.empty());
    EXPECT_EQ(report.frames[0], report.exception_address);
    EXPECT_GE(static_cast<std::size_t>(
                  std::count_if(report.frames.begin(), report.frames.end(),
                                [&](std::uint64_t frame) { return image.Contains(frame); })),
              in_probe);
  }

  // Runs a crash mode and checks what every crash leaves: one dump, one
  // report naming it, the image range logged before.
  CrashReport CrashAndRead(const std::wstring& mode, DWORD code, DWORD flags, unsigned parameters) {
    const ProbeRun run = Run({mode});
    EXPECT_EQ(run.exit_code, code);
    const auto dumps = ListNames(ExpectedLogs(), L"crash-*.dmp");
    const auto reports = ListNames(ExpectedLogs(), L"crash-*.txt");
    EXPECT_EQ(dumps.size(), 1u);
    if (reports.size() != 1) {
      ADD_FAILURE() << "expected one report, found " << reports.size();
      return {};
    }
    EXPECT_TRUE(std::regex_match(Utf8(reports[0]), kReportName));
    CrashReport report = ReadReport(reports[0], run, code, flags, parameters);
    if (dumps.size() == 1) {
      EXPECT_EQ(report.minidump, Utf8(dumps[0]));
      // The two files of one crash share their name.
      EXPECT_EQ(Utf8(dumps[0]).substr(0, Utf8(dumps[0]).size() - 4),
                Utf8(reports[0]).substr(0, Utf8(reports[0]).size() - 4));
    }
    ExpectMinidump(report.minidump, report.thread_id, code);
    return report;
  }

  std::unique_ptr<PreferredLogsFolderSwap> swap_;
  std::wstring folder_;
  std::wstring probe_;
  std::wstring logs_;
};

TEST_F(CrashProbeTest, LogGoesBesideExecutableWhenPreferredFolderCannotBeCreated) {
  EXPECT_EQ(Run({L"log-line", L"probe_hello key=1"}).exit_code, 0u);
  ASSERT_TRUE(IsDirectory(logs_));
  EXPECT_EQ(AppLogTexts(), (std::vector<std::string>{InstalledLine(), "probe_hello key=1"}));
  EXPECT_TRUE(IsFile(swap_->velmo_folder()));
  EXPECT_TRUE(ListNames(logs_, L".velmo_write_test*").empty());
}

TEST_F(CrashProbeTest, NullTextWritesNothing) {
  EXPECT_EQ(Run({L"log-null"}).exit_code, 0u);
  EXPECT_EQ(AppLogTexts(), (std::vector<std::string>{InstalledLine(), "probe_after_null"}));
}

TEST_F(CrashProbeTest, ReadOfNullAddress) {
  const CrashReport report = CrashAndRead(L"read-null", kAccessViolation, 0, 2);
  EXPECT_EQ(report.access_violation, "access_violation op=read address=0x0000000000000000");
  const ImageRange image = ProbeImage();
  EXPECT_TRUE(image.Contains(report.exception_address));
  // The faulting function, the mode switch and the entry point.
  ExpectCrashingThreadStack(report, image, 3);
  EXPECT_EQ(AppLogTexts().front(), InstalledLine());
}

TEST_F(CrashProbeTest, WriteOfNullAddress) {
  const CrashReport report = CrashAndRead(L"write-null", kAccessViolation, 0, 2);
  EXPECT_EQ(report.access_violation, "access_violation op=write address=0x0000000000000000");
  EXPECT_TRUE(ProbeImage().Contains(report.exception_address));
}

TEST_F(CrashProbeTest, ExecutionOfDataPage) {
  const CrashReport report = CrashAndRead(L"execute-data", kAccessViolation, 0, 2);
  ASSERT_TRUE(report.access_violation.has_value());
  char expected[80];
  std::snprintf(expected, sizeof(expected), "access_violation op=dep address=0x%016llX",
                static_cast<unsigned long long>(report.exception_address));
  EXPECT_EQ(*report.access_violation, expected);
}

TEST_F(CrashProbeTest, PureVirtualCallIsLoggedThenCrashes) {
  const CrashReport report =
      CrashAndRead(L"pure-call", kPureCallException, EXCEPTION_NONCONTINUABLE, 0);
  EXPECT_FALSE(report.access_violation.has_value());
  const auto texts = AppLogTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], InstalledLine());
  EXPECT_EQ(texts[2], "pure_virtual_call");
  // The raise, then the handler, the constructor and the code that made it.
  ExpectCrashingThreadStack(report, ProbeImage(), 3);
}

// Crashes whose files the crashing thread itself could not write: each
// leaves one complete set, written by the crash writer.
struct HardCrash {
  const wchar_t* mode;
  DWORD code;
  // Threads other than the main one that crash.
  std::size_t crashing_workers;
  // Frames of the stack that lie in the probe, at least.
  std::size_t frames_in_probe;
};

void PrintTo(const HardCrash& crash, std::ostream* out) { *out << Utf8(crash.mode); }

class HardCrashTest : public CrashProbeTest, public ::testing::WithParamInterface<HardCrash> {};

TEST_P(HardCrashTest, LeavesOneCompleteSet) {
  const HardCrash& c = GetParam();
  const CrashReport report = CrashAndRead(c.mode, c.code, 0, 2);
  ExpectCrashingThreadStack(report, ProbeImage(), c.frames_in_probe);
  const auto texts = AppLogTexts();
  EXPECT_EQ(
      static_cast<std::size_t>(std::count_if(
          texts.begin(), texts.end(),
          [](const std::string& text) { return std::regex_match(text, kCrashingThreadLine); })),
      c.crashing_workers);
}

INSTANTIATE_TEST_SUITE_P(Crashes, HardCrashTest,
                         ::testing::Values(
                             // Nothing but the recursion: every frame is the probe's.
                             HardCrash{L"stack-overflow", kStackOverflow, 0, kMaxFrames},
                             // A worker's stack has only the system's default kept back for it.
                             HardCrash{L"worker-stack-overflow", kStackOverflow, 1, kMaxFrames},
                             // The faulting function and the thread's entry.
                             HardCrash{L"worker-crash", kAccessViolation, 1, 2},
                             // Both reach the dispatch before either reaches the filter; one is
                             // written, the other waits.
                             HardCrash{L"threads-crash", kAccessViolation, 2, 2},
                             // The faulting function, the mode and the entry point; the log lock
                             // stays held by a frozen thread throughout.
                             HardCrash{L"log-lock-crash", kAccessViolation, 0, 3}),
                         [](const ::testing::TestParamInfo<HardCrash>& info) {
                           std::string name;
                           for (const wchar_t* c = info.param.mode; *c != L'\0'; ++c) {
                             if (*c != L'-') {
                               name += static_cast<char>(*c);
                             }
                           }
                           return name;
                         });

TEST_F(CrashProbeTest, StartUpKeepsTheNewestTenCrashSets) {
  ASSERT_TRUE(::CreateDirectoryW(logs_.c_str(), nullptr));
  constexpr unsigned kSets = 12;
  constexpr unsigned kKept = 10;
  std::vector<std::wstring> kept{L"crash-notes.txt"};
  for (unsigned s = 0; s < kSets; ++s) {
    const std::wstring base = L"crash-20200101-0000" + std::to_wstring(10 + s);
    for (const wchar_t* extension : {L".txt", L".dmp"}) {
      ASSERT_TRUE(CreatePlainFile(logs_ + L"\\" + base + extension));
      if (s >= kSets - kKept) {
        kept.push_back(base + extension);
      }
    }
  }
  ASSERT_TRUE(CreatePlainFile(logs_ + L"\\crash-notes.txt"));
  EXPECT_EQ(Run({L"log-line", L"probe_pruned"}).exit_code, 0u);
  auto names = ListNames(logs_, L"crash-*");
  std::sort(names.begin(), names.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(names, kept);
}

TEST_F(CrashProbeTest, InvalidParameterIsLoggedAndProgramGoesOn) {
  const ProbeRun run = Run({L"invalid-parameter"});
  EXPECT_EQ(run.exit_code, 0u) << "4: the handler was not installed";
  EXPECT_EQ(AppLogTexts(),
            (std::vector<std::string>{
                InstalledLine(),
                "invalid_parameter file=crash_probe.cc function=strcpy_s line=42 "
                "expr=(buffer != nullptr)",
                "invalid_parameter file=? function=? line=0 expr=?", "probe_continued"}));
  EXPECT_TRUE(ListNames(logs_, L"crash-*").empty());
}

TEST_F(CrashProbeTest, LinesFromThreadsNeverInterleave) {
  constexpr unsigned kThreads = 8;
  constexpr unsigned kLines = 150;
  ASSERT_EQ(Run({L"log-threads", std::to_wstring(kThreads), std::to_wstring(kLines)}).exit_code,
            0u);
  const auto texts = AppLogTexts();
  ASSERT_EQ(texts.size(), 1 + kThreads * kLines);
  const std::regex thread_line("probe_thread thread=(\\d+) line=(\\d+) x{64}");
  std::vector<int> next_line(kThreads, 0);
  for (std::size_t i = 1; i < texts.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(texts[i], match, thread_line)) << texts[i];
    const unsigned thread = std::stoul(match[1]);
    ASSERT_LT(thread, kThreads);
    EXPECT_EQ(std::stoi(match[2]), next_line[thread]++) << "thread " << thread;
  }
  EXPECT_EQ(std::count(next_line.begin(), next_line.end(), static_cast<int>(kLines)), kThreads);
}

// Two processes logging at once (a second launch while the first one runs)
// each keep every line, whole.
TEST_F(CrashProbeTest, TwoProcessesLoggingAtOnceKeepEveryLineWhole) {
  constexpr unsigned kThreads = 2;
  constexpr unsigned kLines = 500;
  const std::vector<std::wstring> arguments{L"log-threads", std::to_wstring(kThreads),
                                            std::to_wstring(kLines)};
  ProbeProcess first(probe_, arguments);
  ProbeProcess second(probe_, arguments);
  ASSERT_TRUE(first.started() && second.started());
  EXPECT_EQ(first.Wait(60000).exit_code, 0u);
  EXPECT_EQ(second.Wait(60000).exit_code, 0u);
  const std::regex thread_line("probe_thread thread=(\\d+) line=(\\d+) x{64}");
  std::map<std::pair<unsigned, unsigned>, int> seen;
  std::size_t installed = 0;
  for (const std::string& text : AppLogTexts()) {
    std::smatch match;
    if (text == InstalledLine()) {
      ++installed;
    } else if (std::regex_match(text, match, thread_line)) {
      ++seen[{std::stoul(match[1]), std::stoul(match[2])}];
    } else {
      ADD_FAILURE() << "unexpected line: [" << text << "]";
    }
  }
  EXPECT_EQ(installed, 2u);
  EXPECT_EQ(seen.size(), kThreads * kLines);
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](const auto& entry) {
    return entry.second == 2;
  })) << "a line of one of the processes is missing";
}

TEST_F(CrashProbeTest, LargeLogBecomesThePreviousGenerationAtStart) {
  ASSERT_TRUE(::CreateDirectoryW(logs_.c_str(), nullptr));
  const std::string old_line = "2020-01-01 00:00:00 old_line\r\n";
  {
    std::ofstream large(std::filesystem::path(logs_ + L"\\app.log"), std::ios::binary);
    for (std::size_t written = 0; written <= 4u * 1024 * 1024; written += old_line.size()) {
      large << old_line;
    }
  }
  std::ofstream(std::filesystem::path(logs_ + L"\\app.1.log"), std::ios::binary)
      << "older generation";
  const std::size_t large_size = ReadBytes(logs_ + L"\\app.log").size();

  EXPECT_EQ(Run({L"log-line", L"probe_after_rotation"}).exit_code, 0u);
  EXPECT_EQ(ReadBytes(logs_ + L"\\app.1.log").size(), large_size);
  EXPECT_EQ(AppLogTexts(), (std::vector<std::string>{InstalledLine(), "probe_after_rotation"}));

  // A log under the bound is continued, not moved.
  EXPECT_EQ(Run({L"log-line", L"probe_continued_log"}).exit_code, 0u);
  EXPECT_EQ(AppLogTexts().size(), 4u);
  EXPECT_EQ(ReadBytes(logs_ + L"\\app.1.log").size(), large_size);
}

TEST_F(CrashProbeTest, NothingWrittenWithoutDirectoryAndRetriedLater) {
  ASSERT_TRUE(CreatePlainFile(logs_));
  EXPECT_EQ(Run({L"retry-log", logs_}).exit_code, 0u)
      << "3: a logs directory was set while none could be made";
  ASSERT_TRUE(IsDirectory(logs_));
  EXPECT_EQ(AppLogTexts(), (std::vector<std::string>{"probe_second"}));
}

TEST_F(CrashProbeTest, CrashWithoutAnyLogsDirectoryLeavesNoFiles) {
  ASSERT_TRUE(CreatePlainFile(logs_));
  EXPECT_EQ(Run({L"read-null"}).exit_code, kAccessViolation);
  EXPECT_TRUE(IsFile(logs_));
  auto names = ListNames(folder_, L"*");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"crash_probe.exe", L"logs"}));
  EXPECT_TRUE(IsFile(swap_->velmo_folder()));
}

TEST_F(CrashProbeTest, TwoCrashesInOneSecondKeepBothSets) {
  constexpr int kAttempts = 3;
  constexpr DWORD kCrashTimeoutMs = 90000;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    RemovePath(logs_);
    // Start both just after a second begins, so both stamps fall in it.
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    ::Sleep(1000 - now.wMilliseconds + 20);
    ProbeProcess first(probe_, {L"read-null"});
    ProbeProcess second(probe_, {L"read-null"});
    ASSERT_TRUE(first.started() && second.started());
    const ProbeRun runs[] = {first.Wait(kCrashTimeoutMs), second.Wait(kCrashTimeoutMs)};
    ASSERT_TRUE(runs[0].finished && runs[1].finished);

    const auto dumps = ListNames(logs_, L"crash-*.dmp");
    const auto reports = ListNames(logs_, L"crash-*.txt");
    ASSERT_EQ(dumps.size(), 2u);
    ASSERT_EQ(reports.size(), 2u);
    std::set<std::string> named_dumps;
    std::set<std::string> pids;
    for (const std::wstring& report_name : reports) {
      std::string rest;
      const auto lines = SplitCrLf(ReadBytes(logs_ + L"\\" + report_name), &rest);
      ASSERT_GE(lines.size(), 8u);
      pids.insert(lines[2].substr(0, lines[2].find(' ')));
      named_dumps.insert(lines[7].substr(std::string("minidump=").size()));
    }
    EXPECT_EQ(pids.size(), 2u) << "both reports come from one process";
    EXPECT_EQ(named_dumps, (std::set<std::string>{Utf8(dumps[0]), Utf8(dumps[1])}));
    for (const std::string& name : named_dumps) {
      EXPECT_EQ(ReadBytes(logs_ + L"\\" + std::wstring(name.begin(), name.end())).substr(0, 4),
                "MDMP");
    }
    const bool same_second = Utf8(dumps[0]).substr(0, 21) == Utf8(dumps[1]).substr(0, 21);
    if (same_second || HasFailure()) {
      return;
    }
  }
  GTEST_SKIP() << "the two crashes never fell in the same second in " << kAttempts
               << " attempts; the name collision was not exercised";
}

class PreferredLogsDirectoryTest : public CrashProbeTest {
 protected:
  bool BlockPreferredFolder() const override { return false; }
  std::wstring ExpectedLogs() const override { return swap_->velmo_folder() + L"\\logs"; }
};

TEST_F(PreferredLogsDirectoryTest, CreatedOnDemandUnderLocalAppData) {
  ASSERT_FALSE(IsDirectory(swap_->velmo_folder()));
  EXPECT_EQ(Run({L"log-line", L"probe_preferred"}).exit_code, 0u);
  ASSERT_TRUE(IsDirectory(ExpectedLogs()));
  EXPECT_EQ(AppLogTexts(), (std::vector<std::string>{InstalledLine(), "probe_preferred"}));
  EXPECT_FALSE(IsDirectory(logs_)) << "the fall-back was used";
  EXPECT_TRUE(ListNames(ExpectedLogs(), L".velmo_write_test*").empty());
}

TEST_F(PreferredLogsDirectoryTest, CrashFilesGoThereToo) {
  const CrashReport report = CrashAndRead(L"read-null", kAccessViolation, 0, 2);
  EXPECT_EQ(report.access_violation, "access_violation op=read address=0x0000000000000000");
  EXPECT_FALSE(IsDirectory(logs_));
}

}  // namespace
