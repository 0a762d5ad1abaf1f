// A process that only exists: it prints "ready" once it runs and then sleeps
// until it is killed. Copied under the executable names of known programs, it
// stands in for them in the process list.
//
// It ends by itself after a while, so that a test run that dies without
// killing its copies does not leave a "game" running for the tests after it.
#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kLifetimeMs = 5 * 60 * 1000;

}  // namespace

int main() {
  std::puts("ready");
  std::fflush(stdout);
  Sleep(kLifetimeMs);
  return 0;
}
