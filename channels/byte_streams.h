#ifndef VELMO_CHANNELS_BYTE_STREAMS_H_
#define VELMO_CHANNELS_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flutter {

// Source of the bytes of one serialised message.
class ByteStreamReader {
 public:
  ByteStreamReader() = default;
  ByteStreamReader(const ByteStreamReader&) = delete;
  ByteStreamReader& operator=(const ByteStreamReader&) = delete;
  virtual ~ByteStreamReader() = default;

  // One byte; 0 after reporting an invalid read when none is left.
  virtual uint8_t ReadByte() = 0;
  // Exactly `length` bytes into `buffer`; when fewer are left, reports an
  // invalid read and leaves `buffer` untouched.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next offset, counted from the start of the message, that is a
  // multiple of `alignment`.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // Bytes that can still be read; lets a reader refuse declared sizes that the
  // message cannot hold before allocating for them.
  virtual size_t BytesRemaining() const = 0;

  int32_t ReadInt32();
  int64_t ReadInt64();
  double ReadDouble();
};

// Sink of the bytes of one serialised message.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  ByteStreamWriter(const ByteStreamWriter&) = delete;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = delete;
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Writes zero bytes up to the next offset, counted from the start of the
  // message, that is a multiple of `alignment`.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  void WriteInt32(int32_t value);
  void WriteInt64(int64_t value);
  void WriteDouble(double value);
};

// Reads a borrowed byte range; the bytes must outlive the reader.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;
  size_t BytesRemaining() const override;

  // Offset of the next byte to read; may lie past the end after an alignment.
  size_t position() const { return location_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
};

// Appends to a byte vector owned by the caller.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

// The one diagnostic of a read past the end of a message.
void ReportInvalidRead();

}  // namespace flutter

#endif  // VELMO_CHANNELS_BYTE_STREAMS_H_
