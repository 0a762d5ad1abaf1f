#include "channels/byte_streams.h"

#include <bit>
#include <cstring>

#include "channels/error_line.h"

namespace flutter {

// The wire format is little-endian and numbers are copied as raw bytes.
static_assert(std::endian::native == std::endian::little);

void ReportInvalidRead() { WriteErrorLine("Invalid read in StandardCodecByteStreamReader"); }

int32_t ByteStreamReader::ReadInt32() {
  int32_t value = 0;
  ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
  return value;
}

int64_t ByteStreamReader::ReadInt64() {
  int64_t value = 0;
  ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
  return value;
}

double ByteStreamReader::ReadDouble() {
  double value = 0;
  ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
  return value;
}

void ByteStreamWriter::WriteInt32(int32_t value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

void ByteStreamWriter::WriteInt64(int64_t value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

void ByteStreamWriter::WriteDouble(double value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(bytes == nullptr ? 0 : size) {}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) {
    ReportInvalidRead();
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  if (location_ > size_ || length > size_ - location_) {
    ReportInvalidRead();
    return;
  }
  if (length > 0) {
    std::memcpy(buffer, bytes_ + location_, length);
    location_ += length;
  }
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment <= 1) return;
  const size_t misalignment = location_ % alignment;
  if (misalignment != 0) location_ += alignment - misalignment;
}

size_t ByteBufferStreamReader::BytesRemaining() const {
  return location_ < size_ ? size_ - location_ : 0;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment <= 1) return;
  while (buffer_->size() % alignment != 0) WriteByte(0);
}

}  // namespace flutter
