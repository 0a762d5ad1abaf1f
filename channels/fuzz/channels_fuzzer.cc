// Feeds arbitrary bytes to the method-call decoder and the reply-envelope
// decoder, and checks that whatever decodes survives encode -> decode
// unchanged, and that decoding a call holds no more heap than its size allows.
// Run it with -close_fd_mask=2: the codec reports malformed input on the
// standard error stream at every step. Failed checks report on standard
// output, which stays open.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "channels/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

void Fail(int line) {
  std::printf("round trip check failed at line %d\n", line);
  std::fflush(stdout);
  std::abort();
}

#define CHECK(condition)              \
  do {                                \
    if (!(condition)) Fail(__LINE__); \
  } while (false)

// What decoding a call may hold at its peak: an EncodableValue per byte of
// the message (a list of nulls) with room to spare, plus a constant. Hostile
// shapes (nested lists each declaring the rest of the message) used to
// reserve that much per nesting level.
constexpr size_t kHeapPerMessageByte = 2 * sizeof(EncodableValue);
constexpr size_t kHeapConstant = 4096;

// Heap live above the level at the start of a measurement, and its peak; the
// sanitizer's allocator reports every allocation and release of this thread.
bool measuring = false;
int64_t live_bytes = 0;
int64_t peak_bytes = 0;

void OnMalloc(const volatile void*, size_t size) {
  if (!measuring) return;
  live_bytes += static_cast<int64_t>(size);
  peak_bytes = std::max(peak_bytes, live_bytes);
}

void OnFree(const volatile void* pointer) {
  if (!measuring || pointer == nullptr) return;
  live_bytes -= static_cast<int64_t>(__sanitizer_get_allocated_size(pointer));
}

std::unique_ptr<flutter::MethodCall> MeasuredDecode(const flutter::MethodCodec& codec,
                                                    const uint8_t* data, size_t size) {
  live_bytes = 0;
  peak_bytes = 0;
  measuring = true;
  std::unique_ptr<flutter::MethodCall> call = codec.DecodeMethodCall(data, size);
  measuring = false;
  if (static_cast<size_t>(peak_bytes) > kHeapPerMessageByte * size + kHeapConstant) {
    std::printf("decoding %zu bytes held %lld bytes of heap\n", size,
                static_cast<long long>(peak_bytes));
    std::fflush(stdout);
    std::abort();
  }
  return call;
}

// Equality that treats a double as its bit pattern, so that NaNs round-trip.
bool Same(const EncodableValue& a, const EncodableValue& b);

template <typename T>
bool SameElements(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  if constexpr (std::is_same_v<T, EncodableValue>) {
    for (size_t i = 0; i < a.size(); ++i) {
      if (!Same(a[i], b[i])) return false;
    }
    return true;
  } else {
    return a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
  }
}

bool Same(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  if (const auto* x = std::get_if<double>(&a)) {
    return std::memcmp(x, &std::get<double>(b), sizeof(double)) == 0;
  }
  if (const auto* x = std::get_if<std::vector<double>>(&a)) {
    return SameElements(*x, std::get<std::vector<double>>(b));
  }
  if (const auto* x = std::get_if<std::vector<float>>(&a)) {
    return SameElements(*x, std::get<std::vector<float>>(b));
  }
  if (const auto* x = std::get_if<EncodableList>(&a)) {
    return SameElements(*x, std::get<EncodableList>(b));
  }
  if (const auto* x = std::get_if<EncodableMap>(&a)) {
    const auto& y = std::get<EncodableMap>(b);
    if (x->size() != y.size()) return false;
    for (auto i = x->begin(), j = y.begin(); i != x->end(); ++i, ++j) {
      if (!Same(i->first, j->first) || !Same(i->second, j->second)) return false;
    }
    return true;
  }
  return a == b;
}

// Keeps what an envelope decoded to.
class CapturingResult : public flutter::MethodResult {
 public:
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  int answers = 0;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    ++answers;
    kind = Kind::kSuccess;
    if (result) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* error_details) override {
    ++answers;
    kind = Kind::kError;
    code = error_code;
    message = error_message;
    if (error_details) value = *error_details;
  }
  void NotImplementedInternal() override {
    ++answers;
    kind = Kind::kNotImplemented;
  }
};

void RoundTripMethodCall(const flutter::MethodCodec& codec, const uint8_t* data, size_t size) {
  const std::unique_ptr<flutter::MethodCall> call = MeasuredDecode(codec, data, size);
  if (!call) return;
  CHECK(call->arguments() != nullptr);
  const auto encoded = codec.EncodeMethodCall(*call);
  const auto again = codec.DecodeMethodCall(*encoded);
  CHECK(again != nullptr);
  CHECK(again->method_name() == call->method_name());
  CHECK(again->arguments() != nullptr && Same(*again->arguments(), *call->arguments()));
  CHECK(*codec.EncodeMethodCall(*again) == *encoded);
}

void RoundTripEnvelope(const flutter::MethodCodec& codec, const uint8_t* data, size_t size) {
  CapturingResult first;
  if (!codec.DecodeAndProcessResponseEnvelope(data, size, &first)) {
    CHECK(first.answers == 0);
    return;
  }
  CHECK(first.answers == 1);
  const EncodableValue* value = first.value ? &*first.value : nullptr;
  const auto encoded = first.kind == CapturingResult::Kind::kSuccess
                           ? codec.EncodeSuccessEnvelope(value)
                           : codec.EncodeErrorEnvelope(first.code, first.message, value);
  CapturingResult second;
  CHECK(codec.DecodeAndProcessResponseEnvelope(encoded->data(), encoded->size(), &second));
  CHECK(second.answers == 1 && second.kind == first.kind);
  CHECK(second.code == first.code && second.message == first.message);
  CHECK(second.value.has_value() == first.value.has_value());
  if (first.value) CHECK(Same(*second.value, *first.value));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  RoundTripMethodCall(codec, data, size);
  RoundTripEnvelope(codec, data, size);
  return 0;
}
