#include "shell/main_frame.h"

#include <wx/display.h>

#include <ctime>

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/xrc/xmlres.h>

#include "capture/driver_select_dialog.h"
#include "capture/source_dialog.h"
#include "keep/picture_file.h"
#include "keep/picture_names.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/ui/capture_view.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/driver_dialog.h"
#include "platform/ui/wx_message_box.h"
#include "platform/user_folders.h"
#include "settings/settings_store.h"
#include "share/home_page.h"
#include "share/share_dialog.h"
#include "shell/access_dialog.h"
#include "shell/information_dialogs.h"
#include "shell/interval_dialog.h"
#include "shell/page_pictures.h"
#include "shell/setup_dialog.h"
#include "shell/status_texts.h"
#include "shell/video_fit.h"
#include "wizard/wizard_dialog.h"

namespace shell {

using platform::FromText;
using platform::TextOf;

namespace {
constexpr int kPanes[] = {kPaneUsers, kPaneServer, kPanePreview, kPaneRecording};
constexpr int kPaneCount = 4;
// The menu items' names in the XRC menu, by command.
constexpr struct {
  int id;
  const char* xrcName;
} kMenuItems[] = {
    {kCmdExit, "ID_FILE_EXIT"},
    {kCmdSavePicture, "ID_FILE_SAVE_PICTURE"},
    {kCmdPreview, "ID_VIDEO_PREVIEW"},
    {kCmdSelectDriver, "ID_VIDEO_DRIVER"},
    {kCmdFormat, "ID_VIDEO_FORMAT"},
    {kCmdSource, "ID_VIDEO_SOURCE"},
    {kCmdPassThrough, "ID_VIDEO_PASSTHROUGH"},
    {kCmdPicturesEvery, "ID_VIDEO_INTERVAL"},
    {kCmdRecord, "ID_VIDEO_RECORD"},
    {kCmdSetup, "ID_SERVER_SETUP"},
    {kCmdStartServer, "ID_SERVER_START"},
    {kCmdStopServer, "ID_SERVER_STOP"},
    {kCmdShare, "ID_SERVER_SHARE"},
    {kCmdAccess, "ID_SERVER_ACCESS"},
    {kCmdViewLog, "ID_SERVER_LOG"},
    {kCmdAbout, "ID_HELP_ABOUT"},
    {kCmdReadme, "ID_HELP_README"},
    {kCmdWizard, "ID_HELP_WIZARD"},
};
// How long Save Picture waits for a picture when nothing grabs.
constexpr int kPictureWaitMs = 2000;
// Idle-time updates need events to follow; this wakes the loop now and then
// so a count changed by the server's threads shows without a mouse move.
constexpr int kStatusWakeMs = 250;
}  // namespace

MainFrame::MainFrame(StartStepFails startStepFails)
    : wxFrame(nullptr, wxID_ANY, "Owlglance v" OWL_VERSION, wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE & ~(wxRESIZE_BORDER | wxMAXIMIZE_BOX)),
      statusTimer_(this),
      startStepFails_(std::move(startStepFails)) {
  // Every close, a failed start's too, goes through the same shutdown.
  Bind(wxEVT_CLOSE_WINDOW, &MainFrame::OnClose, this);
  SetMenuBar(wxXmlResource::Get()->LoadMenuBar("WEBCAMMENU"));
  BindMenu();
  // The settings come before the status bar, so that a start that fails
  // there saves what it loaded, not the defaults over the user's values.
  LoadSettings();
  if (!CreateStatusPanes()) {
    platform::ShowMessageBox("Failed to create status bar", "ERROR", platform::kMbOk);
    FailStart();
    return;
  }
  // Each camera comes back with the format and the control values chosen
  // for it before, and shows its dialogs over this window.
  station_ = std::make_unique<station::Station>(
      settings_,
      [this](capture::CaptureDevice& device) {
        device.SetSourcePresenter([this](capture::SourceControls& controls) {
          return capture::SourceDialog(this, controls).ShowModal() == wxID_OK;
        });
        device.Window()->SetDialogPresenter([this](platform::DriverDialog& dialog) {
          return platform::ShowDriverDialog(this, dialog);
        });
      },
      [] { platform::GuiMessageBoxes().AnswerPending(); });
  if ((startStepFails_ && startStepFails_("capture window")) || !station_->OpenChosen()) {
    platform::ShowMessageBox(
        "Error initializing vfw capture window!\nTry reinstalling camera drivers and ensure it is "
        "plugged in.",
        "ERROR", platform::kMbOk);
    FailStart();
    return;
  }
  station_->OpenOthers();
  view_ = new platform::CaptureView(this, Device().Window());
  commands_ = std::make_unique<Commands>(*this, Device(), station_->Server());
  FillCameraMenu();
  ShowPassThrough();
  ApplyKeeping();
  FitWindowToVideo();
  if (firstRun_) RunWizard();  // before the window is on the screen
  commands_->Preview();

  Bind(wxEVT_IDLE, [this](wxIdleEvent&) {
    UpdateStatusPanes();
    ShowServerNotices();
    ShowKeeperStops();
  });
  Bind(wxEVT_TIMER, [](wxTimerEvent&) { wxWakeUpIdle(); });
  statusTimer_.Start(kStatusWakeMs);
}

MainFrame::~MainFrame() {
  if (station_) station_->Close();
}

void MainFrame::BindMenu() {
  for (const auto& item : kMenuItems)
    Bind(
        wxEVT_MENU, [this, id = item.id](wxCommandEvent&) { RunCommand(id); }, XRCID(item.xrcName));
  // Video > Camera's items are made as the cameras are found, by their ids.
  Bind(
      wxEVT_MENU, [this](wxCommandEvent& event) { RunCommand(event.GetId()); }, kCmdServeCamera);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent& event) { RunCommand(event.GetId()); }, kCmdCameraFirst,
      kCmdCameraLast);
}

