#include "channels/engine/flutter_view.h"

namespace flutter {

FlutterView::FlutterView(FlutterDesktopViewRef view) : view_(view) {}

FlutterView::~FlutterView() = default;

HWND FlutterView::NativeWindow() const { return FlutterDesktopViewGetHWND(view_); }

}  // namespace flutter
