#ifndef VELMO_AUDIO_SIDETONE_STATISTICS_H_
#define VELMO_AUDIO_SIDETONE_STATISTICS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// What one monitor run went through, for the line it logs when it ends.
struct SidetoneStatistics {
  // Delays are counted in whole milliseconds up to this; longer ones in the
  // last slot.
  static constexpr size_t kDelaySlots = 501;

  uint32_t underruns = 0;
  uint32_t trims = 0;
  uint32_t restarts = 0;
  uint32_t device_losses = 0;
  uint32_t discontinuities = 0;
  uint32_t fill_ms = 0;
  std::array<uint32_t, kDelaySlots> delays_ms{};

  void NoteDelay(size_t frames, uint32_t rate);
  uint32_t MedianDelayMs() const;
  uint32_t LargestDelayMs() const;
  // "sidetone_statistics underruns=... delay_median_ms=... delay_max_ms=..."
  std::string Line() const;
};

#endif  // VELMO_AUDIO_SIDETONE_STATISTICS_H_
