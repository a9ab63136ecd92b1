// owlglance-test-host: the desktop program with the test driver, for the GUI
// tests and benchmarks. The shipped owlglance has no remote control.
#include "shell/desktop_app.h"
#include "tests/host/test_driver.h"

class TestHostApp : public shell::DesktopApp {
 protected:
  void BeforeMainWindow() override { StartTestDriver(); }
  void AfterMainWindow(shell::MainFrame& frame) override { AttachTestDriver(frame); }
  bool StartStepFails(std::string_view step) override { return InjectedStartFailure(step); }
};

wxIMPLEMENT_APP(TestHostApp);
