#include "platform/ui/dialog_template.h"

#include "platform/message_box.h"

#include <wx/icon.h>
#include <wx/statbmp.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/xml/xml.h>
#include <wx/xrc/xmlres.h>

#include <cstdio>

namespace platform {

namespace {

// The template's own size, "W,Hd". XRC converts it before the template's
// font is set, in the larger default font, so it is applied again here.
wxSize TemplateSize(const char* name) {
  const wxXmlNode* node = wxXmlResource::Get()->GetResourceNode(name);
  for (wxXmlNode* child = node ? node->GetChildren() : nullptr; child; child = child->GetNext()) {
    int width = 0, height = 0;
    if (child->GetName() == "size" &&
        std::sscanf(child->GetNodeContent().utf8_str(), "%d,%dd", &width, &height) == 2)
      return {width, height};
  }
  return wxDefaultSize;
}

// Labels were laid out for a narrower font: each grows to its text, keeping
// its left edge, its top and any room it already had.
void FitLabels(wxWindow* dialog) {
  for (wxWindow* child : dialog->GetChildren()) {
    if (!wxDynamicCast(child, wxStaticText) && !wxDynamicCast(child, wxCheckBox) &&
        !wxDynamicCast(child, wxButton) && !wxDynamicCast(child, wxChoice))
      continue;
    wxSize size = child->GetSize(), best = child->GetBestSize();
    child->SetSize(std::max(size.x, best.x), std::max(size.y, best.y));
  }
}

}  // namespace

int WxIdOf(int designId) {
  switch (designId) {
    case kIdOk:
      return wxID_OK;
    case kIdCancel:
      return wxID_CANCEL;
    default:
      return designId;
  }
}

bool LoadDialogTemplate(wxDialog* dialog, wxWindow* parent, const char* name) {
  if (!wxXmlResource::Get()->LoadDialog(dialog, parent, name)) return false;
  wxSize size = TemplateSize(name);
  if (size != wxDefaultSize) dialog->SetClientSize(dialog->ConvertDialogToPixels(size));
  FitLabels(dialog);
  return true;
}

std::string TextOf(const wxString& text) {
  wxScopedCharBuffer bytes = text.utf8_str();
  return std::string(bytes.data(), bytes.length());
}

std::string TextOf(const wxString& text, const std::string& original) {
  return text == FromText(original) ? original : TextOf(text);
}

void SetDialogIcon(wxDialog* dialog, const wxIcon& icon) {
  for (wxWindow* child : dialog->GetChildren())
    if (auto* bitmap = wxDynamicCast(child, wxStaticBitmap)) bitmap->SetIcon(icon);
}

wxString FromText(const std::string& text) {
  wxString utf8 = wxString::FromUTF8(text.data(), text.size());
  return utf8.empty() && !text.empty() ? wxString::From8BitData(text.data(), text.size()) : utf8;
}

}  // namespace platform
