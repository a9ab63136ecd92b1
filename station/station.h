#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_device.h"
#include "keep/keeper.h"
#include "server/server_controller.h"
#include "settings/server_settings.h"
#include "station/camera_memory_store.h"

namespace station {

// One camera: its device, what keeps its pictures, and whether it is
// served. A camera not served still keeps its pictures.
struct Camera {
  capture::CaptureDevice device;
  keep::Keeper keeper{device.frameStore};
  std::string name;          // the driver's own, with its number when another has it too
  bool served = true;        // kept under the camera's stable name; camera 0 always
  bool record = false;       // kept the same way; camera 0's is the settings' record
  bool keeperHolds = false;  // the keeper holds the device's grabbing
};

// Every camera of the program, the server that serves them and what keeps
// their pictures: the desktop window and owlglance-server are thin layers
// over it. Camera 0 is the one the settings' driver names; the others
// follow in the order the drivers find them. User-interface thread (the
// headless server's main thread).
class Station {
 public:
  // `setup` runs for each device once it is connected (the window gives it
  // its dialogs there); `whileWaiting` as the server controller's.
  using DeviceSetup = std::function<void(capture::CaptureDevice&)>;
  Station(const settings::ServerSettings& settings, DeviceSetup setup = {},
          std::function<void()> whileWaiting = {});
  ~Station() { Close(); }
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Connects camera 0 to the settings' driver; false when it can't (the
  // station still has a camera 0, without a driver).
  [[nodiscard]] bool OpenChosen();
  // Connects every other camera found, again after camera 0's driver
  // changed (so no camera is opened twice). While the server is stopped.
  void OpenOthers();
  // Lets go of every camera but camera 0, so that it may take any driver.
  void CloseOthers();
  size_t Count() const { return cameras_.size(); }
  Camera& At(size_t n) { return *cameras_[n]; }
  server::ServerController& Server() { return *controller_; }
  // The served cameras' numbers in the server's addresses (/cam/N/...),
  // by the station's number; -1 for a camera not served.
  int ServedNumber(size_t n) const;
  // Serves camera n or not from the next start, and keeps the choice under
  // its name. Camera 0 is always served.
  void SetServed(size_t n, bool served);

  // Whether camera n records; camera 0 as the settings say.
  bool Records(size_t n) const;
  // Records camera n or not, kept under its name; camera 0 follows the
  // settings' record instead (set it and Apply).
  void SetRecords(size_t n, bool on);

  // Applies what the settings say now: quality, passthrough, the pictures
  // kept, and the server's rules, limit, port and stream URL.
  void Apply();
  // Hands the settings' plan to each camera's keeper (with the camera's
  // own Record), and holds its grabbing while the keeper keeps anything.
  void ApplyKeeping();
  // Ends interval pictures and recordings for the program's end.
  void StopKeeping();
  // What failures stopped since the last call, of every camera, with their
  // messages. Another camera's recording that failed is switched off here;
  // `record` says camera 0's, `interval` anyone's (the settings' to switch
  // off).
  keep::Keeper::Stops TakeKeeperStops();
  bool Recording() const;
  // Stops the server and the keepers, and lets go of every camera.
  void Close();

 private:
  void NameCameras();
  void ServeCameras();

  const settings::ServerSettings& settings_;
  DeviceSetup setup_;
  SettingsCameraMemory memory_;  // outlives the devices that keep choices in it
  std::vector<std::unique_ptr<Camera>> cameras_;
  std::unique_ptr<server::ServerController> controller_;
};

}  // namespace station
