#include "share/share_dialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/clipbrd.h>
#include <wx/image.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "platform/ui/dialog_template.h"
#include "share/address_discovery.h"
#include "widgets/hyperlink_label.h"

namespace share {

namespace {

// The controls, by their names in the dialog's XRC template.
constexpr char kAddressChoice[] = "1101";
constexpr char kPageLink[] = "1102";
constexpr char kStreamLink[] = "1103";
constexpr char kSnapshotLink[] = "1104";
constexpr char kCopyPage[] = "1105";
constexpr char kCopyStream[] = "1106";
constexpr char kCopySnapshot[] = "1107";
constexpr char kServerState[] = "1108";
constexpr char kPrivateWarning[] = "1109";
constexpr char kQrCode[] = "1110";
constexpr char kScheme[] = "1111";
constexpr char kFingerprint[] = "1112";
constexpr char kCameraChoice[] = "1113";

constexpr int kQrMinimumPixels = 180;  // to be read from arm's length

widgets::HyperlinkLabel* LinkAt(wxDialog* dialog, const char* id) {
  auto* link = new widgets::HyperlinkLabel;
  link->TakeOver(XRCCTRL(*dialog, id, wxStaticText));
  return link;
}

void ShowLink(widgets::HyperlinkLabel* link, const std::string& url) {
  link->SetUrl(url);
  link->SetLabel(platform::FromText(url));
  link->SetToolTip(platform::FromText(url));
  link->MarkVisited(false);
  link->FitToText();
}

}  // namespace

ShareDialog::ShareDialog(wxWindow* owner, const settings::ServerSettings& settings,
                         const std::string& serverState, const std::string& fingerprint,
                         const std::vector<std::string>& cameras)
    : settings_(settings), addresses_(ShareAddresses()) {
  platform::LoadDialogTemplate(this, owner, "SHAREDIALOG");
  page_ = LinkAt(this, kPageLink);
  stream_ = LinkAt(this, kStreamLink);
  snapshot_ = LinkAt(this, kSnapshotLink);
  XRCCTRL(*this, kServerState, wxStaticText)->SetLabel(serverState);
  auto* certificate = XRCCTRL(*this, kFingerprint, wxStaticText);
  const int width = certificate->GetSize().GetWidth();
  certificate->SetLabel(platform::FromText(CertificateText(fingerprint)));
  certificate->Wrap(width);

  addressChoice_ = XRCCTRL(*this, kAddressChoice, wxChoice);
  for (const std::string& address : addresses_) addressChoice_->Append(platform::FromText(address));
  addressChoice_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ShowAddress(); });
  schemeChoice_ = XRCCTRL(*this, kScheme, wxChoice);
  schemeChoice_->SetSelection(PrefersHttps(settings) ? 1 : 0);
  schemeChoice_->Enable(settings.https != 0);
  schemeChoice_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ShowAddress(); });
  cameraChoice_ = XRCCTRL(*this, kCameraChoice, wxChoice);
  for (size_t n = 0; n < cameras.size(); ++n)
    cameraChoice_->Append(platform::FromText(std::to_string(n) + " " + cameras[n]));
  if (cameras.empty()) cameraChoice_->Append("0");
  cameraChoice_->SetSelection(0);
  cameraChoice_->Enable(cameras.size() > 1);
  cameraChoice_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ShowAddress(); });
  XRCCTRL(*this, kCopyPage, wxButton)->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    Copy(links_.page);
  });
  XRCCTRL(*this, kCopyStream, wxButton)->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    Copy(links_.stream);
  });
  XRCCTRL(*this, kCopySnapshot, wxButton)->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    Copy(links_.snapshot);
  });
  if (!addresses_.empty()) addressChoice_->SetSelection(0);
  ShowAddress();
  FindWindow(platform::WxIdOf(platform::kIdOk))->SetFocus();
}

void ShareDialog::ShowAddress() {
  const int index = addressChoice_->GetSelection();
  const std::string address = index >= 0 ? addresses_[static_cast<size_t>(index)] : "localhost";
  links_ = LinksFor(address, settings_.portnum, settings_.camurl,
                    schemeChoice_->GetSelection() == 1, cameraChoice_->GetSelection());
  ShowLink(page_, links_.page);
  ShowLink(stream_, links_.stream);
  ShowLink(snapshot_, links_.snapshot);

  QrPicture picture = DrawQrCode(QrCodeFor(links_.page), kQrMinimumPixels);
  wxImage image(picture.width, picture.width, picture.rgb.data(), /*static_data=*/true);
  auto* code = XRCCTRL(*this, kQrCode, wxStaticBitmap);
  code->SetBitmap(wxBitmap(image));
  code->SetSize(picture.width, picture.width);

  auto* warning = XRCCTRL(*this, kPrivateWarning, wxStaticText);
  const int width = warning->GetSize().GetWidth();
  warning->SetLabel(IsPrivateAddress(address) ? kPrivateAddressMessage : "");
  warning->Wrap(width);
  warning->SetSize(width, warning->GetBestSize().GetHeight());
}

void ShareDialog::Copy(const std::string& text) {
  if (!wxTheClipboard->Open()) return;
  wxTheClipboard->SetData(new wxTextDataObject(platform::FromText(text)));
  wxTheClipboard->Flush();
  wxTheClipboard->Close();
}

}  // namespace share
