"""The standard message codec and the standard method codec, as the Flutter
side speaks them, written from the byte format alone.

Python values map to the codec's types as follows (encoding / decoding):

    None            null (type 0)
    bool            true / false (types 1 / 2)
    int             int32 (3) when it fits, else int64 (4); Int32 / Int64 force one
    float           float64 (6), aligned to 8
    str             string (7, UTF-8); type 5 decodes as a string too
    bytes           byte list (8)
    Int32List ...   int32 / int64 / float64 / float32 lists (9, 10, 11, 14)
    list, tuple     list (12)
    dict, MapPairs  map (13); MapPairs keeps order and duplicate keys

Decoding gives Int32 / Int64 (int subclasses, so they compare as ints) for
the two integer types, the typed-list classes for typed lists, list for
lists and dict for maps (the first of duplicate keys wins; list and dict keys
become tuples so they can be dict keys).
"""

from __future__ import annotations

import struct
from dataclasses import dataclass
from typing import Any

NULL, TRUE, FALSE, INT32, INT64, LARGE_INT, FLOAT64, STRING = range(8)
UINT8_LIST, INT32_LIST, INT64_LIST, FLOAT64_LIST, LIST, MAP, FLOAT32_LIST = range(8, 15)

_INT32_RANGE = range(-(2**31), 2**31)
_INT64_RANGE = range(-(2**63), 2**63)


class DecodeError(ValueError):
    """The bytes are not one complete, well-formed value."""


class Int32(int):
    """An int that is encoded as int32 (and how int32 values decode)."""

    def __new__(cls, value: int = 0):
        if int(value) not in _INT32_RANGE:
            raise OverflowError(f"{value} does not fit in int32")
        return super().__new__(cls, value)

    def __repr__(self) -> str:
        return f"Int32({int(self)})"


class Int64(int):
    """An int that is encoded as int64 (and how int64 values decode)."""

    def __new__(cls, value: int = 0):
        if int(value) not in _INT64_RANGE:
            raise OverflowError(f"{value} does not fit in int64")
        return super().__new__(cls, value)

    def __repr__(self) -> str:
        return f"Int64({int(self)})"


class Int32List(list):
    """A typed int32 list (type 9)."""


class Int64List(list):
    """A typed int64 list (type 10)."""


class Float64List(list):
    """A typed float64 list (type 11)."""


class Float32List(list):
    """A typed float32 list (type 14)."""


class MapPairs(list):
    """A map given as (key, value) pairs, written in this order as they are
    (duplicate keys included)."""


_TYPED_LISTS = {
    Int32List: (INT32_LIST, "<i", 4),
    Int64List: (INT64_LIST, "<q", 8),
    Float64List: (FLOAT64_LIST, "<d", 8),
    Float32List: (FLOAT32_LIST, "<f", 4),
}
_TYPED_LISTS_BY_TYPE = {code: (cls, fmt, size) for cls, (code, fmt, size) in _TYPED_LISTS.items()}


def _write_size(out: bytearray, size: int) -> None:
    if size < 254:
        out.append(size)
    elif size <= 0xFFFF:
        out.append(254)
        out += struct.pack("<H", size)
    else:
        out.append(255)
        out += struct.pack("<I", size & 0xFFFFFFFF)


def _align(out: bytearray, alignment: int) -> None:
    out += bytes((alignment - len(out) % alignment) % alignment)


def write_value(out: bytearray, value: Any) -> None:
    """Appends one value (type byte and payload) to `out`; alignment counts
    from the start of `out`."""
    if value is None:
        out.append(NULL)
    elif value is True:
        out.append(TRUE)
    elif value is False:
        out.append(FALSE)
    elif isinstance(value, Int64) or (
        isinstance(value, int) and not isinstance(value, Int32) and value not in _INT32_RANGE
    ):
        out.append(INT64)
        out += struct.pack("<q", value)
    elif isinstance(value, int):
        out.append(INT32)
        out += struct.pack("<i", value)
    elif isinstance(value, float):
        out.append(FLOAT64)
        _align(out, 8)
        out += struct.pack("<d", value)
    elif isinstance(value, str):
        data = value.encode("utf-8")
        out.append(STRING)
        _write_size(out, len(data))
        out += data
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
        out.append(UINT8_LIST)
        _write_size(out, len(data))
        out += data
    elif type(value) in _TYPED_LISTS:
        code, fmt, size = _TYPED_LISTS[type(value)]
        out.append(code)
        _write_size(out, len(value))
        if value:
            _align(out, size)
            for element in value:
                out += struct.pack(fmt, element)
    elif isinstance(value, MapPairs):
        out.append(MAP)
        _write_size(out, len(value))
        for key, item in value:
            write_value(out, key)
            write_value(out, item)
    elif isinstance(value, dict):
        out.append(MAP)
        _write_size(out, len(value))
        for key, item in value.items():
            write_value(out, key)
            write_value(out, item)
    elif isinstance(value, (list, tuple)):
        out.append(LIST)
        _write_size(out, len(value))
        for element in value:
            write_value(out, element)
    else:
        raise TypeError(f"no codec type for {type(value).__name__}")


def encode(value: Any) -> bytes:
    """One value as a whole message."""
    out = bytearray()
    write_value(out, value)
    return bytes(out)


