// The menu commands of the main window.
#include "shell/commands.h"

#include <chrono>
#include <thread>

#include "platform/launcher.h"
#include "platform/message_box.h"
#include "platform/ui/wx_message_box.h"
#include "shell/main_frame.h"

using platform::ShowMessageBox;

const Command kCommands[12] = {
    {101, "ID_FILE_EXIT", &MainFrame::OnExitCommand},
    {203, "ID_VIDEO_PREVIEW", &MainFrame::OnPreview},
    {202, "ID_VIDEO_DRIVER", &MainFrame::OnSelectDriver},
    {200, "ID_VIDEO_FORMAT", &MainFrame::OnFormat},
    {201, "ID_VIDEO_SOURCE", &MainFrame::OnSource},
    {300, "ID_SERVER_SETUP", &MainFrame::OnSetup},
    {301, "ID_SERVER_START", &MainFrame::OnStartServer},
    {302, "ID_SERVER_STOP", &MainFrame::OnStopServer},
    {40006, "ID_SERVER_LOG", &MainFrame::OnViewLog},
    {40003, "ID_HELP_ABOUT", &MainFrame::OnAbout},
    {40004, "ID_HELP_README", &MainFrame::OnReadme},
    {40005, "ID_HELP_WIZARD", &MainFrame::OnWizard},
};

namespace {
constexpr char kServerMessage[] = "Server Message";
}

bool MainFrame::RefusedWhileRunning(const char* message) {
  if (serverRunning_ != 1) return false;
  ShowMessageBox(message, kServerMessage, platform::kMbOk);
  return true;
}

void MainFrame::OnExitCommand() {
  if (ShowMessageBox("Are you sure you want to quit?", "Quit?", platform::kMbOkCancel) !=
      platform::kIdOk)
    return;
  if (serverRunning_ == 1) OnStopServer();
  while (device_.IsGrabbing()) {
    platform::GuiMessageBoxes().AnswerPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  Close();
}

void MainFrame::OnPreview() {
  if (RefusedWhileRunning("Please shut down the server before changing preview mode.")) return;
  if (device_.IsPreviewing()) {
    device_.StopPreview();
  } else {
    device_.StartPreview();
  }
}

void MainFrame::OnSelectDriver() {
  if (RefusedWhileRunning("Please shut down the server before changing video drivers.")) return;
  // The driver selection dialog comes with its own change.
}

void MainFrame::OnFormat() {
  if (RefusedWhileRunning("Please shut down the server before making changes to the Video Format."))
    return;
  if (device_.ShowFormatDialog() == 0) FitWindowToVideo();
}

void MainFrame::OnSource() {
  if (RefusedWhileRunning("Please shut down the server before making changes to the Video Source."))
    return;
  if (device_.ShowSourceDialog() == 0) FitWindowToVideo();
}

void MainFrame::OnSetup() {
  // The setup dialog comes with its own change.
}

void MainFrame::OnStartServer() {
  if (serverRunning_ == 1) return;
  if (controller_->StartServer() != 0) {
    ShowMessageBox(
        "There was an error starting the server.  Your camera may not be working properly.",
        "Error", platform::kMbOk);
    return;
  }
  serverRunning_ = 1;
}

void MainFrame::OnStopServer() {
  if (serverRunning_ == 0) return;
  controller_->StopServer();
  serverRunning_ = 0;
}

void MainFrame::OnViewLog() {
  if (platform::OpenDocument("owlglance.log") == platform::kLaunchFileNotFound)
    ShowMessageBox("No log file exists!", "ERROR", platform::kMbOk);
}

void MainFrame::OnAbout() {
  // The About dialog comes with the information dialogs.
}

void MainFrame::OnReadme() {
  if (platform::OpenDocument("readme.pdf") == platform::kLaunchFileNotFound)
    ShowMessageBox("Readme file missing!", "ERROR", platform::kMbOk);
}

void MainFrame::OnWizard() {
  if (RefusedWhileRunning("Please shut down the server before using the wizard.")) return;
  // The wizard dialog comes with its own change.
}
