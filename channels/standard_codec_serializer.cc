#include "channels/standard_codec_serializer.h"

#include <string>
#include <utility>
#include <vector>

#include "channels/error_line.h"

namespace flutter {
namespace {

// Type bytes of the wire format.
constexpr uint8_t kNullType = 0;
constexpr uint8_t kTrueType = 1;
constexpr uint8_t kFalseType = 2;
constexpr uint8_t kInt32Type = 3;
constexpr uint8_t kInt64Type = 4;
constexpr uint8_t kLegacyStringType = 5;
constexpr uint8_t kFloat64Type = 6;
constexpr uint8_t kStringType = 7;
constexpr uint8_t kByteListType = 8;
constexpr uint8_t kInt32ListType = 9;
constexpr uint8_t kInt64ListType = 10;
constexpr uint8_t kFloat64ListType = 11;
constexpr uint8_t kListType = 12;
constexpr uint8_t kMapType = 13;
constexpr uint8_t kFloat32ListType = 14;

// Size prefixes: one byte below kSize16Marker, else a marker and 2 or 4 bytes.
constexpr uint8_t kSize16Marker = 254;
constexpr uint8_t kSize32Marker = 255;
constexpr size_t kMaxSize16 = 0xFFFF;

// Nesting depth of the list or map being read on this thread. A thread-local
// counter rather than a parameter, so that a derived serializer's
// ReadValueOfType keeps the signature and still counts.
thread_local int read_nesting_depth = 0;

class NestingScope {
 public:
  NestingScope() { ++read_nesting_depth; }
  ~NestingScope() { --read_nesting_depth; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

  bool too_deep() const { return read_nesting_depth > StandardCodecSerializer::kMaxNestingDepth; }
};

// Type bytes the enclosing lists and maps still need for the elements they
// have yet to read, on the stream they read. Every element takes at least its
// type byte, so a container may only claim the bytes left beyond these: a
// nested container declaring the whole rest of the message is refused instead
// of reserving for it, and all reservations alive at once stay within the
// message's size. Thread-local for the same reason as the depth above.
struct PendingElements {
  const ByteStreamReader* stream = nullptr;
  size_t type_bytes = 0;
};
thread_local PendingElements pending_elements;

size_t PendingOn(const ByteStreamReader* stream) {
  return pending_elements.stream == stream ? pending_elements.type_bytes : 0;
}

// Bytes a container starting here may claim for its elements.
size_t BytesForElements(const ByteStreamReader* stream) {
  const size_t remaining = stream->BytesRemaining();
  const size_t pending = PendingOn(stream);
  return remaining > pending ? remaining - pending : 0;
}

// Marks the type bytes a container still needs while one of its elements is
// read, on top of those of its own enclosing containers.
class PendingScope {
 public:
  explicit PendingScope(const ByteStreamReader* stream)
      : saved_(pending_elements), base_(PendingOn(stream)) {
    pending_elements.stream = stream;
  }
  ~PendingScope() { pending_elements = saved_; }
  PendingScope(const PendingScope&) = delete;
  PendingScope& operator=(const PendingScope&) = delete;

  void Reading(size_t type_bytes_after) { pending_elements.type_bytes = base_ + type_bytes_after; }

