// Prints the number of threads of the process whose id is the only argument,
// as a system-wide thread snapshot sees them. Exit code 2 for a bad argument,
// 1 when no snapshot can be taken.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kSnapshotFailed = 1;
constexpr int kBadArgument = 2;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: thread_count PID\n");
    return kBadArgument;
  }
  const DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return kSnapshotFailed;
  }
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == pid) {
      ++count;
    }
  }
  CloseHandle(snapshot);
  std::printf("%d\n", count);
  return 0;
}
