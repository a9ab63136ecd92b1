#include "server/server_controller.h"

#include <cstdio>
#include <filesystem>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "platform/interfaces.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "server/tls_setup.h"

namespace server {

ServerController::ServerController(const settings::ServerSettings& settings,
                                   capture::CaptureDevice& device,
                                   std::function<void()> whileWaiting)
    : whileWaiting_(std::move(whileWaiting)) {
  control_.logConnections = settings.connections;
  control_.clientLimit = static_cast<int32_t>(settings.maxclients);
  control_.h264Kbps = static_cast<int32_t>(settings.h264kbps);
  control_.port = static_cast<int32_t>(settings.portnum);
  control_.SetStreamUrl(settings.camurl);
  devices_ = {&device};
  ServeOthers({});
  SetAccess(settings);
  SetTls(settings);
}

void ServerController::SetTls(const settings::ServerSettings& settings) {
  tlsSettings_.https = settings.https;
  tlsSettings_.tlscert = settings.tlscert;
  tlsSettings_.tlskey = settings.tlskey;
}

std::string ServerController::Fingerprint() const {
  return running_ && control_.tls ? control_.tls->Fingerprint() : std::string();
}

ServerController::~ServerController() {
  if (running_) StopServer();
}

StartResult ServerController::StartServer() {
  if (running_) return StartResult::kStarted;
  control_.stopRequested = 0;
  // This machine's networks, for the local-network scope, as they come and go.
  control_.gate.FollowLocalNetworks(platform::InterfaceSubnets);
  // The cameras as they start, for /state: their formats can't change while
  // the server runs.
  std::vector<CameraFacts> cameras;
  for (capture::CaptureDevice* device : devices_) {
    CameraFacts& camera = cameras.emplace_back();
    char name[128] = {}, version[128] = {};
    if (capture::CaptureDevice::GetDriverDescription(device->DriverIndex(), name, sizeof name,
                                                     version, sizeof version))
      camera.name = name;
    static_cast<void>(device->GetImageSize(camera.width, camera.height));
    camera.format = device->FormatName();
  }
  control_.SetCameras(std::move(cameras));
  control_.startedMs = platform::SteadyMillis();
  auto listener = std::make_unique<ListenThread>(control_);
  if (!listener->Open()) return StartResult::kPortUnavailable;
  // The certificate is read at every start: one renewed meanwhile is used.
  const std::filesystem::path folder =
      std::filesystem::path(platform::RegistryFile()).parent_path();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  TlsChoice tls = ChooseTls(tlsSettings_, folder.string());
  if (tlsSettings_.https && !tls.context) {
    std::string text(sizeof kCertificateMessage + tls.problem.size(), '\0');
    text.resize(static_cast<size_t>(
        std::snprintf(text.data(), text.size(), kCertificateMessage, tls.problem.c_str())));
    platform::ShowMessageBox(text, "Error", platform::kMbOk | platform::kMbIconExclamation);
    return StartResult::kCertificateUnusable;
  }
  control_.tls = std::move(tls.context);
  if (devices_[0]->HoldGrabbing() != capture::DeviceResult::kOk)
    return StartResult::kCameraNotStarted;
  held_ = {devices_[0]};
  // Another camera that can't start leaves its streams waiting for pictures.
  for (size_t i = 1; i < devices_.size(); ++i)
    if (devices_[i]->HoldGrabbing() == capture::DeviceResult::kOk) held_.push_back(devices_[i]);
  if (!listener->Thread().Create()) {
    ReleaseCameras();
    return StartResult::kCameraNotStarted;
  }
  listener->Thread().SetLowestPriority();
  listener_ = std::move(listener);
  running_ = true;
  listener_->Thread().Resume();
  return StartResult::kStarted;
}

void ServerController::StopServer() {
  if (!running_) return;
  control_.RequestStop();  // the loop sees it at once, streams or none
  while (!listener_->Thread().WaitForEnd(platform::kThreadEndStepMs)) {
    if (whileWaiting_) whileWaiting_();
  }
  ReleaseCameras();
  listener_.reset();
  running_ = false;
}

void ServerController::ServeOthers(const std::vector<capture::CaptureDevice*>& others) {
  std::vector<capture::CaptureDevice*> served = {devices_.front()};
  served.insert(served.end(), others.begin(), others.end());
  devices_ = std::move(served);
  control_.cameras.clear();
  for (capture::CaptureDevice* device : devices_)
    control_.cameras.emplace_back(device->frameStore, *device);
}

void ServerController::ReleaseCameras() {
  for (capture::CaptureDevice* camera : held_) camera->ReleaseGrabbing();
  held_.clear();
}

void ServerController::SetClientLimit(int32_t n) {
  constexpr settings::SettingRange kLimits = settings::SettingNamed("maxclients").load;
  if (n >= 0 && kLimits.Holds(static_cast<uint32_t>(n))) control_.clientLimit = n;
}

bool ServerController::ListenerEnded() {
  return listener_ && listener_->Thread().ExitCode() != platform::kStillActive;
}

}  // namespace server
