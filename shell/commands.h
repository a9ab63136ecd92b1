#pragma once

#include <cstddef>
#include <cstdint>

namespace capture {
class CaptureDevice;
}
namespace server {
class ServerController;
}

namespace shell {

// Shown when Start Server fails, by the desktop program and the headless one.
// Help > Readme where nothing opens PDF files; the file's path follows.
constexpr char kNoPdfViewerMessage[] =
    "No program here is set up to open PDF files. The readme is ";

constexpr char kStartFailedMessage[] =
    "There was an error starting the server.  Your camera may not be working properly.";

// The menu commands by the ids the menu "WEBCAMMENU" gives them.
enum CommandId : int {
  kCmdExit = 101,
  kCmdSavePicture = 102,  // beyond the design: File > Save Picture... (Ctrl+S)
  kCmdPreview = 203,
  kCmdSelectDriver = 202,
  kCmdFormat = 200,
  kCmdSource = 201,
  kCmdPassThrough = 204,    // beyond the design: Video > Camera's Own JPEG
  kCmdPicturesEvery = 205,  // beyond the design: a picture kept every few seconds
  kCmdRecord = 206,         // beyond the design: recording to the videos folder
  kCmdServeCamera = 207,    // beyond the design: Video > Camera > Serve This Camera
  kCmdCameraFirst = 210,    // beyond the design: Video > Camera's cameras, 210 + N
  kCmdCameraLast = 219,
  kCmdSetup = 300,
  kCmdStartServer = 301,
  kCmdStopServer = 302,
  kCmdShare = 303,   // beyond the design: the viewer's addresses and a QR code
  kCmdAccess = 304,  // beyond the design: who may watch, and a password
  kCmdViewLog = 40006,
  kCmdAbout = 40003,
  kCmdReadme = 40004,
  kCmdWizard = 40005,
};

// What the commands ask of the main window: its dialogs, its size and its
// close. The desktop window implements it with wx; tests record the calls.
class CommandWindow {
 public:
  virtual ~CommandWindow() = default;
  virtual void FitWindowToVideo() = 0;
  virtual void RunSetupDialog() = 0;
  virtual void RunDriverDialog() = 0;
  virtual void RunAboutDialog() = 0;
  virtual void RunWizard() = 0;
  virtual void RunShareDialog() = 0;
  virtual void RunAccessDialog() = 0;
  // Switches the passthrough setting, applies and saves it.
  virtual void TogglePassThrough() = 0;
  virtual void SavePicture() = 0;
  virtual void RunIntervalDialog() = 0;
  // Switches recording on or off, and saves it.
  virtual void ToggleRecording() = 0;
  // Ends interval pictures and a recording for the program's end; the
  // settings keep them for the next start.
  virtual void StopKeeping() {}
  // Shows camera n's preview; the camera commands act on it from now on.
  virtual void ShowCamera(size_t /*n*/) {}
  // Serves the camera shown or not, from the next start.
  virtual void ToggleServed() {}
  virtual void CloseWindow() = 0;
  // Runs while the commands wait for the camera to stop grabbing, so that
  // message boxes of worker threads are still answered.
  virtual void WhileWaiting() {}
};

// The menu commands: what each refuses while the server runs, and
// the start, stop and exit decisions. Message boxes go through the
// platform's service. User-interface thread only.
class Commands {
 public:
  Commands(CommandWindow& window, capture::CaptureDevice& device,
           server::ServerController& controller)
      : window_(window), device_(&device), controller_(controller) {}
  // The camera the camera commands act on from now on.
  void ActOn(capture::CaptureDevice& device) { device_ = &device; }

  // Runs the command with this id; false when no command has it.
  bool Run(int commandId);
  // 1 from a successful Start Server until Stop Server: what the user asked
  // for, not what the server's threads are doing.
  int32_t ServerRunning() const { return serverRunning_; }

  void Exit();
  void Preview();
  void SelectDriver();
  void Format();
  void Source();
  void Setup();
  void StartServer();
  void StopServer();
  void ViewLog();
  void About();
  void Readme();
  void Access();
  void Wizard();
  void Share();

 private:
  bool RefusedWhileRunning(const char* message);

  CommandWindow& window_;
  capture::CaptureDevice* device_;
  server::ServerController& controller_;
  int32_t serverRunning_ = 0;
};

}  // namespace shell