def _hashable(value: Any) -> Any:
    if isinstance(value, list):
        return tuple(_hashable(v) for v in value)
    if isinstance(value, dict):
        return tuple((_hashable(k), _hashable(v)) for k, v in value.items())
    return value


@dataclass
class Reader:
    """Reads values from `data`; alignment counts from its start."""

    data: bytes
    position: int = 0

    def take(self, count: int) -> bytes:
        if count < 0 or self.position + count > len(self.data):
            raise DecodeError(
                f"need {count} bytes at offset {self.position}, {len(self.data)} in all"
            )
        chunk = self.data[self.position : self.position + count]
        self.position += count
        return chunk

    def byte(self) -> int:
        return self.take(1)[0]

    def align(self, alignment: int) -> None:
        self.position += (alignment - self.position % alignment) % alignment

    def size(self) -> int:
        first = self.byte()
        if first < 254:
            return first
        if first == 254:
            return struct.unpack("<H", self.take(2))[0]
        return struct.unpack("<I", self.take(4))[0]

    def value(self) -> Any:
        return self.value_of_type(self.byte())

    def value_of_type(self, code: int) -> Any:
        if code == NULL:
            return None
        if code == TRUE:
            return True
        if code == FALSE:
            return False
        if code == INT32:
            return Int32(struct.unpack("<i", self.take(4))[0])
        if code == INT64:
            return Int64(struct.unpack("<q", self.take(8))[0])
        if code == FLOAT64:
            self.align(8)
            return struct.unpack("<d", self.take(8))[0]
        if code in (LARGE_INT, STRING):
            return self.take(self.size()).decode("utf-8", errors="surrogateescape")
        if code == UINT8_LIST:
            return bytes(self.take(self.size()))
        if code in _TYPED_LISTS_BY_TYPE:
            cls, fmt, element_size = _TYPED_LISTS_BY_TYPE[code]
            count = self.size()
            self.align(element_size)
            raw = self.take(count * element_size)
            return cls(v for (v,) in struct.iter_unpack(fmt, raw))
        if code == LIST:
            return [self.value() for _ in range(self.size())]
        if code == MAP:
            result: dict = {}
            for _ in range(self.size()):
                key = _hashable(self.value())
                item = self.value()
                result.setdefault(key, item)
            return result
        raise DecodeError(f"unknown type byte {code} at offset {self.position - 1}")

    def at_end(self) -> bool:
        return self.position == len(self.data)


def decode(data: bytes) -> Any:
    """The one value that makes up the whole message."""
    reader = Reader(bytes(data))
    value = reader.value()
    if not reader.at_end():
        raise DecodeError(f"{len(data) - reader.position} bytes left after the value")
    return value


# The method codec: calls and answer envelopes.


@dataclass(frozen=True)
class MethodCall:
    method: str
    arguments: Any = None


@dataclass(frozen=True)
class MethodResponse:
    """A decoded answer: kind is "success", "error" or "not_implemented"."""

    kind: str
    value: Any = None
    code: str | None = None
    message: str | None = None
    details: Any = None

    @property
    def is_success(self) -> bool:
        return self.kind == "success"

    @property
    def is_error(self) -> bool:
        return self.kind == "error"

    @property
    def is_not_implemented(self) -> bool:
        return self.kind == "not_implemented"


def encode_method_call(method: str, arguments: Any = None) -> bytes:
    out = bytearray()
    write_value(out, method)
    write_value(out, arguments)
    return bytes(out)


def decode_method_call(data: bytes) -> MethodCall:
    reader = Reader(bytes(data))
    method = reader.value()
    if not isinstance(method, str):
        raise DecodeError(f"method name is {type(method).__name__}, not a string")
    arguments = reader.value()
    if not reader.at_end():
        raise DecodeError(f"{len(data) - reader.position} bytes left after the call")
    return MethodCall(method, arguments)


def encode_success(value: Any = None) -> bytes:
    out = bytearray([0])
    write_value(out, value)
    return bytes(out)


def encode_error(code: str, message: str = "", details: Any = None) -> bytes:
    out = bytearray([1])
    write_value(out, code)
    write_value(out, message if message else None)
    write_value(out, details)
    return bytes(out)


def decode_response(data: bytes | None) -> MethodResponse:
    """An answer envelope; empty bytes are not-implemented."""
    if not data:
        return MethodResponse("not_implemented")
    reader = Reader(bytes(data))
    kind = reader.byte()
    if kind == 0:
        result = MethodResponse("success", value=reader.value())
    elif kind == 1:
        code = reader.value()
        message = reader.value()
        details = reader.value()
        if not isinstance(code, str) or not (message is None or isinstance(message, str)):
            raise DecodeError(f"malformed error envelope {data.hex()}")
        result = MethodResponse("error", code=code, message=message or "", details=details)
    else:
        raise DecodeError(f"envelope starts with {kind}, neither 0 nor 1")
    if not reader.at_end():
        raise DecodeError(f"{len(data) - reader.position} bytes left after the envelope")
    return result


__all__ = [
    "DecodeError", "Int32", "Int64", "Int32List", "Int64List", "Float64List", "Float32List",
    "MapPairs", "Reader", "encode", "decode", "write_value", "MethodCall", "MethodResponse",
    "encode_method_call", "decode_method_call", "encode_success", "encode_error",
    "decode_response",
]
