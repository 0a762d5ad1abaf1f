"""The driver's own codec against the byte format's known encodings."""

import struct

import pytest

from driver import codec
from driver.codec import (Float32List, Float64List, Int32, Int32List, Int64, Int64List,
                          MapPairs)


class TestValueEncoding:
    @pytest.mark.parametrize("value, encoded", [
        (None, "00"), (True, "01"), (False, "02"),
        (5, "0305000000"), (Int64(5), "040500000000000000"),
        (2**31, "040000008000000000"), (-1, "03ffffffff"),
        (1.0, "06" + "00" * 7 + "000000000000f03f"),
        ("abc", "0703616263"), ("", "0700"),
        (b"\x01\x02", "08020102"),
        (Int32List([]), "0900"), (Int32List([7]), "0901000007000000"),
        ({"a": 1}, "0d010701610301000000"),
    ])
    def test_known_bytes(self, value, encoded):
        assert codec.encode(value).hex() == encoded

    @pytest.mark.parametrize("size, prefix", [
        (253, "fd"), (254, "fefe00"), (65535, "feffff"), (65536, "ff00000100"),
    ])
    def test_size_prefix(self, size, prefix):
        encoded = codec.encode(b"\x00" * size)
        assert encoded[1:1 + len(prefix) // 2].hex() == prefix
        assert codec.decode(encoded) == b"\x00" * size

    def test_alignment_counts_from_the_start_of_the_message(self):
        # 0c 02 | 07 01 61 | 09 01, one pad byte to offset 8, the element;
        # then 06 at offset 12, three pad bytes to 16, the double.
        encoded = codec.encode(["a", Int32List([1]), 2.5])
        assert encoded.hex() == ("0c03" "070161" "0901" "00" "01000000" "06" "000000"
                                 + struct.pack("<d", 2.5).hex())
        assert codec.decode(encoded) == ["a", [1], 2.5]

    def test_every_type_survives_a_round_trip(self):
        value = [None, True, False, Int32(-7), Int64(1 << 40), 3.25, "héllo", b"\xff",
                 Int32List([1, -2]), Int64List([1 << 50]), Float64List([0.5, -1.5]),
                 Float32List([0.25]), {"k": [1, {"n": None}]}, []]
        decoded = codec.decode(codec.encode(value))
        assert decoded == value
        assert [type(v) for v in decoded] == [type(v) for v in value]

    def test_map_pairs_keep_order_and_duplicates_first_wins_on_decoding(self):
        encoded = codec.encode(MapPairs([("k", 1), ("k", 2)]))
        assert encoded.hex() == "0d0207016b030100000007016b0302000000"
        assert codec.decode(encoded) == {"k": 1}

    def test_type_five_reads_as_a_string(self):
        assert codec.decode(bytes.fromhex("05026869")) == "hi"


class TestStrictDecoding:
    @pytest.mark.parametrize("data", ["", "030100", "0f", "0703616263ff", "0900"])
    def test_malformed_or_incomplete_bytes_raise(self, data):
        with pytest.raises(codec.DecodeError):
            codec.decode(bytes.fromhex(data))

    def test_empty_typed_list_with_its_alignment(self):
        assert codec.decode(bytes.fromhex("09000000")) == Int32List([])


class TestMethodCodec:
    def test_call_without_arguments(self):
        assert codec.encode_method_call("stop").hex() == "070473746f7000"
        assert codec.decode_method_call(bytes.fromhex("070473746f7000")) == codec.MethodCall("stop")

    def test_call_whose_name_is_not_a_string_is_refused(self):
        with pytest.raises(codec.DecodeError):
            codec.decode_method_call(bytes.fromhex("0301000000" + "00"))

    def test_success_envelopes(self):
        assert codec.encode_success().hex() == "0000"
        assert codec.encode_success(True).hex() == "0001"
        assert codec.encode_success(1.0).hex() == "0006" + "00" * 6 + "000000000000f03f"
        assert codec.decode_response(bytes.fromhex("0001")) == codec.MethodResponse("success", True)

    def test_error_envelopes(self):
        encoded = codec.encode_error("invalid_argument", "Expected a map.")
        assert encoded == (b"\x01" + codec.encode("invalid_argument")
                           + codec.encode("Expected a map.") + b"\x00")
        response = codec.decode_response(encoded)
        assert (response.kind, response.code, response.message, response.details) == (
            "error", "invalid_argument", "Expected a map.", None)
        empty_message = codec.encode_error("x", "")
        assert empty_message.hex() == "010701780000"
        assert codec.decode_response(empty_message).message == ""

    def test_empty_answer_is_not_implemented_and_other_envelopes_are_refused(self):
        assert codec.decode_response(b"").is_not_implemented
        with pytest.raises(codec.DecodeError):
            codec.decode_response(bytes.fromhex("0200"))
