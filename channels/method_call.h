#ifndef VELMO_CHANNELS_METHOD_CALL_H_
#define VELMO_CHANNELS_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"

namespace flutter {

// One method call: a method name and its arguments.
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<EncodableValue> arguments)
      : method_name_(std::move(method_name)), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }
  // Null when the call carries no arguments.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_METHOD_CALL_H_
