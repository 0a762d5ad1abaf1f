#include "overlay/avatar/wic_picture_decoder.h"

#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>

#include "overlay/avatar/picture_signature.h"

namespace {

using Microsoft::WRL::ComPtr;

// Rows converted per call: a decoder that decodes as rows are asked for
// (Windows' own do) then stops within a few of them.
constexpr UINT kBandRows = 4;
constexpr UINT kBytesPerPixel = 4;
constexpr UINT kMostBitsPerChannel = 8;

// IWICBitmapSourceTransform, which mingw's headers lack: a decoder's offer to
// decode at a reduced size. Declared under a name of its own and asked for by
// its identifier, so it cannot clash where the headers have it.
struct WicSourceTransform : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT size, BYTE* pixels) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};
constexpr IID kWicSourceTransformId = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

// COM for the length of one call on this thread.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  // Also when the thread was already in an apartment of its own.
  bool ready() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

struct OpenedFrame {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
};

// The container of the format the file's signature shows: only that
// decoder sees the file, never another codec whose pattern also matches.
const GUID* ContainerOf(std::span<const uint8_t> file) {
  const std::optional<PictureFormat> format = SniffPictureFormat(file);
  if (!format) {
    return nullptr;
  }
  switch (*format) {
    case PictureFormat::kPng:
      return &GUID_ContainerFormatPng;
    case PictureFormat::kJpeg:
      return &GUID_ContainerFormatJpeg;
    case PictureFormat::kGif:
      return &GUID_ContainerFormatGif;
    case PictureFormat::kBmp:
      return &GUID_ContainerFormatBmp;
  }
  return nullptr;
}

// Whether the frame's pixels come at most 8 bits a channel: deeper ones
// (48- and 64-bit PNGs, 16-bit grey, floats) cost several times the memory
// and time of the picture drawn from them.
bool HasShallowChannels(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame) {
  WICPixelFormatGUID format{};
  ComPtr<IWICComponentInfo> component;
  ComPtr<IWICPixelFormatInfo> info;
  UINT bits = 0;
  UINT channels = 0;
  return SUCCEEDED(frame.GetPixelFormat(&format)) &&
         SUCCEEDED(factory.CreateComponentInfo(format, &component)) &&
         SUCCEEDED(component.As(&info)) && SUCCEEDED(info->GetBitsPerPixel(&bits)) &&
         SUCCEEDED(info->GetChannelCount(&channels)) && channels > 0 &&
         bits <= kMostBitsPerChannel * channels;
}

std::optional<OpenedFrame> OpenFrame(std::span<const uint8_t> file) {
  OpenedFrame opened;
  const GUID* container = ContainerOf(file);
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(file.data(), static_cast<UINT>(file.size())));
  ComPtr<IWICBitmapDecoder> decoder;
  if (container == nullptr || !stream ||
      FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&opened.factory))) ||
      FAILED(opened.factory->CreateDecoder(*container, nullptr, &decoder)) ||
      FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
      FAILED(decoder->GetFrame(0, &opened.frame)) ||
      FAILED(opened.frame->GetSize(&opened.width, &opened.height)) ||
      uint64_t{opened.width} * opened.height > kAvatarPixelBudget ||
      !HasShallowChannels(*opened.factory.Get(), *opened.frame.Get())) {
    return std::nullopt;
  }
  return opened;
}

// The frame decoded at the decoder's closest size at least `size` wide and
// high, when it can scale while decoding; else the frame itself.
ComPtr<IWICBitmapSource> ReducedSource(const OpenedFrame& opened, UINT size) {
  ComPtr<WicSourceTransform> transform;
  UINT width = std::min(opened.width, size);
  UINT height = std::min(opened.height, size);
  if (FAILED(opened.frame->QueryInterface(kWicSourceTransformId,
                                          reinterpret_cast<void**>(transform.GetAddressOf()))) ||
      FAILED(transform->GetClosestSize(&width, &height)) || width >= opened.width ||
      width < std::min(opened.width, size) || height < std::min(opened.height, size)) {
    return opened.frame;
  }
  ComPtr<IWICBitmap> reduced;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppPBGRA;
  if (FAILED(transform->GetClosestPixelFormat(&format)) ||
      FAILED(opened.factory->CreateBitmap(width, height, format, WICBitmapCacheOnLoad, &reduced))) {
    return opened.frame;
  }
  ComPtr<IWICBitmapLock> lock;
  const WICRect whole{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
  UINT stride = 0;
  UINT bytes = 0;
  BYTE* pixels = nullptr;
  if (FAILED(reduced->Lock(&whole, WICBitmapLockWrite, &lock)) ||
      FAILED(lock->GetStride(&stride)) || FAILED(lock->GetDataPointer(&bytes, &pixels)) ||
      FAILED(transform->CopyPixels(nullptr, width, height, &format, WICBitmapTransformRotate0,
                                   stride, bytes, pixels))) {
    return opened.frame;
  }
  return reduced;
}

}  // namespace

std::optional<PictureSize> WicPictureSize(std::span<const uint8_t> file) {
  const ComScope com;
  if (!com.ready()) {
    return std::nullopt;
  }
  const std::optional<OpenedFrame> opened = OpenFrame(file);
  if (!opened) {
    return std::nullopt;
  }
  return PictureSize{opened->width, opened->height};
}

std::optional<ScaledAvatar> WicDecodePicture(std::span<const uint8_t> file, int size,
                                             const std::atomic<bool>& stop) {
  const ComScope com;
  if (!com.ready() || size <= 0) {
    return std::nullopt;
  }
  const std::optional<OpenedFrame> opened = OpenFrame(file);
  if (!opened || opened->width == 0 || opened->height == 0) {
    return std::nullopt;
  }
  const auto side = static_cast<UINT>(size);
  const ComPtr<IWICBitmapSource> source = ReducedSource(*opened, side);
  ComPtr<IWICBitmapScaler> scaler;
  ComPtr<IWICFormatConverter> converter;
  if (stop.load() || FAILED(opened->factory->CreateBitmapScaler(&scaler)) ||
      FAILED(scaler->Initialize(source.Get(), side, side, WICBitmapInterpolationModeFant)) ||
      FAILED(opened->factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(scaler.Get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom))) {
    return std::nullopt;
  }
  ScaledAvatar picture{size, std::vector<uint32_t>(static_cast<std::size_t>(size) * size), 0};
  const UINT stride = side * kBytesPerPixel;
  for (UINT top = 0; top < side; top += kBandRows) {
    if (stop.load()) {
      return std::nullopt;
    }
    const UINT rows = std::min(kBandRows, side - top);
    const WICRect band{0, static_cast<INT>(top), static_cast<INT>(side), static_cast<INT>(rows)};
    if (FAILED(
            converter->CopyPixels(&band, stride, stride * rows,
                                  reinterpret_cast<BYTE*>(picture.pixels.data() +
                                                          static_cast<std::size_t>(top) * side)))) {
      return std::nullopt;
    }
  }
  return picture;
}
