#include "widgets/hyperlink_label.h"

#include <wx/dcclient.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "platform/launcher.h"
#include "platform/message_box.h"
#include "widgets/link_opener.h"

namespace widgets {

HyperlinkLabel::HyperlinkLabel() : hoverTimer_(this) {}

void HyperlinkLabel::TakeOver(wxStaticText* control) {
  std::string text(control->GetLabel().utf8_str());
  if (url_.empty()) url_ = text;
  if (text.empty()) text = url_;
  // A GTK label has no window of its own to take mouse events, so a
  // generic one takes its place, id and style.
  Create(control->GetParent(), control->GetId(), wxString::FromUTF8(text), control->GetPosition(),
         control->GetSize(), control->GetWindowStyle() | wxST_NO_AUTORESIZE);
  plainFont_ = control->GetFont().IsOk() ? control->GetFont()
                                         : wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  underlinedFont_ = plainFont_.Underlined();
  SetFont(plainFont_);
  MoveAfterInTabOrder(control);
  control->Destroy();
  FitToText();
  SetCursor(wxCursor(wxCURSOR_HAND));
  SetToolTip(wxString::FromUTF8(url_));
  ShowState();
  Bind(wxEVT_MOTION, &HyperlinkLabel::OnMotion, this);
  Bind(wxEVT_ENTER_WINDOW, &HyperlinkLabel::OnMotion, this);
  Bind(wxEVT_TIMER, &HyperlinkLabel::OnHoverTimer, this);
  Bind(wxEVT_LEFT_UP, &HyperlinkLabel::OnClick, this);
  Bind(wxEVT_LEFT_DCLICK, &HyperlinkLabel::OnDoubleClick, this);
}

void HyperlinkLabel::FitToText() {
  wxClientDC dc(this);
  dc.SetFont(underlinedFont_);
  wxSize text = dc.GetMultiLineTextExtent(GetLabel());
  wxRect rect = GetRect();
  wxSize border = GetSize() - GetClientSize();
  int width = text.x + border.x, height = text.y + border.y;
  if (HasFlag(wxALIGN_CENTRE_HORIZONTAL)) {
    rect.x += (rect.width - width) / 2;
  } else if (HasFlag(wxALIGN_RIGHT)) {
    rect.x += rect.width - width;
  }
  SetSize(rect.x, rect.y, width, height);
}

void HyperlinkLabel::MarkVisited(bool visited) {
  visited_ = visited;
  ShowState();
}

void HyperlinkLabel::ShowState() {
  SetForegroundColour(hovering_ ? hoverColour : visited_ ? visitedColour : linkColour);
  SetFont(hovering_ ? underlinedFont_ : plainFont_);
  Refresh();
}

void HyperlinkLabel::OnMotion(wxMouseEvent& event) {
  event.Skip();
  if (hovering_) return;
  hovering_ = true;
  ShowState();
  hoverTimer_.Start(kHoverPollMs);
}

void HyperlinkLabel::OnHoverTimer(wxTimerEvent&) {
  if (GetClientRect().Contains(ScreenToClient(wxGetMousePosition()))) return;
  hovering_ = false;
  hoverTimer_.Stop();
  ShowState();
}

// A double-click is one click, as a static control's click notification
// counts it: its second press comes as a double-click, whose release opens
// nothing.
void HyperlinkLabel::OnDoubleClick(wxMouseEvent&) { endingDoubleClick_ = true; }

void HyperlinkLabel::OnClick(wxMouseEvent&) {
  if (endingDoubleClick_) {
    endingDoubleClick_ = false;
    return;
  }
  hovering_ = false;
  int failure = 0;
  visited_ = OpenLink(url_, failure);
  if (visited_) {
    MarkVisited(true);
    return;
  }
  ShowState();
  wxBell();
  platform::ShowMessageBox(OpenErrorMessage(failure), {},
                           platform::kMbOk | platform::kMbIconExclamation);
}

}  // namespace widgets
