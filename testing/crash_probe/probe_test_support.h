#ifndef VELMO_TESTING_CRASH_PROBE_PROBE_TEST_SUPPORT_H_
#define VELMO_TESTING_CRASH_PROBE_PROBE_TEST_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

// Process and file helpers for the tests that run the crash probe.

struct ProbeRun {
  bool finished = false;
  DWORD exit_code = 0;
  DWORD process_id = 0;
  DWORD thread_id = 0;
};

// A started probe process; Wait() collects its result.
class ProbeProcess {
 public:
  ProbeProcess(const std::wstring& exe, const std::vector<std::wstring>& arguments);
  ~ProbeProcess();
  ProbeProcess(const ProbeProcess&) = delete;
  ProbeProcess& operator=(const ProbeProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  ProbeRun Wait(DWORD timeout_ms);

 private:
  HANDLE process_ = nullptr;
  ProbeRun run_;
};

ProbeRun RunProbe(const std::wstring& exe, const std::vector<std::wstring>& arguments);

std::wstring LocalAppDataFolder();
std::wstring ThisProgramFolder();
// A new empty folder under the temporary directory.
std::wstring MakeScratchFolder();

bool IsDirectory(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool CreatePlainFile(const std::wstring& path);
// Deletes a file or a folder with everything in it.
void RemovePath(const std::wstring& path);
// Bare names of the entries matching `pattern` (e.g. L"crash-*.txt").
std::vector<std::wstring> ListNames(const std::wstring& folder, const std::wstring& pattern);
std::string ReadBytes(const std::wstring& path);
std::string Utf8(const std::wstring& text);

// Splits at CR LF; text after the last CR LF (a line without its end) is
// returned as `unterminated`.
std::vector<std::string> SplitCrLf(const std::string& text, std::string* unterminated);

// Moves the user's "Velmo" folder under the local application data folder
// aside for the lifetime of the object (optionally putting a plain file of
// that name in its way, so the folder cannot be created) and restores it
// afterwards. Tests using it must run serially.
class PreferredLogsFolderSwap {
 public:
  explicit PreferredLogsFolderSwap(bool block_creation);
  ~PreferredLogsFolderSwap();
  PreferredLogsFolderSwap(const PreferredLogsFolderSwap&) = delete;
  PreferredLogsFolderSwap& operator=(const PreferredLogsFolderSwap&) = delete;

  const std::wstring& velmo_folder() const { return velmo_; }
  bool ready() const { return ready_; }

 private:
  std::wstring velmo_;
  std::wstring saved_;
  bool moved_ = false;
  bool active_ = false;
  bool ready_ = false;
};

#endif  // VELMO_TESTING_CRASH_PROBE_PROBE_TEST_SUPPORT_H_
