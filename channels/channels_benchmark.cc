// Encode and decode costs of typical channel payloads. Bulk payloads run next
// to a plain memcpy of the same bytes; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "channels/standard_codec_serializer.h"
#include "channels/standard_method_codec.h"

namespace flutter {
namespace {

constexpr size_t kByteListSize = 1 << 20;
constexpr size_t kDoubleListSize = 128 * 1024;
constexpr int kOverlayMembers = 16;

EncodableValue SmallArguments() {
  return EncodableValue(EncodableMap{
      {EncodableValue("inputDeviceId"), EncodableValue("{0.0.1.00000000}.{4f1a}")},
      {EncodableValue("outputDeviceId"), EncodableValue("{0.0.0.00000000}.{9c2e}")},
      {EncodableValue("volume"), EncodableValue(0.8)},
      {EncodableValue("enabled"), EncodableValue(true)},
      {EncodableValue("bufferMs"), EncodableValue(int32_t{20})},
  });
}

EncodableValue OverlayMembers() {
  EncodableList members;
  for (int i = 0; i < kOverlayMembers; ++i) {
    members.push_back(EncodableValue(EncodableMap{
        {EncodableValue("id"), EncodableValue("user-" + std::to_string(1000 + i))},
        {EncodableValue("name"), EncodableValue("Member number " + std::to_string(i))},
        {EncodableValue("avatarUrl"),
         EncodableValue("https://cdn.example.com/avatars/" + std::to_string(i) + ".png")},
        {EncodableValue("speaking"), EncodableValue(i % 3 == 0)},
        {EncodableValue("muted"), EncodableValue(i % 5 == 0)},
    }));
  }
  return EncodableValue(std::move(members));
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

void EncodeValue(benchmark::State& state, const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    bytes.clear();
    ByteBufferStreamWriter writer(&bytes);
    StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void DecodeValue(benchmark::State& state, const EncodableValue& value) {
  const std::vector<uint8_t> bytes = Encode(value);
  for (auto _ : state) {
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EncodableValue decoded = StandardCodecSerializer::GetInstance().ReadValue(&reader);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Memcpy(benchmark::State& state, size_t size) {
  const std::vector<uint8_t> source(size, 0x5A);
  std::vector<uint8_t> destination(size);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), size);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void SmallCallEncode(benchmark::State& state) {
  const MethodCall call("setDevices", std::make_unique<EncodableValue>(SmallArguments()));
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  for (auto _ : state) benchmark::DoNotOptimize(codec.EncodeMethodCall(call));
}

void SmallCallDecode(benchmark::State& state) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  const auto bytes = codec.EncodeMethodCall(
      MethodCall("setDevices", std::make_unique<EncodableValue>(SmallArguments())));
  for (auto _ : state) benchmark::DoNotOptimize(codec.DecodeMethodCall(*bytes));
}

// Prints each "<group>/Encode" and "<group>/Decode" CPU time as a multiple of
// "<group>/Memcpy". CPU time, because the build machines are shared.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, compare medians.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      times_[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [name, time] : times_) {
      const auto slash = name.rfind('/');
      if (slash == std::string::npos || name.substr(slash) == "/Memcpy") continue;
      const auto copy = times_.find(name.substr(0, slash) + "/Memcpy");
      if (copy == times_.end() || copy->second <= 0) continue;
      std::printf("%-28s %6.2fx memcpy\n", name.c_str(), time / copy->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace flutter

int main(int argc, char** argv) {
  using namespace flutter;
  static const EncodableValue members = OverlayMembers();
  static const EncodableValue byte_list(std::vector<uint8_t>(kByteListSize, 0xA5));
  static const EncodableValue double_list(std::vector<double>(kDoubleListSize, 0.5));

  benchmark::RegisterBenchmark("SmallCall/Encode", SmallCallEncode);
  benchmark::RegisterBenchmark("SmallCall/Decode", SmallCallDecode);
  benchmark::RegisterBenchmark("OverlayMembers16/Encode",
                               [](benchmark::State& s) { EncodeValue(s, members); });
  benchmark::RegisterBenchmark("OverlayMembers16/Decode",
                               [](benchmark::State& s) { DecodeValue(s, members); });
  benchmark::RegisterBenchmark("ByteList1MiB/Encode",
                               [](benchmark::State& s) { EncodeValue(s, byte_list); });
  benchmark::RegisterBenchmark("ByteList1MiB/Decode",
                               [](benchmark::State& s) { DecodeValue(s, byte_list); });
  benchmark::RegisterBenchmark("ByteList1MiB/Memcpy",
                               [](benchmark::State& s) { Memcpy(s, kByteListSize); });
  benchmark::RegisterBenchmark("DoubleList128Ki/Encode",
                               [](benchmark::State& s) { EncodeValue(s, double_list); });
  benchmark::RegisterBenchmark("DoubleList128Ki/Decode",
                               [](benchmark::State& s) { DecodeValue(s, double_list); });
  benchmark::RegisterBenchmark("DoubleList128Ki/Memcpy", [](benchmark::State& s) {
    Memcpy(s, kDoubleListSize * sizeof(double));
  });

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
