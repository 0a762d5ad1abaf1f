#ifndef VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_H_
#define VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_H_

#include "channels/engine/engine_api.h"

namespace flutter {

// The view an engine draws into; it belongs to its view controller.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view);
  virtual ~FlutterView();

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The view's child window, to be placed inside a top-level window.
  HWND NativeWindow() const;

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_H_
