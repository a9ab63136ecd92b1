#pragma once

#include <wx/frame.h>
#include <wx/timer.h>

#include <memory>

#include "capture/capture_device.h"
#include "server/server_controller.h"
#include "shell/server_settings.h"

namespace platform {
class CaptureView;
}

// The main window: owns the settings, the camera, the server controller and
// the status bar. Lives on the user-interface thread.
class MainFrame : public wxFrame {
 public:
  MainFrame();
  ~MainFrame() override;

  void LoadSettings();
  void SaveSettings();
  void ApplySettings();
  void FitWindowToVideo();
  // Runs the menu command with the design's id (101, 203, ...).
  void RunCommand(int commandId);

  ServerSettings& Settings() { return settings_; }
  int32_t ServerRunning() const { return serverRunning_; }
  CaptureDevice& Device() { return device_; }
  ServerController* Controller() { return controller_.get(); }
  bool FirstRun() const { return firstRun_; }

  // The commands (see shell/commands.cc).
  void OnExitCommand();
  void OnPreview();
  void OnSelectDriver();
  void OnFormat();
  void OnSource();
  void OnSetup();
  void OnStartServer();
  void OnStopServer();
  void OnViewLog();
  void OnAbout();
  void OnReadme();
  void OnWizard();

 private:
  bool RefusedWhileRunning(const char* message);
  void BindMenu();
  void CreateStatusPanes();
  void UpdateStatusPanes();
  void OnClose(wxCloseEvent& event);
  void Shutdown();

  ServerSettings settings_;
  int32_t serverRunning_ = 0;
  int32_t videoWidth_ = 640;
  int32_t videoHeight_ = 480;
  std::unique_ptr<ServerController> controller_;
  CaptureDevice device_;
  platform::CaptureView* view_ = nullptr;
  wxTimer statusTimer_;
  bool firstRun_ = false;
  bool shutDown_ = false;
};
