#ifndef VELMO_CHANNELS_STANDARD_CODEC_SERIALIZER_H_
#define VELMO_CHANNELS_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "channels/byte_streams.h"
#include "channels/encodable_value.h"

namespace flutter {

// Reads and writes EncodableValues in the standard message codec's byte
// format. Stateless; one instance serves every channel and thread.
class StandardCodecSerializer {
 public:
  // Lists and maps nested deeper than this are refused when read. The Flutter
  // side of this system nests at most three levels (a list of maps of
  // scalars); the limit keeps a hostile message from exhausting the stack
  // (a Windows main thread has 1 MiB) while leaving a wide margin.
  static constexpr int kMaxNestingDepth = 128;

  StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;
  virtual ~StandardCodecSerializer() = default;

  // The shared instance, created on first use and kept until process exit.
  static const StandardCodecSerializer& GetInstance();

  // Writes the type byte and payload of `value`.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the payload of a value whose type byte has already been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads one complete value: type byte, then payload.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  void WriteSize(size_t size, ByteStreamWriter* stream) const;
  size_t ReadSize(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_STANDARD_CODEC_SERIALIZER_H_
