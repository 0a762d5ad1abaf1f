#ifndef VELMO_CHANNELS_ENCODABLE_VALUE_H_
#define VELMO_CHANNELS_ENCODABLE_VALUE_H_

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// An application object carried in an EncodableValue. The standard codec cannot
// serialise it; it exists so that extended codecs could.
class CustomEncodableValue {
 public:
  template <typename T>
  requires(!std::is_same_v<std::remove_cvref_t<T>,
                           CustomEncodableValue>) explicit CustomEncodableValue(T&& value)
      : holder_(std::make_unique<Holder<std::remove_cvref_t<T>>>(std::forward<T>(value))) {}

  CustomEncodableValue(const CustomEncodableValue& other) : holder_(other.holder_->Clone()) {}
  CustomEncodableValue& operator=(const CustomEncodableValue& other) {
    if (this != &other) holder_ = other.holder_->Clone();
    return *this;
  }
  CustomEncodableValue(CustomEncodableValue&&) noexcept = default;
  CustomEncodableValue& operator=(CustomEncodableValue&&) noexcept = default;
  ~CustomEncodableValue() = default;

  const std::type_info& type() const { return holder_->Type(); }

  // The held object when it is a T, otherwise null.
  template <typename T>
  const T* TryGet() const {
    if (holder_->Type() != typeid(T)) return nullptr;
    return static_cast<const T*>(holder_->Address());
  }

  // Identity of the held object; custom values order and compare by it.
  const void* address() const { return holder_->Address(); }

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
    virtual std::unique_ptr<HolderBase> Clone() const = 0;
    virtual const std::type_info& Type() const = 0;
    virtual const void* Address() const = 0;
  };
  template <typename T>
  struct Holder final : HolderBase {
    template <typename U>
    explicit Holder(U&& v) : value(std::forward<U>(v)) {}
    std::unique_ptr<HolderBase> Clone() const override { return std::make_unique<Holder>(value); }
    const std::type_info& Type() const override { return typeid(T); }
    const void* Address() const override { return &value; }
    T value;
  };

  std::unique_ptr<HolderBase> holder_;
};

bool operator<(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs);
bool operator==(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs);

// The order of the alternatives is their wire type and their sort order: do
// not reorder.
using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList,
                 EncodableMap, CustomEncodableValue, std::vector<float>>;

// The value of every channel payload. A default-constructed value is null.
class EncodableValue : public EncodableValueVariant {
 public:
  using EncodableValueVariant::EncodableValueVariant;
  using EncodableValueVariant::operator=;

  EncodableValue() = default;
  // Without this a string literal would become the bool alternative.
  EncodableValue(const char* string) : EncodableValueVariant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    EncodableValueVariant::operator=(std::string(string));
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The int32 or int64 alternative widened to 64 bits; any other alternative
  // throws std::bad_variant_access.
  int64_t LongValue() const;

  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs);
  // Derived from operator<. Declaring it also keeps C++20 comparisons from
  // falling back to std::variant's operator<=>, whose constraints recurse
  // through the list and map alternatives.
  friend std::weak_ordering operator<=>(const EncodableValue& lhs, const EncodableValue& rhs);
  friend bool operator==(const EncodableValue& lhs, const EncodableValue& rhs);
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENCODABLE_VALUE_H_
