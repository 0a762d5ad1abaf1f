#include "diagnostics/log_line_queue.h"

#include <algorithm>

LogLineQueue::LogLineQueue() {
  for (std::size_t i = 0; i < kCapacity; ++i) {
    slots_[i].sequence.store(i, std::memory_order_relaxed);
  }
}

bool LogLineQueue::TryPush(std::string_view line) {
  std::size_t position = tail_.load(std::memory_order_relaxed);
  for (;;) {
    Slot& slot = slots_[position % kCapacity];
    const std::size_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (sequence == position) {
      if (tail_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
        slot.length = std::min(line.size(), kLineBytes);
        line.copy(slot.bytes.data(), slot.length);
        slot.sequence.store(position + 1, std::memory_order_release);
        return true;
      }
    } else if (sequence < position) {
      // The slot still holds a line the consumer has not taken: full.
      dropped_.fetch_add(1, std::memory_order_relaxed);
      return false;
    } else {
      position = tail_.load(std::memory_order_relaxed);
    }
  }
}

std::optional<std::size_t> LogLineQueue::TryPop(std::span<char> out) {
  Slot& slot = slots_[head_ % kCapacity];
  if (out.size() < kLineBytes || slot.sequence.load(std::memory_order_acquire) != head_ + 1) {
    return std::nullopt;
  }
  const std::size_t length = slot.length;
  std::copy_n(slot.bytes.data(), length, out.data());
  slot.sequence.store(head_ + kCapacity, std::memory_order_release);
  ++head_;
  return length;
}

std::uint64_t LogLineQueue::TakeDropped() {
  return dropped_.exchange(0, std::memory_order_relaxed);
}
