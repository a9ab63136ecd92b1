#include "platform/ui/wx_message_box.h"

#include <wx/app.h>
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

}  // namespace

WxMessageBoxService::WxMessageBoxService()
    : queue_([this](const std::string& t, const std::string& c, int s) { return Present(t, c, s); },
             [this] {
               if (wxTheApp) wxTheApp->CallAfter([this] { queue_.AnswerPending(); });
             }) {}

int WxMessageBoxService::Show(const std::string& text, const std::string& caption, int style) {
  if (wxThread::IsMain()) return Present(text, caption, style);
  return queue_.Request(text, caption, style);
}

int WxMessageBoxService::Present(const std::string& text, const std::string& caption, int style) {
  if (presenter_) return presenter_(text, caption, style);
  wxWindow* owner = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
  wxMessageDialog dialog(owner, wxString::FromUTF8(text), wxString::FromUTF8(caption),
                         WxStyle(style));
  return Answer(dialog.ShowModal());
}

WxMessageBoxService& GuiMessageBoxes() {
  static WxMessageBoxService service;
  return service;
}

}  // namespace platform
