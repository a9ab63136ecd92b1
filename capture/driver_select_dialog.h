#pragma once

#include <wx/dialog.h>

#include <cstdint>
#include <functional>

namespace capture {

class CaptureDevice;

// Video > Select Driver: lists the installed drivers and reconnects the
// camera to the chosen one. `driver` is the main window's setting;
// `afterConnect` fits the window to the picture and saves the settings.
// User-interface thread.
class DriverSelectDialog : public wxDialog {
 public:
  DriverSelectDialog(wxWindow* parent, CaptureDevice& device, uint32_t& driver,
                     std::function<void()> afterConnect);

 private:
  void OnOK(wxCommandEvent& event);

  CaptureDevice& device_;
  uint32_t& driver_;
  std::function<void()> afterConnect_;
};

}  // namespace capture
