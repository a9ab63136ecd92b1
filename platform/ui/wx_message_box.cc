#include "platform/ui/wx_message_box.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

namespace platform {

namespace {

long WxStyle(int style) {
  long buttons = (style & 0x0F) == kMbOkCancel ? wxOK | wxCANCEL
                 : (style & 0x0F) == kMbYesNo  ? wxYES_NO
                                               : wxOK;
  switch (style & 0xF0) {
    case kMbIconError:
      return buttons | wxICON_ERROR;
    case kMbIconQuestion:
      return buttons | wxICON_QUESTION;
    case kMbIconExclamation:
      return buttons | wxICON_EXCLAMATION;
    case kMbIconInformation:
      return buttons | wxICON_INFORMATION;
    default:
      return buttons | wxICON_NONE;
  }
}

int Answer(int wxAnswer) {
  switch (wxAnswer) {
    case wxID_CANCEL:
      return kIdCancel;
    case wxID_YES:
      return kIdYes;
    case wxID_NO:
      return kIdNo;
    default:
      return kIdOk;
  }
}

// The window a box belongs to: for a box asked for on the user-interface
// thread, the modal dialog in front (the wizard, Setup), which asked for
// it; otherwise, and for the worker threads' boxes, the main window.
wxWindow* Owner(bool fromGuiThread) {
  if (fromGuiThread) {
    for (auto node = wxTopLevelWindows.GetLast(); node; node = node->GetPrevious()) {
      auto* dialog = wxDynamicCast(node->GetData(), wxDialog);
      if (dialog && dialog->IsModal() && dialog->IsShown()) return dialog;
    }
  }
  return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

}  // namespace

WxMessageBoxService::WxMessageBoxService()
    : queue_([this](const std::string& t, const std::string& c,
                    int s) { return Present(t, c, s, /*fromGuiThread=*/false); },
             [this] {
               if (wxTheApp) wxTheApp->CallAfter([this] { queue_.AnswerPending(); });
             }) {}

int WxMessageBoxService::Show(const std::string& text, const std::string& caption, int style) {
  if (wxThread::IsMain()) return Present(text, caption, style, /*fromGuiThread=*/true);
  return queue_.Request(text, caption, style);
}

int WxMessageBoxService::Present(const std::string& text, const std::string& caption, int style,
                                 bool fromGuiThread) {
  if (presenter_) return presenter_(text, caption, style);
  wxMessageDialog dialog(Owner(fromGuiThread), wxString::FromUTF8(text),
                         wxString::FromUTF8(caption), WxStyle(style));
  return Answer(dialog.ShowModal());
}

WxMessageBoxService& GuiMessageBoxes() {
  static WxMessageBoxService service;
  return service;
}

}  // namespace platform
