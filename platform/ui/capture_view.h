// Stands in for the capture window's on-screen part. Promises a child window
// at 0, 0 that paints the latest preview picture whenever a new one is kept,
// checking at the preview rate (no busy loop).
#pragma once

#include <wx/timer.h>
#include <wx/window.h>

#include <cstdint>
#include <vector>

#include "platform/capture_window.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform {

class CaptureView : public wxWindow {
 public:
  CaptureView(wxWindow* parent, CaptureWindow* window);
  ~CaptureView() override;
  // Shows another capture window's pictures from now on; black until its
  // first one.
  void Watch(CaptureWindow* window);

 private:
  void OnTimer(wxTimerEvent&);
  void OnPaint(wxPaintEvent&);

  CaptureWindow* window_;
  wxTimer timer_;
  uint64_t shown_ = 0;
  BitmapInfoHeader header_;
  std::vector<uint8_t> rows_;    // the preview picture, reused
  std::vector<uint8_t> pixels_;  // the same as cairo's 32-bit pixels
  cairo_surface_t* surface_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace platform
