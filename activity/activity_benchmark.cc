// Classifying the processes of a busy desktop: 1,000 executable names, a few
// of them known. The goal is under 1 ms for the whole list. The three
// benchmarks split the time between normalising the names, matching them
// against the rules and the whole "detect" answer.
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "activity/activity_classifier.h"

namespace {

constexpr int kProcessCount = 1000;

// What a Windows snapshot of a busy desktop holds: system and background
// programs over and over (one of them an "app" by substring), then a player
// and a game at the end, so the best match changes late.
constexpr const char16_t* kBackgroundExeFiles[] = {
    u"svchost.exe",
    u"RuntimeBroker.exe",
    u"explorer.exe",
    u"chrome.exe",
    u"msedgewebview2.exe",
    u"conhost.exe",
    u"SearchHost.exe",
    u"dllhost.exe",
    u"OneDrive.exe",
    u"ctfmon.exe",
    u"WmiPrvSE.exe",
    u"audiodg.exe",
    u"steamwebhelper.exe",
    u"NVIDIA Web Helper.exe",
    u"StartMenuExperienceHost.exe",
    u"SecurityHealthSystray.exe",
};
constexpr const char16_t* kLastExeFiles[] = {u"Spotify.exe", u"cs2.exe"};

std::vector<std::u16string> ExeFiles() {
  std::vector<std::u16string> names;
  names.reserve(kProcessCount);
  const int background = kProcessCount - static_cast<int>(std::size(kLastExeFiles));
  for (int i = 0; i < background; ++i) {
    names.emplace_back(kBackgroundExeFiles[i % std::size(kBackgroundExeFiles)]);
  }
  names.insert(names.end(), std::begin(kLastExeFiles), std::end(kLastExeFiles));
  return names;
}

std::vector<std::u16string> Normalized(const std::vector<std::u16string>& exe_files) {
  std::vector<std::u16string> names;
  names.reserve(exe_files.size());
  for (const std::u16string& exe_file : exe_files) {
    names.push_back(NormalizeProcessName(exe_file));
  }
  return names;
}

void BM_NormalizeProcessNames(benchmark::State& state) {
  const std::vector<std::u16string> exe_files = ExeFiles();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Normalized(exe_files));
  }
  state.SetItemsProcessed(state.iterations() * kProcessCount);
}
BENCHMARK(BM_NormalizeProcessNames);

void BM_FindActivityRule(benchmark::State& state) {
  const std::vector<std::u16string> names = Normalized(ExeFiles());
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindActivityRule(names));
  }
  state.SetItemsProcessed(state.iterations() * kProcessCount);
}
BENCHMARK(BM_FindActivityRule);

// What "detect" spends after the snapshot walk: normalising, matching and
// building the answer.
void BM_ClassifyProcesses(benchmark::State& state) {
  const std::vector<std::u16string> exe_files = ExeFiles();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ActivityReply(Normalized(exe_files)));
  }
  state.SetItemsProcessed(state.iterations() * kProcessCount);
}
BENCHMARK(BM_ClassifyProcesses);

}  // namespace
