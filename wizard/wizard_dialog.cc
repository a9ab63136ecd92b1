#include "wizard/wizard_dialog.h"

#include <wx/icon.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "resources/owl_icon.xpm"
#include "widgets/hyperlink_label.h"
#include "wizard/wizard_steps.h"

namespace wizard {

using platform::FromText;
using platform::TextOf;

// The controls, by their names in the dialog's XRC template.
constexpr char kWebLink[] = "1019";
constexpr char kAddressEdit[] = "1017";
constexpr char kPortEdit[] = "1018";

WizardDialog::WizardDialog(wxWindow* owner, settings::ServerSettings& settings,
                           share::PictureSize picture, std::function<void()> applyAndSave,
                           std::vector<share::PictureSize> others)
    : settings_(settings),
      picture_(picture),
      others_(std::move(others)),
      applyAndSave_(std::move(applyAndSave)),
      link_(new widgets::HyperlinkLabel) {
  platform::LoadDialogTemplate(this, owner, "111");
  platform::SetDialogIcon(this, wxIcon(owl_icon_xpm));
  link_->TakeOver(XRCCTRL(*this, kWebLink, wxStaticText));
  Bind(wxEVT_BUTTON, &WizardDialog::OnOK, this, platform::WxIdOf(platform::kIdOk));

  // The boxes come before the wizard is on the screen.
  WizardStart start = StartWizard(settings_);
  if (!start.address.empty()) XRCCTRL(*this, kAddressEdit, wxTextCtrl)->ChangeValue(start.address);
  for (const std::string& message : start.messages)
    platform::ShowMessageBox(message, {}, platform::kMbOk);
  XRCCTRL(*this, kPortEdit, wxTextCtrl)->ChangeValue(start.port);
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void WizardDialog::OnOK(wxCommandEvent&) {
  switch (FinishWizard(TextOf(XRCCTRL(*this, kAddressEdit, wxTextCtrl)->GetValue()),
                       TextOf(XRCCTRL(*this, kPortEdit, wxTextCtrl)->GetValue()), settings_,
                       picture_, others_)) {
    case share::HomePageOutcome::Declined:
      return;  // stays open as the user left it
    case share::HomePageOutcome::Failed:
      break;
    case share::HomePageOutcome::Written:
      applyAndSave_();
      break;
  }
  EndModal(wxID_OK);
}

}  // namespace wizard
