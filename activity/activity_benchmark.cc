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

// Names the way a Windows snapshot reports them: mostly system and
// background programs, some sharing a prefix with known keys, one game and
// one player near the end.
std::vector<std::u16string> ExeFiles() {
  static const char16_t* const kCommon[] = {u"svchost.exe",
                                            u"RuntimeBroker.exe",
                                            u"explorer.exe",
                                            u"chrome.exe",
                                            u"msedgewebview2.exe",
                                            u"conhost.exe",
                                            u"SearchHost.exe",
                                            u"dllhost.exe",
                                            u"OneDrive.exe",
                                            u"ctfmon.exe",
                                            u"StartMenuExperienceHost.exe",
                                            u"WmiPrvSE.exe",
                                            u"audiodg.exe",
                                            u"NVIDIA Web Helper.exe",
                                            u"steamwebhelper.exe",
                                            u"SecurityHealthSystray.exe"};
  std::vector<std::u16string> names;
  names.reserve(kProcessCount);
  for (int i = 0; names.size() < kProcessCount - 2; ++i) {
    names.emplace_back(kCommon[i % std::size(kCommon)]);
  }
  names.emplace_back(u"Spotify.exe");
  names.emplace_back(u"cs2.exe");
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
