#ifndef VELMO_DIAGNOSTICS_LOG_LINE_QUEUE_H_
#define VELMO_DIAGNOSTICS_LOG_LINE_QUEUE_H_

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// A bounded queue of log lines that any number of threads may push into
// without ever waiting, drained by one consumer. Each slot carries a sequence
// number: a producer claims a slot with one compare-exchange on the tail and
// publishes it with a release store, so a thread that is preempted halfway
// holds up no other producer, only the consumer's view of that one slot.
// Storage is fixed: pushing never allocates.
class LogLineQueue {
 public:
  static constexpr std::size_t kCapacity = 256;
  static constexpr std::size_t kLineBytes = 240;

  LogLineQueue();
  LogLineQueue(const LogLineQueue&) = delete;
  LogLineQueue& operator=(const LogLineQueue&) = delete;

  // Copies the line (cut at kLineBytes) into a free slot. False when the
  // queue is full: the line is dropped and counted.
  bool TryPush(std::string_view line);

  // Copies the oldest published line into `out` (at least kLineBytes long)
  // and returns its length; nothing when no line is ready. One consumer at a
  // time.
  std::optional<std::size_t> TryPop(std::span<char> out);

  // Lines dropped since the last call, and resets the count.
  std::uint64_t TakeDropped();

 private:
  struct Slot {
    std::atomic<std::size_t> sequence{0};
    std::size_t length = 0;
    std::array<char, kLineBytes> bytes{};
  };

  std::array<Slot, kCapacity> slots_;
  std::atomic<std::size_t> tail_{0};
  std::size_t head_ = 0;
  std::atomic<std::uint64_t> dropped_{0};
};

#endif  // VELMO_DIAGNOSTICS_LOG_LINE_QUEUE_H_
