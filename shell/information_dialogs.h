#pragma once

#include <wx/dialog.h>

#include "widgets/hyperlink_label.h"

namespace shell {

// Help > About (template 105) and the thank-you dialog of every close
// (template 110): the program's icon, fixed texts and one web link. They
// read and change nothing. User-interface thread.
class InformationDialog : public wxDialog {
 protected:
  InformationDialog(wxWindow* parent, const char* templateName);

 private:
  widgets::HyperlinkLabel* link_;
};

class AboutDialog : public InformationDialog {
 public:
  AboutDialog() : InformationDialog(nullptr, "105") {}
};

class ThankYouDialog : public InformationDialog {
 public:
  ThankYouDialog() : InformationDialog(nullptr, "110") {}
};

}  // namespace shell
