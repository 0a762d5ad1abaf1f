#ifndef VELMO_CHANNELS_METHOD_RESULT_H_
#define VELMO_CHANNELS_METHOD_RESULT_H_

#include <string>

#include "channels/encodable_value.h"

namespace flutter {

// The answer to one method call: exactly one of success, error or
// not-implemented.
class MethodResult {
 public:
  MethodResult() = default;
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;
  virtual ~MethodResult() = default;

  void Success(const EncodableValue& result) { SuccessInternal(&result); }
  void Success() { SuccessInternal(nullptr); }

  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }
  void Error(const std::string& error_code, const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }

  void NotImplemented() { NotImplementedInternal(); }

 protected:
  // `result` is null for a success without a value.
  virtual void SuccessInternal(const EncodableValue* result) = 0;
  // `error_details` is null when there are none.
  virtual void ErrorInternal(const std::string& error_code, const std::string& error_message,
                             const EncodableValue* error_details) = 0;
  virtual void NotImplementedInternal() = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_METHOD_RESULT_H_
