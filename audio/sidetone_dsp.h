#ifndef VELMO_AUDIO_SIDETONE_DSP_H_
#define VELMO_AUDIO_SIDETONE_DSP_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/sidetone_mix_format.h"

// The sample arithmetic of the microphone monitor, free of any audio API:
// capture packets are reduced to scaled mono samples at the capture rate,
// queued, and turned into render frames at the render rate.

// The backlog limit is this fraction of a second of capture samples (200 ms).
inline constexpr uint32_t kSidetoneBacklogDivisor = 5;
// Volumes at or below this play silence.
inline constexpr float kSidetoneSilentVolume = 0.0001f;

// The backlog limit in samples for a capture rate.
size_t MaxQueueSamples(uint32_t capture_rate);

// Appends `frames` mono samples to `queue`: the channel average of each
// frame times `volume`, or zeros for a silent packet, a null buffer or a
// volume at or below kSidetoneSilentVolume.
void AppendCapturePacket(const uint8_t* data, uint32_t frames, bool silent,
                         const SidetoneFrameLayout& layout, float volume,
                         std::vector<float>& queue);

// Removes `consumed` samples from the front of the queue.
void ConsumeFront(std::vector<float>& queue, size_t consumed);

// Beyond `max_queue` samples keeps only the newest max_queue / 2.
void CutBacklog(std::vector<float>& queue, size_t max_queue);

// Where to cut `samples` so that the `length` samples after the cut best
// continue its first `length`: of the cuts from `shortest` to `longest` (each
// with `length` samples after it), the one whose samples differ least from
// those, the nearest to `wanted` among equals. A cut there keeps a voice's or
// a tone's phase, so a crossfade across it is not heard as a click. Silence
// matches everywhere: `wanted` is kept.
size_t MatchingCut(const std::vector<float>& samples, size_t wanted, size_t shortest,
                   size_t longest, size_t length);

// A monitor sample as an integer of `valid_bits` bits: clamped to [-1, 1],
// scaled by the largest positive value (32767 for 16 bits) and rounded to
// nearest, ties to even.
int32_t ToPcm(float sample, uint32_t valid_bits);

// Writes each sample, clamped to [-1, 1], into the voice channels of one
// frame of `frames`, stored as the layout says. Every byte of every frame is
// written: the other channels, padding beyond the channels, and the whole
// frame of a format that carries no samples hold silence.
void WriteRenderFrames(const std::vector<float>& samples, const SidetoneFrameLayout& layout,
                       uint8_t* frames);

// Fills `count` frames with silence.
void WriteSilentFrames(size_t count, const SidetoneFrameLayout& layout, uint8_t* frames);

#endif  // VELMO_AUDIO_SIDETONE_DSP_H_
