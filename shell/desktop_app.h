#pragma once

#include <wx/app.h>

#include <string_view>

namespace shell {

class MainFrame;

// The desktop program's application object: the resources, the main window
// and the end. The test host derives from it to drive the real window.
class DesktopApp : public wxApp {
 public:
  bool OnInit() override;
  // The process always ends with status 1.
  int OnRun() override;

 protected:
  // Called before the main window exists, and once it is built.
  virtual void BeforeMainWindow() {}
  virtual void AfterMainWindow(MainFrame&) {}
  // True makes the window's start fail at `step` ("status bar", "capture
  // window") as if the system had refused it.
  virtual bool StartStepFails(std::string_view /*step*/) { return false; }
};

}  // namespace shell