void MainFrame::RunCommand(int commandId) {
  if (commands_) commands_->Run(commandId);
}

void MainFrame::WhileWaiting() { platform::GuiMessageBoxes().AnswerPending(); }

void MainFrame::RunSetupDialog() {
  const settings::ServerSettings before = settings_;
  SetupDialog(this, settings_, [this] { ApplyAndSaveSettings(); }).ShowModal();
  if (settings_.camurl == before.camurl && settings_.portnum == before.portnum) return;
  // The page viewers open (Share's code leads there) shows the new address.
  if (share::FollowHomePage(static_cast<int32_t>(settings_.portnum), settings_.camurl) ==
      share::PageFollows::kEdited)
    platform::ShowMessageBox(share::kEditedPageMessage, "Home Page",
                             platform::kMbOk | platform::kMbIconInformation);
}

// Select Driver chooses camera 0: the window shows it while the dialog
// runs, and the other cameras are found again after, so that none is
// opened twice.
void MainFrame::RunDriverDialog() {
  ShowCamera(0);
  station_->CloseOthers();
  FillCameraMenu();
  capture::DriverSelectDialog(this, Device(), settings_.driver, [this] {
    FitWindowToVideo();
    SaveSettings();
  }).ShowModal();
  station_->OpenOthers();  // a camera connected now gives its keeper pictures
  FillCameraMenu();
  ApplyKeeping();
}

void MainFrame::ShowCamera(size_t n) {
  if (n >= station_->Count() || n == shown_) return FillCameraMenu();
  // The preview goes with the window: on for the camera shown, if it was.
  const bool previewing = Device().IsPreviewing();
  Device().StopPreview();
  shown_ = n;
  commands_->ActOn(Device());
  view_->Watch(Device().Window());
  if (previewing) static_cast<void>(Device().StartPreview());
  FillCameraMenu();
  ApplyKeeping();  // Record's check mark is the camera's
  FitWindowToVideo();
}

void MainFrame::ToggleServed() {
  station_->SetServed(shown_, !station_->At(shown_).served);
  FillCameraMenu();
}

void MainFrame::FillCameraMenu() {
  wxMenuItem* item = GetMenuBar()->FindItem(XRCID("ID_VIDEO_CAMERA"));
  wxMenu* menu = item ? item->GetSubMenu() : nullptr;
  if (!menu) return;
  while (menu->GetMenuItemCount() > 0) menu->Destroy(menu->FindItemByPosition(0));
  for (size_t n = 0; n < station_->Count(); ++n) {
    const int id = kCmdCameraFirst + static_cast<int>(n);
    if (id > kCmdCameraLast) break;
    menu->AppendCheckItem(id, FromText("&" + std::to_string(n) + " " + station_->At(n).name))
        ->Check(n == shown_);
  }
  menu->AppendSeparator();
  wxMenuItem* served = menu->AppendCheckItem(kCmdServeCamera, "&Serve This Camera");
  served->Check(station_->At(shown_).served);
  served->Enable(shown_ != 0);  // the chosen camera is always served
}

void MainFrame::RunAboutDialog() { AboutDialog().ShowModal(); }

