// Heap used while decoding hostile messages, measured by replacing the global
// allocation functions of this test program (hence its own binary).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"

namespace {

// Each block carries its size in front, so that frees can be counted.
constexpr size_t kHeader = alignof(std::max_align_t);

std::atomic<bool> counting{false};
std::atomic<int64_t> live_bytes{0};
std::atomic<int64_t> peak_bytes{0};
// A request that would take the live total past this fails, as it would in
// a process out of address space.
std::atomic<int64_t> limit_bytes{INT64_MAX};
// While counting, how many more allocations succeed; -1 is no limit.
std::atomic<int64_t> allocations_left{-1};

void* Allocate(size_t size) {
  if (counting) {
    if (allocations_left == 0) return nullptr;
    if (allocations_left > 0) --allocations_left;
    const int64_t now = live_bytes += static_cast<int64_t>(size);
    if (now > limit_bytes) {
      live_bytes -= static_cast<int64_t>(size);
      return nullptr;
    }
    int64_t peak = peak_bytes;
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
  }
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof(size));
  return block + kHeader;
}

void Release(void* pointer) {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  size_t size = 0;
  std::memcpy(&size, block, sizeof(size));
  if (counting) live_bytes -= static_cast<int64_t>(size);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) {
  if (void* pointer = Allocate(size)) return pointer;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { Release(pointer); }

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t k64KiB = 64 * 1024;
constexpr size_t k1MiB = 1024 * 1024;
// What decoding may hold at its peak: every value of the message may need an
// EncodableValue (a list of nulls spends one per byte), a map entry a tree
// node of two of them per two bytes; twice that leaves room for the
// allocator's rounding and the smaller containers, never for reservations
// that the message's bytes cannot fill.
constexpr size_t kAllowedPerByte = 2 * sizeof(EncodableValue);
constexpr size_t kAllowedConstant = 4096;

void Append32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// The call "c" whose arguments `fill` writes, padded with nulls to `size`.
Bytes Call(size_t size, const std::function<void(Bytes&)>& fill) {
  Bytes message = {0x07, 0x01, 'c'};
  fill(message);
  message.resize(std::max(message.size(), size), 0x00);
  return message;
}

// A container header declaring 32-bit `count`.
void Header(Bytes& out, uint8_t type, size_t count) {
  out.push_back(type);
  out.push_back(0xFF);
  Append32(out, static_cast<uint32_t>(count));
}

struct Shape {
  std::string name;
  std::function<Bytes(size_t)> build;
};

std::vector<Shape> HostileShapes() {
  // Each level declares as many elements as bytes remain (a map half as many
  // entries), so each passes a check against the bytes left. Maps reach their
  // inner level through the value of a null key.
  auto nested = [](bool with_maps) {
    return [with_maps](size_t size) {
      const size_t levels = size >= k1MiB ? 127 : 60;
      return Call(size, [&](Bytes& out) {
        for (size_t i = 0; i < levels; ++i) {
          const size_t rest = size - out.size() - 6;
          if (with_maps && i % 2 == 0) {
            Header(out, 0x0D, rest / 2);
            out.push_back(0x00);
          } else {
            Header(out, 0x0C, rest);
          }
        }
      });
    };
  };
  auto repeated = [](uint8_t type, size_t unit, const std::function<void(Bytes&, size_t)>& item) {
    return [=](size_t size) {
      return Call(size, [&](Bytes& out) {
        const size_t count = (size - out.size() - 8) / unit;
        Header(out, type, count);
        for (size_t i = 0; i < count; ++i) item(out, i);
      });
    };
  };
  return {
      {"nested_lists", nested(false)},
      {"nested_lists_and_maps", nested(true)},
      {"list_of_nulls", repeated(0x0C, 1, [](Bytes& out, size_t) { out.push_back(0x00); })},
      {"list_of_short_strings", repeated(0x0C, 3,
                                         [](Bytes& out, size_t) {
                                           out.insert(out.end(), {0x07, 0x01, 'a'});
                                         })},
      {"list_of_empty_maps", repeated(0x0C, 2,
                                      [](Bytes& out, size_t) {
                                        out.insert(out.end(), {0x0D, 0x00});
                                      })},
      {"map_of_int32_keys", repeated(0x0D, 6,
                                     [](Bytes& out, size_t i) {
                                       out.push_back(0x03);
                                       Append32(out, static_cast<uint32_t>(i));
                                       out.push_back(0x00);
                                     })},
      {"long_float64_list",
       [](size_t size) {
         // Its count, then up to seven alignment bytes, then the numbers.
         return Call(size, [&](Bytes& out) { Header(out, 0x0B, (size - out.size() - 14) / 8); });
       }},
  };
}

class DecodeMemoryTest : public ::testing::TestWithParam<size_t> {
 protected:
  // Peak heap, above what was live before, while decoding `message`.
  static int64_t PeakWhileDecoding(const Bytes& message) {
    const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
    live_bytes = 0;
    peak_bytes = 0;
    counting = true;
    codec.DecodeMethodCall(message.data(), message.size());
    counting = false;
    return peak_bytes;
  }
};

TEST_P(DecodeMemoryTest, PeakHeapIsBoundedByTheMessageSize) {
  const size_t size = GetParam();
  for (const Shape& shape : HostileShapes()) {
    const Bytes message = shape.build(size);
    ASSERT_EQ(message.size(), size) << shape.name;
    // Malformed shapes print an invalid-read line per refused container.
    ::testing::internal::CaptureStderr();
    const int64_t peak = PeakWhileDecoding(message);
    ::testing::internal::GetCapturedStderr();
    const double multiple = static_cast<double>(peak) / static_cast<double>(size);
    std::printf("%-32s %8zu bytes: peak heap %10lld bytes, %.1f times the message\n",
                shape.name.c_str(), size, static_cast<long long>(peak), multiple);
    EXPECT_LE(static_cast<size_t>(peak), kAllowedPerByte * size + kAllowedConstant) << shape.name;
  }
}

// Delivers one message to the handler a channel registers.
class OneChannelMessenger : public BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, BinaryReply) const override {}
  void SetMessageHandler(const std::string&, BinaryMessageHandler handler) override {
    handler_ = std::move(handler);
  }
  void Deliver(const Bytes& message, BinaryReply reply) {
    handler_(message.data(), message.size(), std::move(reply));
  }

 private:
  BinaryMessageHandler handler_;
};

