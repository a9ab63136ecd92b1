#include "platform/ui/capture_view.h"

#include <cairo.h>
#include <libyuv/convert_argb.h>
#include <wx/dcclient.h>

namespace platform {

CaptureView::CaptureView(wxWindow* parent, CaptureWindow* window)
    : wxWindow(parent, wxID_ANY, wxPoint(0, 0), wxSize(640, 480)), window_(window), timer_(this) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_TIMER, &CaptureView::OnTimer, this);
  Bind(wxEVT_PAINT, &CaptureView::OnPaint, this);
  timer_.Start(kPreviewRateMs);
}

CaptureView::~CaptureView() {
  if (surface_) cairo_surface_destroy(surface_);
}

void CaptureView::Watch(CaptureWindow* window) {
  window_ = window;
  shown_ = 0;
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  width_ = height_ = 0;
  Refresh(false);
}

void CaptureView::OnTimer(wxTimerEvent&) {
  if (!window_ || window_->PreviewFrames() == shown_) return;
  if (!window_->PreviewPicture(header_, rows_)) return;
  shown_ = window_->PreviewFrames();
  const int width = header_.biWidth,
            height = header_.biHeight < 0 ? -header_.biHeight : header_.biHeight;
  if (!surface_ || width != width_ || height != height_) {
    if (surface_) cairo_surface_destroy(surface_);
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<size_t>(width) * height * 4, 0);
    surface_ = cairo_image_surface_create_for_data(pixels_.data(), CAIRO_FORMAT_RGB24, width,
                                                   height, width * 4);
  }
  // Bottom-up BGR rows to cairo's top-down 32-bit pixels (B, G, R, x in
  // memory) in one pass; a negative height makes libyuv flip the rows.
  cairo_surface_flush(surface_);
  libyuv::RGB24ToARGB(rows_.data(), BitmapStride(width, 24), pixels_.data(), width * 4, width,
                      header_.biHeight > 0 ? -height : height);
  cairo_surface_mark_dirty(surface_);
  Refresh(false);
}

void CaptureView::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  auto* cairo = static_cast<cairo_t*>(dc.GetHandle());
  if (!cairo) return;
  if (surface_) {
    // A picture decoded at another size than the view's is scaled to it.
    const wxSize client = GetClientSize();
    if (client.x != width_ || client.y != height_)
      cairo_scale(cairo, static_cast<double>(client.x) / width_,
                  static_cast<double>(client.y) / height_);
    cairo_set_source_surface(cairo, surface_, 0, 0);
  } else {
    cairo_set_source_rgb(cairo, 0, 0, 0);
  }
  cairo_paint(cairo);
}

}  // namespace platform
