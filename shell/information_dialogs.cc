#include "shell/information_dialogs.h"

#include <wx/icon.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "resources/owl_icon.xpm"

namespace shell {

// The controls, by their names in the dialog's XRC template.
constexpr char kWebLink[] = "1019";

InformationDialog::InformationDialog(wxWindow* parent, const char* templateName)
    : link_(new widgets::HyperlinkLabel) {
  platform::LoadDialogTemplate(this, parent, templateName);
  platform::SetDialogIcon(this, wxIcon(owl_icon_xpm));
  link_->TakeOver(XRCCTRL(*this, kWebLink, wxStaticText));
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
  if (!parent) CentreOnScreen();
}

}  // namespace shell
