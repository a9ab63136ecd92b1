#include "station/station.h"

#include <algorithm>

#include "keep/picture_names.h"
#include "platform/installed_drivers.h"
#include "platform/user_folders.h"
#include "settings/settings_store.h"

namespace station {

namespace {

std::string DriverName(const capture::CaptureDevice& device) {
  char name[128] = {}, version[128] = {};
  if (!capture::CaptureDevice::GetDriverDescription(device.DriverIndex(), name, sizeof name,
                                                    version, sizeof version))
    return "camera";
  return name;
}

std::string StableName(const capture::CaptureDevice& device) {
  return device.Window() ? device.Window()->StableName() : std::string();
}

// Lets go of what the keeper held; the camera itself stays.
void StopKeeper(Camera& camera) {
  camera.keeper.Stop();
  if (camera.keeperHolds) camera.device.ReleaseGrabbing();
  camera.keeperHolds = false;
}

}  // namespace

Station::Station(const settings::ServerSettings& settings, DeviceSetup setup,
                 std::function<void()> whileWaiting)
    : settings_(settings), setup_(std::move(setup)) {
  cameras_.push_back(std::make_unique<Camera>());
  cameras_[0]->device.SetCameraMemory(&memory_);
  controller_ = std::make_unique<server::ServerController>(settings, cameras_[0]->device,
                                                           std::move(whileWaiting));
}

bool Station::OpenChosen() {
  capture::CaptureDevice& device = cameras_[0]->device;
  if (device.Create(static_cast<int>(settings_.driver),
                    static_cast<int32_t>(settings_.compression)) != capture::DeviceResult::kOk)
    return false;
  if (setup_) setup_(device);
  device.SetPassThrough(settings_.passthrough != 0);
  NameCameras();
  return true;
}

void Station::CloseOthers() {
  for (size_t n = 1; n < cameras_.size(); ++n) StopKeeper(*cameras_[n]);
  cameras_.resize(1);
  ServeCameras();
}

void Station::OpenOthers() {
  CloseOthers();
  const capture::CaptureDevice& chosen = cameras_[0]->device;
  const int chosenIndex =
      chosen.IsConnected() ? chosen.DriverIndex() : static_cast<int>(settings_.driver);
  for (int index : platform::CamerasToServe()) {
    if (index == chosenIndex) continue;
    auto camera = std::make_unique<Camera>();
    camera->device.SetCameraMemory(&memory_);
    if (camera->device.Create(index, static_cast<int32_t>(settings_.compression)) !=
        capture::DeviceResult::kOk)
      continue;
    if (setup_) setup_(camera->device);
    camera->device.SetPassThrough(settings_.passthrough != 0);
    camera->served = settings::LoadCameraSwitch(StableName(camera->device), "served", true);
    camera->record = settings::LoadCameraSwitch(StableName(camera->device), "record", false);
    cameras_.push_back(std::move(camera));
  }
  NameCameras();
  ServeCameras();
  ApplyKeeping();
}

// Each camera by its driver's name; two of one make add their numbers.
void Station::NameCameras() {
  std::vector<std::string> names;
  for (const auto& camera : cameras_) names.push_back(DriverName(camera->device));
  for (size_t n = 0; n < cameras_.size(); ++n)
    cameras_[n]->name = std::count(names.begin(), names.end(), names[n]) > 1
                            ? names[n] + " " + std::to_string(n)
                            : names[n];
}

void Station::ServeCameras() {
  std::vector<capture::CaptureDevice*> others;
  for (size_t n = 1; n < cameras_.size(); ++n)
    if (cameras_[n]->served) others.push_back(&cameras_[n]->device);
  controller_->ServeOthers(others);
}

int Station::ServedNumber(size_t n) const {
  if (n >= cameras_.size() || !cameras_[n]->served) return -1;
  int number = 0;
  for (size_t before = 0; before < n; ++before) number += cameras_[before]->served ? 1 : 0;
  return number;
}

void Station::SetServed(size_t n, bool served) {
  if (n == 0 || n >= cameras_.size() || cameras_[n]->served == served) return;
  cameras_[n]->served = served;
  settings::SaveCameraSwitch(StableName(cameras_[n]->device), "served", served);
  ServeCameras();
}

bool Station::Records(size_t n) const {
  if (n == 0) return settings_.record != 0;
  return n < cameras_.size() && cameras_[n]->record;
}

void Station::SetRecords(size_t n, bool on) {
  if (n == 0 || n >= cameras_.size() || cameras_[n]->record == on) return;
  cameras_[n]->record = on;
  settings::SaveCameraSwitch(StableName(cameras_[n]->device), "record", on);
  ApplyKeeping();
}

void Station::Apply() {
  for (const auto& camera : cameras_) {
    camera->device.SetQuality(static_cast<int32_t>(settings_.compression));
    camera->device.SetPassThrough(settings_.passthrough != 0);
  }
  ApplyKeeping();
  server::ServerController& server = *controller_;
  server.SetLogConnections(static_cast<int32_t>(settings_.connections));
  server.SetAccess(settings_);
  server.SetClientLimit(static_cast<int32_t>(settings_.maxclients));
  server.SetPort(static_cast<int32_t>(settings_.portnum));
  server.SetStreamUrl(settings_.camurl);
}

void Station::ApplyKeeping() {
  // One camera keeps today's file names; several name theirs. Served or
  // not, each keeps what the plan says.
  const bool several = cameras_.size() > 1;
  for (size_t n = 0; n < cameras_.size(); ++n) {
    Camera* camera = cameras_[n].get();
    keep::KeepPlan plan =
        keep::PlanFrom(settings_, several ? keep::CameraInFileName(camera->name) : "");
    if (n > 0) {  // each camera records or not on its own
      plan.record = camera->record;
      plan.videoFolder = plan.record ? platform::UserFolder("VIDEOS") : std::string();
    }
    camera->keeper.Apply(plan);
    const bool wants = camera->keeper.Wants();
    if (wants && !camera->keeperHolds)
      camera->keeperHolds = camera->device.HoldGrabbing() == capture::DeviceResult::kOk;
    if (!wants && camera->keeperHolds) {
      camera->device.ReleaseGrabbing();
      camera->keeperHolds = false;
    }
  }
}

void Station::StopKeeping() {
  for (const auto& camera : cameras_) StopKeeper(*camera);
}

keep::Keeper::Stops Station::TakeKeeperStops() {
  keep::Keeper::Stops all;
  for (size_t n = 0; n < cameras_.size(); ++n) {
    keep::Keeper::Stops stops = cameras_[n]->keeper.TakeStops();
    all.interval = all.interval || stops.interval;
    if (n == 0)
      all.record = stops.record;
    else if (stops.record)
      SetRecords(n, false);
    for (std::string& message : stops.messages) all.messages.push_back(std::move(message));
  }
  return all;
}

bool Station::Recording() const {
  for (const auto& camera : cameras_)
    if (camera->keeper.Recording()) return true;
  return false;
}

void Station::Close() {
  if (controller_ && controller_->IsRunning()) controller_->StopServer();
  StopKeeping();
  for (const auto& camera : cameras_) camera->device.Destroy();
}

}  // namespace station
