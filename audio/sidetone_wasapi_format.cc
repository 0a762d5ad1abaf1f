#include "audio/sidetone_wasapi_format.h"

namespace {

// KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT: the tag in the first field of
// the base every wave format's subtype shares.
constexpr GUID SubtypeOf(WORD tag) {
  return {tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}
constexpr GUID kSubtypePcm = SubtypeOf(WAVE_FORMAT_PCM);
constexpr GUID kSubtypeIeeeFloat = SubtypeOf(WAVE_FORMAT_IEEE_FLOAT);
constexpr WORD kExtensionBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

}  // namespace

SidetoneMixFormat SidetoneMixFormatOf(const WAVEFORMATEX& format) {
  SidetoneMixFormat fields;
  fields.format_tag = format.wFormatTag;
  fields.channels = format.nChannels;
  fields.samples_per_sec = format.nSamplesPerSec;
  fields.block_align = format.nBlockAlign;
  fields.bits_per_sample = format.wBitsPerSample;
  if (format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format.cbSize < kExtensionBytes) {
    return fields;
  }
  const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
  fields.sub_format = IsEqualGUID(extensible.SubFormat, kSubtypePcm) ? SidetoneSubFormat::kPcm
                      : IsEqualGUID(extensible.SubFormat, kSubtypeIeeeFloat)
                          ? SidetoneSubFormat::kIeeeFloat
                          : SidetoneSubFormat::kOther;
  fields.valid_bits_per_sample = extensible.Samples.wValidBitsPerSample;
  fields.channel_mask = extensible.dwChannelMask;
  return fields;
}
