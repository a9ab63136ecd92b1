#include "platform/ui/driver_dialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <vector>

namespace platform {

bool ShowDriverDialog(wxWindow* parent, DriverDialog& dialog) {
  wxDialog window(parent, wxID_ANY, wxString::FromUTF8(dialog.title));
  window.SetFont(wxFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
  auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
  std::vector<wxChoice*> choices;
  for (const auto& setting : dialog.settings) {
    grid->Add(new wxStaticText(&window, wxID_ANY, wxString::FromUTF8(setting.name)), 0,
              wxALIGN_CENTER_VERTICAL);
    auto* choice = new wxChoice(&window, wxID_ANY);
    for (const auto& text : setting.choices) choice->Append(wxString::FromUTF8(text));
    choice->SetSelection(setting.current);
    grid->Add(choice, 1, wxEXPAND);
    choices.push_back(choice);
  }
  if (dialog.settings.empty())
    grid->Add(new wxStaticText(&window, wxID_ANY, "This driver has no settings here."));
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(grid, 1, wxEXPAND | wxALL, 10);
  column->Add(window.CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 8);
  window.SetSizerAndFit(column);
  window.CentreOnParent();
  if (window.ShowModal() != wxID_OK) return false;
  for (size_t i = 0; i < choices.size(); ++i)
    dialog.settings[i].current = choices[i]->GetSelection();
  return true;
}

}  // namespace platform
