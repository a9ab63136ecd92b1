#include "capture/driver_select_dialog.h"

#include <wx/choice.h>
#include <wx/xrc/xmlres.h>

#include "capture/driver_choice.h"
#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"

namespace capture {

// The controls, by their names in the dialog's XRC template.
constexpr char kDriverList[] = "1000";

DriverSelectDialog::DriverSelectDialog(wxWindow* parent, CaptureDevice& device, uint32_t& driver,
                                       std::function<void()> afterConnect)
    : device_(device), driver_(driver), afterConnect_(std::move(afterConnect)) {
  platform::LoadDialogTemplate(this, parent, "DRIVERSELECT");
  Bind(wxEVT_BUTTON, &DriverSelectDialog::OnOK, this, platform::WxIdOf(platform::kIdOk));
  wxChoice* list = XRCCTRL(*this, kDriverList, wxChoice);
  for (const std::string& name : DriverNames()) list->Append(platform::FromText(name));
  if (list->GetCount() > 0) list->SetSelection(0);
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void DriverSelectDialog::OnOK(wxCommandEvent&) {
  ChooseDriver(XRCCTRL(*this, kDriverList, wxChoice)->GetSelection(), driver_, device_);
  afterConnect_();
  EndModal(wxID_OK);
}

}  // namespace capture
