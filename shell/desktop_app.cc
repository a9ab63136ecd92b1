#include "shell/desktop_app.h"

#include <wx/icon.h>
#include <wx/xrc/xmlres.h>

#include "platform/thread.h"
#include "platform/ui/wx_message_box.h"
#include "resources/owl_icon.xpm"
#include "shell/main_frame.h"

void InitXmlResource();  // compiled in by wxrc

namespace shell {

bool DesktopApp::OnInit() {
  platform::SetMessageBoxService(&platform::GuiMessageBoxes());
  wxXmlResource::Get()->InitAllHandlers();
  InitXmlResource();
  BeforeMainWindow();
  auto* frame = new MainFrame([this](std::string_view step) { return StartStepFails(step); });
  SetTopWindow(frame);
  frame->SetIcon(wxIcon(owl_icon_xpm));
  AfterMainWindow(*frame);
  if (frame->StartFailed()) return true;  // closing already
  frame->Show();
  frame->FitWindowToVideo();
  return true;
}

int DesktopApp::OnRun() {
  wxApp::OnRun();
  platform::EndIdleThreads();
  return 1;
}

}  // namespace shell
