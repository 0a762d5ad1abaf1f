// Feeds arbitrary bytes to the method-call decoder and the reply-envelope
// decoder, and checks that whatever decodes survives encode -> decode
// unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
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
  std::fprintf(stderr, "round trip check failed at line %d\n", line);
  std::abort();
}

#define CHECK(condition)              \
  do {                                \
    if (!(condition)) Fail(__LINE__); \
  } while (false)

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
  const std::unique_ptr<flutter::MethodCall> call = codec.DecodeMethodCall(data, size);
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
  // Malformed input makes the codec report on std::cerr at every step; keep
  // the fuzzer's own output readable.
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  RoundTripMethodCall(codec, data, size);
  RoundTripEnvelope(codec, data, size);
  return 0;
}