void MainFrame::TogglePassThrough() {
  settings_.passthrough = settings_.passthrough ? 0 : 1;
  ApplyAndSaveSettings();
  ShowPassThrough();
}

void MainFrame::ShowPassThrough() {
  if (wxMenuItem* item = GetMenuBar()->FindItem(XRCID("ID_VIDEO_PASSTHROUGH")))
    item->Check(settings_.passthrough != 0);
}

void MainFrame::RunShareDialog() {
  std::string state = PaneText(kPaneServer, 0, ServerRunning(), false);
  if (!settings_.viewpass.empty()) state += ", a password is asked";
  std::vector<std::string> cameras;
  for (size_t n = 0; n < station_->Count(); ++n)
    if (station_->At(n).served) cameras.push_back(station_->At(n).name);
  share::ShareDialog(this, settings_, state, station_->Server().Fingerprint(), cameras).ShowModal();
}

void MainFrame::RunAccessDialog() {
  AccessDialog(this, settings_, [this] { ApplyAndSaveSettings(); }).ShowModal();
}

void MainFrame::RunWizard() {
  // The page shows camera 0 first, whichever camera the window shows.
  share::PictureSize picture;
  static_cast<void>(station_->At(0).device.GetImageSize(picture.width, picture.height));
  wizard::WizardDialog(
      this, settings_, picture, [this] { ApplyAndSaveSettings(); }, OtherPictures(*station_))
      .ShowModal();
}

void MainFrame::RunIntervalDialog() {
  IntervalDialog(this, settings_, [this] { ApplyAndSaveSettings(); }).ShowModal();
}

// Record acts on the camera shown: camera 0's is a setting, another's is
// kept with the camera.
void MainFrame::ToggleRecording() {
  if (shown_ == 0) {
    settings_.record = settings_.record ? 0 : 1;
    ApplyAndSaveSettings();
    return;
  }
  station_->SetRecords(shown_, !station_->Records(shown_));
  ApplyKeeping();
}

void MainFrame::ApplyKeeping() {
  station_->ApplyKeeping();
  if (wxMenuItem* item = GetMenuBar()->FindItem(XRCID("ID_VIDEO_RECORD")))
    item->Check(station_->Records(shown_));
}

void MainFrame::StopKeeping() { station_->StopKeeping(); }

void MainFrame::ShowKeeperStops() {
  if (showingNotices_) return;
  keep::Keeper::Stops stops = station_->TakeKeeperStops();
  if (stops.messages.empty()) return;
  // What failed is off until the user turns it on again.
  if (stops.record) settings_.record = 0;
  if (stops.interval) settings_.intervalon = 0;
  ApplyKeeping();
  SaveSettings();
  showingNotices_ = true;
  for (const std::string& message : stops.messages)
    platform::ShowMessageBox(message, "Error", platform::kMbOk | platform::kMbIconExclamation);
  showingNotices_ = false;
}

std::string MainFrame::CurrentPicture() {
  capture::CaptureDevice& device = Device();
  capture::FrameStore& store = device.frameStore;
  // Nothing grabs: the picture in the store is an old one, or none.
  const bool borrowed = !device.IsGrabbing();
  if (borrowed && device.HoldGrabbing() != capture::DeviceResult::kOk) return {};
  uint64_t seen = store.PublishedCount();
  std::string picture;
  for (const int64_t end = platform::SteadyMillis() + kPictureWaitMs;
       platform::SteadyMillis() < end;) {
    {
      const capture::FrameStore::Reader latest(store);
      if (latest.Length() >= 1 && (!borrowed || latest.Published() != seen)) {
        picture.assign(reinterpret_cast<const char*>(latest.Image().Data()),
                       static_cast<size_t>(latest.Length()));
        break;
      }
      if (latest.Published() != seen && !borrowed) seen = latest.Published();
    }
    store.WaitForNewFrame(seen, 100);
  }
  if (borrowed) device.ReleaseGrabbing();
  return picture;
}

