#pragma once

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/stattext.h>
// After stattext.h, which declares what it builds on.
#include <wx/generic/stattextg.h>
#include <wx/timer.h>

#include <string>

namespace widgets {

// A dialog's static text turned into a web link: link colours, underlined
// with a hand cursor while the mouse is over it, the URL as its tooltip, and
// a click opens the URL. User-interface thread.
class HyperlinkLabel : public wxGenericStaticText {
 public:
  HyperlinkLabel();

  // Takes over `control`: its place, text and font; the control goes. The
  // URL comes from the text when none was set, and the text from the URL
  // when the control has none.
  void TakeOver(wxStaticText* control);
  void SetUrl(const std::string& url) { url_ = url; }
  const std::string& Url() const { return url_; }

  void FitToText();
  void MarkVisited(bool visited);
  bool Visited() const { return visited_; }

  const wxColour linkColour{0, 0, 238};
  const wxColour visitedColour{85, 26, 139};
  const wxColour hoverColour{255, 0, 0};

 private:
  void ShowState();
  void OnMotion(wxMouseEvent& event);
  void OnHoverTimer(wxTimerEvent& event);
  void OnClick(wxMouseEvent& event);
  void OnDoubleClick(wxMouseEvent& event);

  bool hovering_ = false;
  bool visited_ = false;
  bool endingDoubleClick_ = false;  // the next button release ends a double-click
  std::string url_;
  wxFont plainFont_, underlinedFont_;
  wxTimer hoverTimer_;
  static constexpr int kHoverPollMs = 100;  // how soon leaving is seen
};

}  // namespace widgets
