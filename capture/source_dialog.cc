#include "capture/source_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"

namespace capture {

namespace {

using Kind = platform::CameraControl::Kind;

constexpr char kControlsPanel[] = "1401";
constexpr char kDefaultsButton[] = "1402";

// The index of a menu's value among its items, or -1.
int ItemIndex(const platform::CameraControl& row) {
  const auto at = std::ranges::find(row.items, row.value, &std::pair<int32_t, std::string>::first);
  return at == row.items.end() ? -1 : static_cast<int>(at - row.items.begin());
}

}  // namespace

SourceDialog::SourceDialog(wxWindow* owner, SourceControls& controls) : controls_(controls) {
  platform::LoadDialogTemplate(this, owner, "SOURCEDIALOG");
  Build(XRCCTRL(*this, kControlsPanel, wxScrolledWindow));
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        controls_.Defaults();
        ShowValues();
      },
      XRCID(kDefaultsButton));
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void SourceDialog::Build(wxWindow* panel) {
  auto* grid = new wxFlexGridSizer(3, wxSize(8, 4));
  grid->AddGrowableCol(1);
  for (const auto& control : controls_.Rows()) {
    Row row;
    row.id = control.id;
    const wxString name = wxString::FromUTF8(control.name);
    switch (control.kind) {
      case Kind::kHeading: {
        auto* heading = new wxStaticText(panel, wxID_ANY, name);
        heading->SetFont(heading->GetFont().Bold());
        row.label = heading;
        grid->Add(heading, 0, wxTOP, 6);
        grid->AddSpacer(0);
        grid->AddSpacer(0);
        break;
      }
      case Kind::kInteger: {
        row.label = new wxStaticText(panel, wxID_ANY, name);
        auto* slider = new wxSlider(panel, wxID_ANY, control.value, control.minimum,
                                    std::max(control.maximum, control.minimum + 1));
        // The toolkit's own size: GTK draws the field with both of its buttons.
        auto* field =
            new wxSpinCtrl(panel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                           wxSP_ARROW_KEYS, control.minimum, control.maximum, control.value);
        slider->Bind(wxEVT_SLIDER, [this, id = control.id, slider](wxCommandEvent&) {
          Changed(id, slider->GetValue());
        });
        field->Bind(wxEVT_SPINCTRL, [this, id = control.id, field](wxSpinEvent&) {
          Changed(id, field->GetValue());
        });
        row.control = slider;
        row.field = field;
        grid->Add(row.label, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(slider, 1, wxEXPAND);
        grid->Add(field, 0, wxALIGN_CENTER_VERTICAL);
        break;
      }
      case Kind::kBoolean: {
        row.label = new wxStaticText(panel, wxID_ANY, name);
        auto* check = new wxCheckBox(panel, wxID_ANY, wxEmptyString);
        check->Bind(wxEVT_CHECKBOX, [this, id = control.id, check](wxCommandEvent&) {
          Changed(id, check->GetValue() ? 1 : 0);
        });
        row.control = check;
        grid->Add(row.label, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(check, 0, wxALIGN_CENTER_VERTICAL);
        grid->AddSpacer(0);
        break;
      }
      case Kind::kMenu:
      case Kind::kIntegerMenu: {
        row.label = new wxStaticText(panel, wxID_ANY, name);
        auto* choice = new wxChoice(panel, wxID_ANY);
        for (const auto& item : control.items) choice->Append(wxString::FromUTF8(item.second));
        choice->Bind(wxEVT_CHOICE, [this, id = control.id, choice](wxCommandEvent&) {
          const auto& rows = controls_.Rows();
          const auto shown = std::ranges::find(rows, id, &platform::CameraControl::id);
          const int index = choice->GetSelection();
          if (shown != rows.end() && index >= 0 && index < static_cast<int>(shown->items.size()))
            Changed(id, shown->items[static_cast<size_t>(index)].first);
        });
        row.control = choice;
        grid->Add(row.label, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(choice, 1, wxEXPAND);
        grid->AddSpacer(0);
        break;
      }
      case Kind::kButton: {
        auto* button = new wxButton(panel, wxID_ANY, name);
        button->Bind(wxEVT_BUTTON, [this, id = control.id](wxCommandEvent&) { Changed(id, 1); });
        row.control = button;
        grid->AddSpacer(0);
        grid->Add(button, 0);
        grid->AddSpacer(0);
        break;
      }
    }
    rows_.push_back(row);
  }
  if (controls_.Rows().empty())
    grid->Add(new wxStaticText(panel, wxID_ANY, "This camera has no controls here."));
  auto* margin = new wxBoxSizer(wxVERTICAL);
  margin->Add(grid, 1, wxEXPAND | wxALL, 10);
  panel->SetSizer(margin);
  static_cast<wxScrolledWindow*>(panel)->SetScrollRate(0, 10);
  panel->FitInside();
  ShowValues();
}

void SourceDialog::Changed(uint32_t id, int32_t value) {
  controls_.Change(id, value);
  ShowValues();
}

void SourceDialog::ShowValues() {
  for (const Row& row : rows_) {
    const auto& all = controls_.Rows();
    const auto control = std::ranges::find(all, row.id, &platform::CameraControl::id);
    if (control == all.end()) continue;
    const bool enabled = SourceControls::Enabled(*control);
    if (row.label) row.label->Enable(enabled || control->kind == Kind::kHeading);
    if (row.control) row.control->Enable(enabled);
    if (row.field) row.field->Enable(enabled);
    if (auto* slider = wxDynamicCast(row.control, wxSlider)) slider->SetValue(control->value);
    if (auto* field = wxDynamicCast(row.field, wxSpinCtrl)) field->SetValue(control->value);
    if (auto* check = wxDynamicCast(row.control, wxCheckBox)) check->SetValue(control->value != 0);
    if (auto* choice = wxDynamicCast(row.control, wxChoice))
      choice->SetSelection(ItemIndex(*control));
  }
}

}  // namespace capture
