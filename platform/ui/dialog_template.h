// Stands in for the design's dialog templates. Promises a dialog built from
// its XRC template, sized in dialog units of its own 8-point font, with no
// label narrower or lower than its text needs.
#pragma once

#include <wx/dialog.h>

#include <string>

namespace platform {

// The wx id of the design's control `designId`: OK and Cancel keep the
// design's 1 and 2 (IDOK, IDCANCEL, as message boxes answer) and are
// wxID_OK and wxID_CANCEL to wx; any other id is its own.
int WxIdOf(int designId);

// Loads template `name` into `dialog` (not yet created), owned by `parent`.
bool LoadDialogTemplate(wxDialog* dialog, wxWindow* parent, const char* name);

// A control's text as the 8-bit string the rest of the program keeps, and back.
std::string TextOf(const wxString& text);
wxString FromText(const std::string& text);
// The same, for a control that was filled with FromText(original): while
// its text is unchanged, `original` itself, so 8-bit bytes that are not
// UTF-8 come back as they were.
std::string TextOf(const wxString& text, const std::string& original);

// Puts `icon` into the dialog's icon control, which the design gives an id
// in some templates and none in others.
void SetDialogIcon(wxDialog* dialog, const wxIcon& icon);

}  // namespace platform
