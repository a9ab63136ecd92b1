// The desktop program: the application object and its start.
#include <wx/app.h>
#include <wx/icon.h>
#include <wx/xrc/xmlres.h>

#include "platform/thread.h"
#include "platform/ui/wx_message_box.h"
#include "resources/owl_icon.xpm"
#include "shell/main_frame.h"
#include "shell/test_driver.h"

void InitXmlResource();  // compiled in by wxrc

class ServerApp : public wxApp {
 public:
  bool OnInit() override {
    platform::SetMessageBoxService(&platform::GuiMessageBoxes());
    wxXmlResource::Get()->InitAllHandlers();
    InitXmlResource();
    StartTestDriver();
    auto* frame = new MainFrame();
    SetTopWindow(frame);
    frame->SetIcon(wxIcon(owl_icon_xpm));
    AttachTestDriver(*frame);
    if (frame->StartFailed()) return true;  // closing already
    frame->Show();
    frame->FitWindowToVideo();
    return true;
  }

  // The process always ends with status 1.
  int OnRun() override {
    wxApp::OnRun();
    platform::EndIdleThreads();
    return 1;
  }
};

wxIMPLEMENT_APP(ServerApp);