void MainFrame::SavePicture() {
  const std::string picture = CurrentPicture();
  if (picture.empty()) {
    platform::ShowMessageBox("There is no picture to save: the camera gives none.", "Save Picture",
                             platform::kMbOk | platform::kMbIconExclamation);
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string folder = platform::UserFolder("PICTURES");
  const std::string name = keep::SavedPictureName(local);
  std::string path;
  if (askSavePath_) {
    path = askSavePath_(folder, name);
  } else {
    wxFileDialog dialog(this, "Save Picture", FromText(folder), FromText(name),
                        "JPEG pictures (*.jpg)|*.jpg;*.jpeg", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() == wxID_OK) path = TextOf(dialog.GetPath());
  }
  if (path.empty()) return;
  const int error =
      keep::ReplaceFile(path, reinterpret_cast<const uint8_t*>(picture.data()), picture.size());
  if (error != 0)
    platform::ShowMessageBox(keep::WriteFailedMessage(error, "the picture was not saved", path),
                             "Save Picture", platform::kMbOk | platform::kMbIconExclamation);
}

void MainFrame::FailStart() {
  startFailed_ = true;
  CallAfter([this] { Close(); });
}

bool MainFrame::CreateStatusPanes() {
  if (startStepFails_ && startStepFails_("status bar")) return false;
  wxStatusBar* bar =
      CreateStatusBar(kPaneCount, wxSTB_SHOW_TIPS | wxSTB_ELLIPSIZE_END | wxFULL_REPAINT_ON_RESIZE);
  if (!bar) return false;
  // Each pane is as wide as its first text, measured once, and none
  // stretches; the recording pane as wide as "Recording".
  int widths[kPaneCount];
  for (int i = 0; i < kPaneCount; ++i) {
    const char* text = kPanes[i] == kPaneRecording ? kRecordingText : PaneInitialText(kPanes[i]);
    widths[i] = bar->GetTextExtent(text).GetWidth() + 16;
    bar->SetStatusText(PaneInitialText(kPanes[i]), i);
  }
  bar->SetStatusWidths(kPaneCount, widths);
  // A small picture (320x240) must not squeeze the panes: the window is
  // at least as wide as they are, with the bar's borders between them.
  minClientWidth_ = bar->GetBorderX() * (kPaneCount + 1) + 8;
  for (int width : widths) minClientWidth_ += width;
  return true;
}

void MainFrame::UpdateStatusPanes() {
  wxStatusBar* bar = GetStatusBar();
  if (!bar || !commands_) return;
  // Every camera's viewers count.
  for (int i = 0; i < kPaneCount; ++i) {
    wxString text = PaneText(kPanes[i], station_->Server().ConnectedCount(), ServerRunning(),
                             Device().IsPreviewing(), station_->Recording());
    if (bar->GetStatusText(i) != text) bar->SetStatusText(text, i);
  }
}

void MainFrame::ShowServerNotices() {
  if (!commands_ || showingNotices_) return;  // a box's own loop runs idle handlers too
  showingNotices_ = true;
  for (const std::string& notice : station_->Server().TakeNotices())
    platform::ShowMessageBox(notice, {}, platform::kMbOk | platform::kMbIconExclamation);
  showingNotices_ = false;
}

void MainFrame::LoadSettings() {
  const settings::SettingsFound found = settings::LoadSettings(settings_);
  firstRun_ = found.firstRun;
  if (!found.Message().empty())
    platform::ShowMessageBox(found.Message(), "Error",
                             platform::kMbOk | platform::kMbIconExclamation);
}

void MainFrame::SaveSettings() { settings::SaveSettings(settings_); }

void MainFrame::ApplyAndSaveSettings() {
  ApplySettings();
  SaveSettings();
}

void MainFrame::ApplySettings() {
  if (!commands_) return;
  station_->Apply();
  ApplyKeeping();  // the menu's check mark
}

void MainFrame::FitWindowToVideo() {
  if (!station_ || Device().GetImageSize(videoWidth_, videoHeight_) != capture::DeviceResult::kOk) {
    videoWidth_ = 640;
    videoHeight_ = 480;
  }
  // wx's client area already leaves out the menu and the status bar; the
  // whole window stays within the screen's work area.
  const int display = wxDisplay::GetFromWindow(this);
  const wxRect area =
      wxDisplay(display == wxNOT_FOUND ? 0 : static_cast<unsigned>(display)).GetClientArea();
  const wxSize frame = GetSize() - GetClientSize();
  const auto [width, height] =
      FitVideo(videoWidth_, videoHeight_, area.width - frame.x, area.height - frame.y);
  // A picture narrower than the panes sits in the middle.
  const int clientWidth = std::max(width, minClientWidth_);
  SetClientSize(clientWidth, height);
  if (view_) view_->SetSize((clientWidth - width) / 2, 0, width, height);
  if (station_ && Device().Window()) Device().Window()->SetPreviewSize(width, height);
}

void MainFrame::OnClose(wxCloseEvent&) {
  Hide();
  Shutdown();
  ThankYouDialog().ShowModal();
  Destroy();
}

void MainFrame::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  statusTimer_.Stop();
  SaveSettings();
  commands_.reset();
  if (station_) station_->Close();
}

}  // namespace shell
