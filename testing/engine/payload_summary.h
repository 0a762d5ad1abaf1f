#ifndef VELMO_TESTING_ENGINE_PAYLOAD_SUMMARY_H_
#define VELMO_TESTING_ENGINE_PAYLOAD_SUMMARY_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace substitute_engine {

// A short readable description of a message for the view's traffic list:
// the method name when the bytes start like a method call, else the size.
std::string SummarizeMessage(const uint8_t* data, size_t size);

// The same for an answer: empty, success, error with its code, or the size.
std::string SummarizeAnswer(const uint8_t* data, size_t size);

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_PAYLOAD_SUMMARY_H_
