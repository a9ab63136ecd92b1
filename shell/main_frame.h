#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string_view>

#include "capture/capture_device.h"
#include "settings/server_settings.h"
#include "shell/commands.h"
#include "station/station.h"

namespace platform {
class CaptureView;
}

namespace shell {

// The main window: owns the settings, the station (the cameras, the server
// and what keeps their pictures) and the status bar, shows one camera's
// preview, and binds its menu to the commands. Lives on the user-interface
// thread.
class MainFrame : public wxFrame, public CommandWindow {
 public:
  // True from `startStepFails` fails the start at that step as if the
  // system had refused it; the test host uses it.
  using StartStepFails = std::function<bool(std::string_view step)>;
  explicit MainFrame(StartStepFails startStepFails = {});
  // Asks where Save Picture writes, proposing `folder` and `name`; empty
  // for Cancel. The file dialog unless the test host gives its own.
  using SavePathAsker =
      std::function<std::string(const std::string& folder, const std::string& name)>;
  void SetSavePathAsker(SavePathAsker asker) { askSavePath_ = std::move(asker); }
  ~MainFrame() override;

  void LoadSettings();
  void SaveSettings();
  void ApplySettings();
  void ApplyAndSaveSettings();
  void FitWindowToVideo() override;
  // Runs the menu command with this id (101, 203, ...).
  void RunCommand(int commandId);

  int32_t ServerRunning() const { return commands_ ? commands_->ServerRunning() : 0; }
  // The camera the window shows, which Format, Source, Save Picture and
  // Record act on.
  capture::CaptureDevice& Device() { return station_->At(shown_).device; }
  station::Station& Cameras() { return *station_; }
  // The start failed and the window is closing; it is never shown.
  bool StartFailed() const { return startFailed_; }

 private:
  // CommandWindow: the dialogs the commands open.
  void RunSetupDialog() override;
  void RunDriverDialog() override;
  void RunAboutDialog() override;
  void RunWizard() override;
  void RunShareDialog() override;
  void RunAccessDialog() override;
  void TogglePassThrough() override;
  void ShowPassThrough();  // the menu item's check mark
  void SavePicture() override;
  void RunIntervalDialog() override;
  void ToggleRecording() override;
  void StopKeeping() override;
  void ShowCamera(size_t n) override;
  void ToggleServed() override;
  // Video > Camera: a check mark on the camera shown, and whether it is
  // served.
  void FillCameraMenu();
  // Hands the settings' plan to the keepers; the menu's check mark.
  void ApplyKeeping();
  // What the keepers stopped on a failure: their messages, and the
  // settings and menu that follow.
  void ShowKeeperStops();
  // The camera's current picture, grabbed for the purpose when nothing
  // grabs; empty when there is none.
  std::string CurrentPicture();
  void CloseWindow() override { Close(); }
  void WhileWaiting() override;

  void BindMenu();
  bool CreateStatusPanes();
  void FailStart();
  void UpdateStatusPanes();
  // The boxes the server's threads asked for, shown on this thread.
  void ShowServerNotices();
  void OnClose(wxCloseEvent& event);
  void Shutdown();

  settings::ServerSettings settings_;
  int32_t videoWidth_ = 640;
  int minClientWidth_ = 0;  // the status bar's panes side by side
  int32_t videoHeight_ = 480;
  std::unique_ptr<station::Station> station_;
  size_t shown_ = 0;  // the camera whose preview is shown
  std::unique_ptr<Commands> commands_;
  platform::CaptureView* view_ = nullptr;
  wxTimer statusTimer_;
  bool firstRun_ = false;
  bool shutDown_ = false;
  bool startFailed_ = false;
  bool showingNotices_ = false;
  StartStepFails startStepFails_;
  SavePathAsker askSavePath_;
};

}  // namespace shell