 private:
  PendingElements saved_;
  size_t base_;
};

void ReportTooDeep() {
  WriteErrorLine("Nesting deeper than " +
                 std::to_string(StandardCodecSerializer::kMaxNestingDepth) +
                 " levels in StandardCodecSerializer::ReadValueOfType");
}

// Reads `count` bytes into a new container, or reports an invalid read and
// yields an empty one when the message holds fewer.
template <typename Container>
Container ReadByteSequence(ByteStreamReader* stream, size_t count) {
  if (count > stream->BytesRemaining()) {
    ReportInvalidRead();
    return Container();
  }
  Container bytes(count, typename Container::value_type{});
  stream->ReadBytes(reinterpret_cast<uint8_t*>(bytes.data()), count);
  return bytes;
}

template <typename T>
std::vector<T> ReadTypedList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSize(stream);
  stream->ReadAlignment(static_cast<uint8_t>(sizeof(T)));
  if (count > stream->BytesRemaining() / sizeof(T)) {
    ReportInvalidRead();
    return {};
  }
  std::vector<T> list(count);
  // Also for an empty list, so that an alignment past the end is reported.
  stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return list;
}

template <typename T>
void WriteTypedList(const StandardCodecSerializer& serializer, const std::vector<T>& list,
                    ByteStreamWriter* stream) {
  serializer.WriteSize(list.size(), stream);
  // Aligned even when empty: the reader (ours and the Flutter side's) always
  // skips to the alignment, and would otherwise swallow the next value's
  // bytes.
  stream->WriteAlignment(static_cast<uint8_t>(sizeof(T)));
  if (list.empty()) return;
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

// True when another value can be read; otherwise reports the invalid read
// once, so that a truncated container ends instead of filling its declared
// count with nulls.
bool CanReadValue(ByteStreamReader* stream) {
  if (stream->BytesRemaining() > 0) return true;
  ReportInvalidRead();
  return false;
}

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer* const instance = new StandardCodecSerializer();
  return *instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNullType:
      return EncodableValue();
    case kTrueType:
      return EncodableValue(true);
    case kFalseType:
      return EncodableValue(false);
    case kInt32Type:
      return EncodableValue(stream->ReadInt32());
    case kInt64Type:
      return EncodableValue(stream->ReadInt64());
    case kFloat64Type:
      stream->ReadAlignment(8);
      return EncodableValue(stream->ReadDouble());
    case kLegacyStringType:
    case kStringType:
      return EncodableValue(ReadByteSequence<std::string>(stream, ReadSize(stream)));
    case kByteListType:
      return EncodableValue(ReadByteSequence<std::vector<uint8_t>>(stream, ReadSize(stream)));
    case kInt32ListType:
      return EncodableValue(ReadTypedList<int32_t>(*this, stream));
    case kInt64ListType:
      return EncodableValue(ReadTypedList<int64_t>(*this, stream));
    case kFloat64ListType:
      return EncodableValue(ReadTypedList<double>(*this, stream));
    case kFloat32ListType:
      return EncodableValue(ReadTypedList<float>(*this, stream));
    case kListType: {
      NestingScope nesting;
      if (nesting.too_deep()) {
        ReportTooDeep();
        return EncodableValue();
      }
      const size_t count = ReadSize(stream);
      if (count > BytesForElements(stream)) {
        ReportInvalidRead();
        return EncodableValue(EncodableList());
      }
      EncodableList list;
      list.reserve(count);
      PendingScope pending(stream);
      for (size_t i = 0; i < count && CanReadValue(stream); ++i) {
        pending.Reading(count - i - 1);
        const uint8_t element_type = stream->ReadByte();
        list.push_back(ReadValueOfType(element_type, stream));
      }
      return EncodableValue(std::move(list));
    }
    case kMapType: {
      NestingScope nesting;
      if (nesting.too_deep()) {
        ReportTooDeep();
        return EncodableValue();
      }
      const size_t count = ReadSize(stream);
      // Every entry takes at least two type bytes.
      if (count > BytesForElements(stream) / 2) {
        ReportInvalidRead();
        return EncodableValue(EncodableMap());
      }
      EncodableMap map;
      PendingScope pending(stream);
      for (size_t i = 0; i < count && CanReadValue(stream); ++i) {
        const size_t later_entries = count - i - 1;
        pending.Reading(2 * later_entries + 1);
        const uint8_t key_type = stream->ReadByte();
        EncodableValue key = ReadValueOfType(key_type, stream);
        if (!CanReadValue(stream)) break;
        pending.Reading(2 * later_entries);
        const uint8_t value_type = stream->ReadByte();
        EncodableValue value = ReadValueOfType(value_type, stream);
        // The first of duplicate keys wins. Senders usually write keys in
        // order, which the end hint turns into constant-time inserts.
        map.emplace_hint(map.end(), std::move(key), std::move(value));
      }
      return EncodableValue(std::move(map));
    }
    default:
      WriteErrorLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                     std::to_string(type));
      return EncodableValue();
  }
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t byte = stream->ReadByte();
  if (byte < kSize16Marker) return byte;
  if (byte == kSize16Marker) {
    uint16_t size = 0;
    stream->ReadBytes(reinterpret_cast<uint8_t*>(&size), sizeof(size));
    return size;
  }
  uint32_t size = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&size), sizeof(size));
  return size;
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < kSize16Marker) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= kMaxSize16) {
    stream->WriteByte(kSize16Marker);
    const uint16_t value = static_cast<uint16_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  } else {
    stream->WriteByte(kSize32Marker);
    const uint32_t value = static_cast<uint32_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  }
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (const auto* flag = std::get_if<bool>(&value)) {
    stream->WriteByte(*flag ? kTrueType : kFalseType);
  } else if (const auto* int32 = std::get_if<int32_t>(&value)) {
    stream->WriteByte(kInt32Type);
    stream->WriteInt32(*int32);
  } else if (const auto* int64 = std::get_if<int64_t>(&value)) {
    stream->WriteByte(kInt64Type);
    stream->WriteInt64(*int64);
  } else if (const auto* number = std::get_if<double>(&value)) {
    stream->WriteByte(kFloat64Type);
    stream->WriteAlignment(8);
    stream->WriteDouble(*number);
  } else if (const auto* string = std::get_if<std::string>(&value)) {
    stream->WriteByte(kStringType);
    WriteSize(string->size(), stream);
    if (!string->empty()) {
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(string->data()), string->size());
    }
  } else if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    stream->WriteByte(kByteListType);
    WriteSize(bytes->size(), stream);
    if (!bytes->empty()) stream->WriteBytes(bytes->data(), bytes->size());
  } else if (const auto* int32s = std::get_if<std::vector<int32_t>>(&value)) {
    stream->WriteByte(kInt32ListType);
    WriteTypedList(*this, *int32s, stream);
  } else if (const auto* int64s = std::get_if<std::vector<int64_t>>(&value)) {
    stream->WriteByte(kInt64ListType);
    WriteTypedList(*this, *int64s, stream);
  } else if (const auto* doubles = std::get_if<std::vector<double>>(&value)) {
    stream->WriteByte(kFloat64ListType);
    WriteTypedList(*this, *doubles, stream);
  } else if (const auto* list = std::get_if<EncodableList>(&value)) {
    stream->WriteByte(kListType);
    WriteSize(list->size(), stream);
    for (const EncodableValue& element : *list) WriteValue(element, stream);
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    stream->WriteByte(kMapType);
    WriteSize(map->size(), stream);
    for (const auto& [key, entry] : *map) {
      WriteValue(key, stream);
      WriteValue(entry, stream);
    }
  } else if (std::holds_alternative<CustomEncodableValue>(value)) {
    stream->WriteByte(kNullType);
    WriteErrorLine(
        "Unhandled custom type in StandardCodecSerializer::WriteValue. "
        "Custom types require codec extensions.");
  } else if (const auto* floats = std::get_if<std::vector<float>>(&value)) {
    stream->WriteByte(kFloat32ListType);
    WriteTypedList(*this, *floats, stream);
  } else {
    stream->WriteByte(kNullType);
  }
}

}  // namespace flutter