TEST(DecodeOutOfMemoryTest, CallIsStillAnsweredNotImplemented) {
  OneChannelMessenger messenger;
  MethodChannel channel(&messenger, "test/memory", &StandardMethodCodec::GetInstance());
  bool handled = false;
  channel.SetMethodCallHandler(
      [&handled](const MethodCall&, std::unique_ptr<MethodResult>) { handled = true; });
  // Honest, but its list needs far more than the heap left.
  const Bytes message = Call(k1MiB, [](Bytes& out) { Header(out, 0x0C, k1MiB - 9); });
  std::vector<size_t> reply_sizes;
  ::testing::internal::CaptureStderr();
  limit_bytes = static_cast<int64_t>(k1MiB);
  live_bytes = 0;
  counting = true;
  messenger.Deliver(message,
                    [&reply_sizes](const uint8_t*, size_t size) { reply_sizes.push_back(size); });
  counting = false;
  limit_bytes = INT64_MAX;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Unable to construct method call from message on channel test/memory\n");
  EXPECT_FALSE(handled);
  EXPECT_EQ(reply_sizes, std::vector<size_t>({0}));
}

TEST(DecodeOutOfMemoryTest, NoMemoryEvenForTheResultStillAnswers) {
  OneChannelMessenger messenger;
  MethodChannel channel(&messenger, "test/memory", &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  const Bytes message = {0x07, 0x01, 'c', 0x00};
  std::vector<size_t> reply_sizes;
  reply_sizes.reserve(1);
  ::testing::internal::CaptureStderr();
  limit_bytes = 0;
  counting = true;
  messenger.Deliver(message,
                    [&reply_sizes](const uint8_t*, size_t size) { reply_sizes.push_back(size); });
  counting = false;
  limit_bytes = INT64_MAX;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Unable to construct method call from message on channel test/memory\n");
  EXPECT_EQ(reply_sizes, std::vector<size_t>({0}));
}

TEST(DecodeOutOfMemoryTest, CallGetsExactlyOneAnswerWhicheverAllocationFails) {
  OneChannelMessenger messenger;
  MethodChannel channel(&messenger, "test/memory", &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult> result) {
    result->Success(EncodableValue(true));
  });
  const Bytes message = {0x07, 0x01, 'c', 0x00};
  // Far more than one small call takes.
  constexpr int64_t kAllocationsOfOneCall = 200;
  bool all_succeeded = false;
  for (int64_t allowed = 0; allowed < kAllocationsOfOneCall && !all_succeeded; ++allowed) {
    SCOPED_TRACE(allowed);
    std::vector<size_t> reply_sizes;
    reply_sizes.reserve(2);
    ::testing::internal::CaptureStderr();
    allocations_left = allowed;
    counting = true;
    messenger.Deliver(message,
                      [&reply_sizes](const uint8_t*, size_t size) { reply_sizes.push_back(size); });
    counting = false;
    all_succeeded = allocations_left > 0;
    allocations_left = -1;
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(reply_sizes.size(), 1u);
  }
  EXPECT_TRUE(all_succeeded);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DecodeMemoryTest, ::testing::Values(k64KiB, k1MiB));

}  // namespace
}  // namespace flutter
