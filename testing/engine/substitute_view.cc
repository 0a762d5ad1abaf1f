#include "testing/engine/substitute_view.h"

#include "testing/engine/substitute_engine.h"

namespace {

using substitute_engine::ScopedSelect;
using substitute_engine::UniqueBitmap;
using substitute_engine::UniqueBrush;
using substitute_engine::UniqueFont;
using substitute_engine::UniqueMemoryDc;
using substitute_engine::UniqueWindow;
using substitute_engine::WideFromUtf8;
using substitute_engine::WindowClass;

constexpr wchar_t kViewClassName[] = L"VelmoSubstituteFlutterView";
constexpr wchar_t kParkingClassName[] = L"VelmoSubstituteViewParking";
constexpr wchar_t kTitle[] = L"Flutter view (substitute engine)";
constexpr wchar_t kFontFamily[] = L"Tahoma";
constexpr int kTitleFontHeight = 24;
constexpr int kTextFontHeight = 15;
constexpr int kMargin = 12;
constexpr int kTitleGap = 8;
constexpr COLORREF kBackground = RGB(28, 34, 48);
constexpr COLORREF kTitleColour = RGB(250, 250, 250);
constexpr COLORREF kStatusColour = RGB(170, 200, 255);
constexpr COLORREF kTrafficColour = RGB(200, 230, 200);
constexpr COLORREF kBorderColour = RGB(90, 140, 220);

UniqueFont MakeFont(int height, int weight) {
  return UniqueFont(CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH, kFontFamily));
}

// Draws one line at `top` and returns the top of the next one.
int DrawLine(HDC dc, const std::wstring& text, int top, int width, COLORREF colour) {
  SetTextColor(dc, colour);
  RECT line{kMargin, top, width - kMargin, top + 1};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  line.right = width - kMargin;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
            DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  return line.bottom;
}

}  // namespace

std::unique_ptr<FlutterDesktopView> FlutterDesktopView::Create(FlutterDesktopEngine* engine,
                                                               int width, int height) {
  static WindowClass parking_class(kParkingClassName, DefWindowProcW);
  static WindowClass view_class(kViewClassName, ViewProc);
  std::unique_ptr<FlutterDesktopView> view(new FlutterDesktopView(engine));
  view->parking_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, parking_class.name(), L"", WS_POPUP, 0, 0,
                                       width, height, nullptr, nullptr,
                                       substitute_engine::ThisModule(), nullptr));
  if (!view->parking_) {
    return nullptr;
  }
  view->view_.reset(CreateWindowExW(
      0, view_class.name(), kTitle, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
      width, height, view->parking_.get(), nullptr, substitute_engine::ThisModule(), view.get()));
  if (!view->view_) {
    return nullptr;
  }
  return view;
}

FlutterDesktopView::~FlutterDesktopView() {
  if (view_) {
    SetWindowLongPtrW(view_.get(), GWLP_USERDATA, 0);
  }
}

LRESULT CALLBACK FlutterDesktopView::ViewProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<FlutterDesktopView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      self->Paint();
      return 0;
    case WM_SIZE:
      self->NoteParent();
      self->engine_->RequestFrame();
      return 0;
    case WM_WINDOWPOSCHANGED:
    case WM_SETFOCUS:
      // SetParent itself sends the child nothing; the move and focus that
      // follow it in the host do.
      self->NoteParent();
      break;
    case WM_NCDESTROY:
      // The host may destroy its window, and with it the view, first.
      if (self->view_.get() == window) {
        (void)self->view_.release();
      }
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void FlutterDesktopView::RenderFrame(const ViewFrameContent& content) {
  if (!view_) {
    return;
  }
  RECT client{};
  GetClientRect(view_.get(), &client);
  const int width = client.right > 0 ? client.right : 1;
  const int height = client.bottom > 0 ? client.bottom : 1;
  HDC screen = GetDC(nullptr);
  UniqueBitmap bitmap(CreateCompatibleBitmap(screen, width, height));
  UniqueMemoryDc dc(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!bitmap || !dc) {
    return;
  }
  {
    ScopedSelect select_bitmap(dc.get(), bitmap.get());
    RECT all{0, 0, width, height};
    UniqueBrush background(CreateSolidBrush(kBackground));
    FillRect(dc.get(), &all, background.get());
    UniqueBrush border(CreateSolidBrush(kBorderColour));
    FrameRect(dc.get(), &all, border.get());
    SetBkMode(dc.get(), TRANSPARENT);

    UniqueFont title_font = MakeFont(kTitleFontHeight, FW_BOLD);
    UniqueFont text_font = MakeFont(kTextFontHeight, FW_NORMAL);
    int top = kMargin;
    {
      ScopedSelect select_font(dc.get(), title_font.get());
      top = DrawLine(dc.get(), kTitle, top, width, kTitleColour) + kTitleGap;
    }
    ScopedSelect select_font(dc.get(), text_font.get());
    for (const std::string& line : content.status_lines) {
      top = DrawLine(dc.get(), WideFromUtf8(line), top, width, kStatusColour);
    }
    top += kTitleGap;
    for (const std::string& line : content.traffic_lines) {
      if (top >= height - kMargin) {
        break;
      }
      top = DrawLine(dc.get(), WideFromUtf8(line), top, width, kTrafficColour);
    }
  }
  frame_ = std::move(bitmap);
  frame_size_ = SIZE{width, height};
  InvalidateRect(view_.get(), nullptr, FALSE);
}

void FlutterDesktopView::NoteParent() {
  if (attached_ || !view_) {
    return;
  }
  HWND parent = GetParent(view_.get());
  if (parent != nullptr && parent != parking_.get()) {
    attached_ = true;
    engine_->ReportViewAttached(parent);
  }
}

void FlutterDesktopView::Paint() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(view_.get(), &paint);
  RECT client{};
  GetClientRect(view_.get(), &client);
  UniqueBrush background(CreateSolidBrush(kBackground));
  FillRect(target, &client, background.get());
  if (frame_) {
    UniqueMemoryDc source(CreateCompatibleDC(target));
    if (source) {
      ScopedSelect select(source.get(), frame_.get());
      BitBlt(target, 0, 0, frame_size_.cx, frame_size_.cy, source.get(), 0, 0, SRCCOPY);
    }
  }
  EndPaint(view_.get(), &paint);
}
