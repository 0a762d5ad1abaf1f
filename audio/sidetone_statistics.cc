#include "audio/sidetone_statistics.h"

#include <algorithm>

void SidetoneStatistics::NoteDelay(size_t frames, uint32_t rate) {
  const size_t ms = rate != 0 ? frames * 1000 / rate : 0;
  ++delays_ms[std::min(ms, kDelaySlots - 1)];
}

uint32_t SidetoneStatistics::MedianDelayMs() const {
  uint64_t total = 0;
  for (const uint32_t count : delays_ms) {
    total += count;
  }
  uint64_t seen = 0;
  for (size_t ms = 0; ms < kDelaySlots; ++ms) {
    seen += delays_ms[ms];
    if (total != 0 && 2 * seen >= total) {
      return static_cast<uint32_t>(ms);
    }
  }
  return 0;
}

uint32_t SidetoneStatistics::LargestDelayMs() const {
  for (size_t ms = kDelaySlots; ms-- > 0;) {
    if (delays_ms[ms] != 0) {
      return static_cast<uint32_t>(ms);
    }
  }
  return 0;
}

std::string SidetoneStatistics::Line() const {
  return "sidetone_statistics underruns=" + std::to_string(underruns) +
         " trims=" + std::to_string(trims) + " restarts=" + std::to_string(restarts) +
         " device_losses=" + std::to_string(device_losses) +
         " discontinuities=" + std::to_string(discontinuities) +
         " delay_median_ms=" + std::to_string(MedianDelayMs()) +
         " delay_max_ms=" + std::to_string(LargestDelayMs()) +
         " fill_ms=" + std::to_string(fill_ms);
}
