#include "shell/setup_dialog.h"

#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "settings/setup_values.h"
#include "shell/dialog_ok.h"

namespace shell {

using platform::FromText;
using platform::TextOf;

// The controls, by their names in the dialog's XRC template.
constexpr char kLogCheck[] = "1005";
constexpr char kQualityEdit[] = "1007";
constexpr char kClientsEdit[] = "1008";
constexpr char kPortEdit[] = "1012";
constexpr char kStreamPathEdit[] = "1014";

SetupDialog::SetupDialog(wxWindow* owner, settings::ServerSettings& settings,
                         std::function<void()> applyAndSave)
    : settings_(settings), applyAndSave_(std::move(applyAndSave)) {
  platform::LoadDialogTemplate(this, owner, "SETUPDIALOG");
  Bind(wxEVT_BUTTON, &SetupDialog::OnOK, this, platform::WxIdOf(platform::kIdOk));
  OnInitDialog();
}

void SetupDialog::OnInitDialog() {
  shown_ = settings::SetupTextsFrom(settings_);
  XRCCTRL(*this, kLogCheck, wxCheckBox)->SetValue(shown_.connections);
  XRCCTRL(*this, kQualityEdit, wxTextCtrl)->ChangeValue(FromText(shown_.compression));
  XRCCTRL(*this, kPortEdit, wxTextCtrl)->ChangeValue(FromText(shown_.portnum));
  XRCCTRL(*this, kClientsEdit, wxTextCtrl)->ChangeValue(FromText(shown_.maxclients));
  XRCCTRL(*this, kStreamPathEdit, wxTextCtrl)->ChangeValue(FromText(shown_.camurl));
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void SetupDialog::OnOK(wxCommandEvent&) {
  settings::SetupTexts texts;
  texts.compression =
      TextOf(XRCCTRL(*this, kQualityEdit, wxTextCtrl)->GetValue(), shown_.compression);
  texts.maxclients =
      TextOf(XRCCTRL(*this, kClientsEdit, wxTextCtrl)->GetValue(), shown_.maxclients);
  texts.portnum = TextOf(XRCCTRL(*this, kPortEdit, wxTextCtrl)->GetValue(), shown_.portnum);
  texts.camurl = TextOf(XRCCTRL(*this, kStreamPathEdit, wxTextCtrl)->GetValue(), shown_.camurl);
  texts.connections = XRCCTRL(*this, kLogCheck, wxCheckBox)->GetValue();
  FinishOk(*this, settings::ReadSetupTexts(texts, settings_), applyAndSave_);
}

}  // namespace shell
