#include "shell/commands.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "capture/capture_device.h"
#include "platform/launcher.h"
#include "platform/message_box.h"
#include "server/connection_log.h"
#include "server/server_controller.h"

namespace shell {

using platform::ShowMessageBox;

namespace {
constexpr char kServerMessage[] = "Server Message";
constexpr auto kGrabbingPoll = std::chrono::milliseconds(300);
}  // namespace

bool Commands::Run(int commandId) {
  switch (commandId) {
    case kCmdExit:
      Exit();
      break;
    case kCmdPreview:
      Preview();
      break;
    case kCmdSelectDriver:
      SelectDriver();
      break;
    case kCmdFormat:
      Format();
      break;
    case kCmdSource:
      Source();
      break;
    case kCmdSetup:
      Setup();
      break;
    case kCmdStartServer:
      StartServer();
      break;
    case kCmdStopServer:
      StopServer();
      break;
    case kCmdViewLog:
      ViewLog();
      break;
    case kCmdAbout:
      About();
      break;
    case kCmdReadme:
      Readme();
      break;
    case kCmdWizard:
      Wizard();
      break;
    case kCmdAccess:
      Access();
      break;
    case kCmdShare:
      Share();
      break;
    case kCmdPassThrough:
      window_.TogglePassThrough();  // takes effect with the next frame, served or not
      break;
    // Served or not: pictures are kept whenever the camera gives them.
    case kCmdSavePicture:
      window_.SavePicture();
      break;
    case kCmdPicturesEvery:
      window_.RunIntervalDialog();
      break;
    case kCmdRecord:
      window_.ToggleRecording();
      break;
    case kCmdServeCamera:
      if (!RefusedWhileRunning("Please shut down the server before choosing the cameras served."))
        window_.ToggleServed();
      break;
    default:
      // Any camera may be shown, served or not.
      if (commandId < kCmdCameraFirst || commandId > kCmdCameraLast) return false;
      window_.ShowCamera(static_cast<size_t>(commandId - kCmdCameraFirst));
  }
  return true;
}

bool Commands::RefusedWhileRunning(const char* message) {
  if (serverRunning_ != 1) return false;
  ShowMessageBox(message, kServerMessage, platform::kMbOk);
  return true;
}

void Commands::Exit() {
  if (ShowMessageBox("Are you sure you want to quit?", "Quit?", platform::kMbOkCancel) !=
      platform::kIdOk)
    return;
  if (serverRunning_ == 1) StopServer();
  window_.StopKeeping();
  while (device_->IsGrabbing()) {
    window_.WhileWaiting();
    std::this_thread::sleep_for(kGrabbingPoll);
  }
  window_.CloseWindow();
}

void Commands::Preview() {
  if (RefusedWhileRunning("Please shut down the server before changing preview mode.")) return;
  if (device_->IsPreviewing()) {
    device_->StopPreview();
  } else {
    // A preview that can't start shows as "Not Previewing".
    static_cast<void>(device_->StartPreview());
  }
}

void Commands::SelectDriver() {
  if (RefusedWhileRunning("Please shut down the server before changing video drivers.")) return;
  window_.RunDriverDialog();
}

void Commands::Format() {
  if (RefusedWhileRunning("Please shut down the server before making changes to the Video Format."))
    return;
  if (device_->ShowFormatDialog() == capture::DeviceResult::kOk) window_.FitWindowToVideo();
}

// Also while the server runs: the controls change the picture, never its
// format, and viewers see each change as it is made.
void Commands::Source() {
  if (device_->ShowSourceDialog() == capture::DeviceResult::kOk) window_.FitWindowToVideo();
}

void Commands::Setup() { window_.RunSetupDialog(); }

// Served or not, the addresses can be shown.
void Commands::Share() { window_.RunShareDialog(); }

// Also while the server runs: the new rules apply at once.
void Commands::Access() { window_.RunAccessDialog(); }

void Commands::StartServer() {
  if (serverRunning_ == 1) return;
  const server::StartResult result = controller_.StartServer();
  // A port or a certificate that can't be had was reported by its own
  // message.
  if (result == server::StartResult::kStarted) {
    serverRunning_ = 1;
  } else if (result == server::StartResult::kCameraNotStarted) {
    ShowMessageBox(kStartFailedMessage, "Error", platform::kMbOk);
  }
}

void Commands::StopServer() {
  if (serverRunning_ == 0) return;
  controller_.StopServer();
  serverRunning_ = 0;
}

void Commands::ViewLog() {
  if (platform::OpenDocument(server::kViewLogName) == platform::kLaunchFileNotFound)
    ShowMessageBox("No log file exists!", "ERROR", platform::kMbOk);
}

void Commands::About() { window_.RunAboutDialog(); }

void Commands::Readme() {
  const int opened = platform::OpenDocument("readme.pdf", "application/pdf");
  if (opened == platform::kLaunchFileNotFound) {
    ShowMessageBox("Readme file missing!", "ERROR", platform::kMbOk);
  } else if (opened == platform::kLaunchNoAssociation) {
    std::error_code ignored;
    ShowMessageBox(std::string(kNoPdfViewerMessage) +
                       std::filesystem::absolute("readme.pdf", ignored).string(),
                   "Readme", platform::kMbOk | platform::kMbIconInformation);
  }
}

void Commands::Wizard() {
  if (RefusedWhileRunning("Please shut down the server before using the wizard.")) return;
  window_.RunWizard();
}

}  // namespace shell
