#include "shell/access_dialog.h"

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "shell/dialog_ok.h"

namespace shell {

using platform::FromText;
using platform::TextOf;

// The controls, by their names in the dialog's XRC template.
constexpr const char* kScopeRadios[] = {"1201", "1202", "1203"};  // by Access value
constexpr char kAskCheck[] = "1204";
constexpr char kUserEdit[] = "1205";
constexpr char kPasswordEdit[] = "1206";
constexpr char kConfirmEdit[] = "1207";

AccessDialog::AccessDialog(wxWindow* owner, settings::ServerSettings& settings,
                           std::function<void()> applyAndSave)
    : settings_(settings), applyAndSave_(std::move(applyAndSave)) {
  platform::LoadDialogTemplate(this, owner, "ACCESSDIALOG");
  Bind(wxEVT_BUTTON, &AccessDialog::OnOK, this, platform::WxIdOf(platform::kIdOk));
  const settings::AccessTexts shown = settings::AccessTextsFrom(settings_);
  XRCCTRL(*this, kScopeRadios[shown.scope <= 2 ? shown.scope : 0], wxRadioButton)->SetValue(true);
  XRCCTRL(*this, kAskCheck, wxCheckBox)->SetValue(shown.askPassword);
  XRCCTRL(*this, kUserEdit, wxTextCtrl)->ChangeValue(FromText(shown.user));
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void AccessDialog::OnOK(wxCommandEvent&) {
  settings::AccessTexts texts;
  for (uint32_t scope = 0; scope < 3; ++scope)
    if (XRCCTRL(*this, kScopeRadios[scope], wxRadioButton)->GetValue()) texts.scope = scope;
  texts.askPassword = XRCCTRL(*this, kAskCheck, wxCheckBox)->GetValue();
  texts.user = TextOf(XRCCTRL(*this, kUserEdit, wxTextCtrl)->GetValue());
  texts.password = TextOf(XRCCTRL(*this, kPasswordEdit, wxTextCtrl)->GetValue());
  texts.confirm = TextOf(XRCCTRL(*this, kConfirmEdit, wxTextCtrl)->GetValue());
  FinishOk(*this, settings::ReadAccessTexts(texts, settings_), applyAndSave_);
}

}  // namespace shell
