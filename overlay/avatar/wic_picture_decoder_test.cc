#include "overlay/avatar/wic_picture_decoder.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <vector>

namespace {

using Microsoft::WRL::ComPtr;

struct Encoded {
  GUID container;
  GUID pixel_format;
  UINT width;
  UINT height;
};

// One frame of zeros in `pixel_format`, or empty when the encoder takes
// another format instead.
std::vector<uint8_t> Encode(const Encoded& e) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = e.pixel_format;
  ComPtr<IWICComponentInfo> component;
  ComPtr<IWICPixelFormatInfo> info;
  UINT bits = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
      FAILED(factory->CreateEncoder(e.container, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(e.width, e.height)) || FAILED(frame->SetPixelFormat(&format)) ||
      !IsEqualGUID(format, e.pixel_format) ||
      FAILED(factory->CreateComponentInfo(format, &component)) || FAILED(component.As(&info)) ||
      FAILED(info->GetBitsPerPixel(&bits))) {
    return {};
  }
  ComPtr<IWICPalette> palette;
  if (IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed) &&
      (FAILED(factory->CreatePalette(&palette)) ||
       FAILED(palette->InitializePredefined(WICBitmapPaletteTypeFixedGray256, FALSE)) ||
       FAILED(frame->SetPalette(palette.Get())))) {
    return {};
  }
  const UINT stride = (e.width * bits + 7) / 8;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * e.height);
  STATSTG stat{};
  if (FAILED(
          frame->WritePixels(e.height, stride, static_cast<UINT>(pixels.size()), pixels.data())) ||
      FAILED(frame->Commit()) || FAILED(encoder->Commit()) ||
      FAILED(stream->Stat(&stat, STATFLAG_NONAME))) {
    return {};
  }
  std::vector<uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

class WicPictureDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(WicPictureDecoderTest, OnlyTheSniffedFormatWithinThePixelAndDepthBudget) {
  const struct {
    const char* name;
    Encoded encoded;
    bool decodes;
  } cases[] = {
      {"8-bit PNG", {GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 40, 30}, true},
      {"JPEG", {GUID_ContainerFormatJpeg, GUID_WICPixelFormat24bppBGR, 40, 30}, true},
      {"GIF", {GUID_ContainerFormatGif, GUID_WICPixelFormat8bppIndexed, 40, 30}, true},
      {"BMP", {GUID_ContainerFormatBmp, GUID_WICPixelFormat24bppBGR, 40, 30}, true},
      {"whole pixel budget",
       {GUID_ContainerFormatPng, GUID_WICPixelFormat8bppGray, 2048, 2048},
       true},
      {"past the pixel budget",
       {GUID_ContainerFormatPng, GUID_WICPixelFormat8bppGray, 2048, 2049},
       false},
      {"16 bits a channel", {GUID_ContainerFormatPng, GUID_WICPixelFormat48bppRGB, 40, 30}, false},
      {"16-bit grey", {GUID_ContainerFormatPng, GUID_WICPixelFormat16bppGray, 40, 30}, false},
      {"TIFF, which WIC reads but no signature here shows",
       {GUID_ContainerFormatTiff, GUID_WICPixelFormat24bppBGR, 40, 30},
       false},
  };
  const std::atomic<bool> running{false};
  for (const auto& c : cases) {
    const std::vector<uint8_t> file = Encode(c.encoded);
    ASSERT_FALSE(file.empty()) << c.name << ": the encoder took another format";
    const std::optional<PictureSize> size = WicPictureSize(file);
    ASSERT_EQ(size.has_value(), c.decodes) << c.name;
    if (!size) continue;
    EXPECT_EQ(size->width, c.encoded.width) << c.name;
    EXPECT_EQ(size->height, c.encoded.height) << c.name;
    const std::optional<ScaledAvatar> picture = WicDecodePicture(file, 35, running);
    ASSERT_TRUE(picture.has_value()) << c.name;
    EXPECT_EQ(picture->pixels.size(), 35u * 35u) << c.name;
  }
}

TEST_F(WicPictureDecoderTest, AStopAlreadySetDecodesNothing) {
  const std::vector<uint8_t> file =
      Encode({GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, 40, 30});
  const std::atomic<bool> stopped{true};
  EXPECT_TRUE(WicPictureSize(file).has_value());
  EXPECT_FALSE(WicDecodePicture(file, 35, stopped).has_value());
}

}  // namespace
