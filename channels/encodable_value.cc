#include "channels/encodable_value.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <type_traits>

namespace flutter {
namespace {

// `<` of floats, except that a NaN sorts after every number and alongside
// every other NaN. Plain `<` is no strict weak ordering once a NaN takes part,
// and a map keyed by such values (a decoded message can hold any) would be
// undefined behaviour.
template <typename Float>
bool FloatLess(Float lhs, Float rhs) {
  if (std::isnan(lhs)) return false;
  if (std::isnan(rhs)) return true;
  return lhs < rhs;
}

struct Less {
  template <typename T>
  bool operator()(const T& lhs, const T& rhs) const {
    return lhs < rhs;
  }

  bool operator()(const std::monostate&, const std::monostate&) const { return false; }

  bool operator()(double lhs, double rhs) const { return FloatLess(lhs, rhs); }

  template <typename T>
  bool operator()(const std::vector<T>& lhs, const std::vector<T>& rhs) const {
    if constexpr (std::is_floating_point_v<T>) {
      return std::lexicographical_compare(lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
                                          FloatLess<T>);
    } else {
      return std::lexicographical_compare(lhs.begin(), lhs.end(), rhs.begin(), rhs.end());
    }
  }

  bool operator()(const EncodableList& lhs, const EncodableList& rhs) const {
    return std::lexicographical_compare(
        lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
        [](const EncodableValue& a, const EncodableValue& b) { return a < b; });
  }

  bool operator()(const EncodableMap& lhs, const EncodableMap& rhs) const {
    return std::lexicographical_compare(
        lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
        [](const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
          if (a.first < b.first) return true;
          if (b.first < a.first) return false;
          return a.second < b.second;
        });
  }
};

// Equivalence under FloatLess, so that `==` agrees with the ordering: a NaN
// equals every NaN (a map holding a NaN key equals itself).
template <typename Float>
bool FloatEqual(Float lhs, Float rhs) {
  return !FloatLess(lhs, rhs) && !FloatLess(rhs, lhs);
}

struct Equal {
  template <typename T>
  bool operator()(const T& lhs, const T& rhs) const {
    return lhs == rhs;
  }

  bool operator()(const std::monostate&, const std::monostate&) const { return true; }

  bool operator()(double lhs, double rhs) const { return FloatEqual(lhs, rhs); }

  template <typename T>
  bool operator()(const std::vector<T>& lhs, const std::vector<T>& rhs) const {
    if constexpr (std::is_floating_point_v<T>) {
      return std::equal(lhs.begin(), lhs.end(), rhs.begin(), rhs.end(), FloatEqual<T>);
    } else {
      return lhs == rhs;
    }
  }

  bool operator()(const EncodableList& lhs, const EncodableList& rhs) const {
    return std::equal(lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
                      [](const EncodableValue& a, const EncodableValue& b) { return a == b; });
  }

  bool operator()(const EncodableMap& lhs, const EncodableMap& rhs) const {
    return std::equal(lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
                      [](const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
                        return a.first == b.first && a.second == b.second;
                      });
  }
};

// Applies `op` to the two values' contents; both must hold the same
// alternative.
template <typename Op>
bool CompareSameAlternative(const EncodableValue& lhs, const EncodableValue& rhs, Op op) {
  return std::visit(
      [&rhs, &op](const auto& left) {
        using T = std::decay_t<decltype(left)>;
        return op(left, std::get<T>(rhs));
      },
      static_cast<const EncodableValueVariant&>(lhs));
}

}  // namespace

bool operator<(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs) {
  return std::less<const void*>()(lhs.address(), rhs.address());
}

bool operator==(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs) {
  return lhs.address() == rhs.address();
}

int64_t EncodableValue::LongValue() const {
  if (const auto* value = std::get_if<int32_t>(this)) return *value;
  return std::get<int64_t>(*this);
}

bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return lhs.index() < rhs.index();
  return CompareSameAlternative(lhs, rhs, Less{});
}

std::weak_ordering operator<=>(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs < rhs) return std::weak_ordering::less;
  if (rhs < lhs) return std::weak_ordering::greater;
  return std::weak_ordering::equivalent;
}

bool operator==(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return false;
  return CompareSameAlternative(lhs, rhs, Equal{});
}

}  // namespace flutter
