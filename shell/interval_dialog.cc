#include "shell/interval_dialog.h"

#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include "keep/keeper.h"
#include "keep/picture_file.h"
#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "settings/interval_values.h"
#include "shell/dialog_ok.h"

namespace shell {

using platform::FromText;
using platform::TextOf;

// The controls, by their names in the dialog's XRC template.
constexpr char kOnCheck[] = "1301";
constexpr char kSecondsEdit[] = "1302";
constexpr char kFolderEdit[] = "1303";
constexpr char kKeepEdit[] = "1304";

IntervalDialog::IntervalDialog(wxWindow* owner, settings::ServerSettings& settings,
                               std::function<void()> applyAndSave)
    : settings_(settings), applyAndSave_(std::move(applyAndSave)) {
  platform::LoadDialogTemplate(this, owner, "INTERVALDIALOG");
  Bind(wxEVT_BUTTON, &IntervalDialog::OnOK, this, platform::WxIdOf(platform::kIdOk));
  const settings::IntervalTexts shown = settings::IntervalTextsFrom(settings_);
  XRCCTRL(*this, kOnCheck, wxCheckBox)->SetValue(shown.on);
  XRCCTRL(*this, kSecondsEdit, wxTextCtrl)->ChangeValue(FromText(shown.seconds));
  XRCCTRL(*this, kFolderEdit, wxTextCtrl)->ChangeValue(FromText(shown.folder));
  XRCCTRL(*this, kKeepEdit, wxTextCtrl)->ChangeValue(FromText(shown.keep));
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void IntervalDialog::OnOK(wxCommandEvent&) {
  settings::IntervalTexts texts;
  texts.on = XRCCTRL(*this, kOnCheck, wxCheckBox)->GetValue();
  texts.seconds = TextOf(XRCCTRL(*this, kSecondsEdit, wxTextCtrl)->GetValue());
  texts.folder = TextOf(XRCCTRL(*this, kFolderEdit, wxTextCtrl)->GetValue());
  texts.keep = TextOf(XRCCTRL(*this, kKeepEdit, wxTextCtrl)->GetValue());
  settings::ServerSettings typed = settings_;
  std::vector<std::string> messages = settings::ReadIntervalTexts(texts, typed);
  // The folder is tried now, not a minute later with the first picture.
  const keep::KeepPlan plan = keep::PlanFrom(typed);
  if (messages.empty() && plan.interval)
    if (const int error = keep::TryFolder(plan.pictureFolder))
      messages.push_back(
          keep::WriteFailedMessage(error, "no picture can be kept there", plan.pictureFolder));
  if (messages.empty()) settings_ = typed;
  FinishOk(*this, messages, applyAndSave_);
}

}  // namespace shell
