#ifndef VELMO_TESTING_ENGINE_SUBSTITUTE_VIEW_H_
#define VELMO_TESTING_ENGINE_SUBSTITUTE_VIEW_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/engine/engine_api.h"
#include "testing/engine/win_handles.h"

// What one frame of the view shows.
struct ViewFrameContent {
  std::vector<std::string> status_lines;
  std::vector<std::string> traffic_lines;
};

// The engine's view: a window that starts as the child of a hidden parking
// window, so the host can reparent it into its own window like any child.
// Frames are rendered into an off-screen bitmap whether or not the view is
// visible, and painted from there.
class FlutterDesktopView {
 public:
  static std::unique_ptr<FlutterDesktopView> Create(FlutterDesktopEngine* engine, int width,
                                                    int height);
  ~FlutterDesktopView();
  FlutterDesktopView(const FlutterDesktopView&) = delete;
  FlutterDesktopView& operator=(const FlutterDesktopView&) = delete;

  HWND window() const { return view_.get(); }
  void RenderFrame(const ViewFrameContent& content);

 private:
  explicit FlutterDesktopView(FlutterDesktopEngine* engine) : engine_(engine) {}
  static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();
  void NoteParent();

  FlutterDesktopEngine* engine_;
  // Declared before the view so the view, its child, goes first.
  substitute_engine::UniqueWindow parking_;
  substitute_engine::UniqueWindow view_;
  substitute_engine::UniqueBitmap frame_;
  SIZE frame_size_{};
  bool attached_ = false;
};

#endif  // VELMO_TESTING_ENGINE_SUBSTITUTE_VIEW_H_
