#include "server/server_controller.h"

#include "capture/capture_device.h"

namespace server {

ServerController::ServerController(const settings::ServerSettings& settings, capture::CaptureDevice& device,
                                   std::function<void()> whileWaiting)
    : device_(device), whileWaiting_(std::move(whileWaiting)) {
  control_.logConnections = settings.connections;
  control_.clientLimit = static_cast<int32_t>(settings.maxclients);
  control_.port = static_cast<int32_t>(settings.portnum);
  control_.SetStreamUrl(settings.camurl);
  control_.frameSource = &device;
}

ServerController::~ServerController() {
  if (running_ == 1) StopServer();
}

int32_t ServerController::StartServer() {
  if (running_ == 1) return kServerStarted;
  control_.stopRequested = 0;
  auto listener = std::make_unique<ListenThread>(control_);
  if (!listener->Open()) return kPortUnavailable;
  if (device_.StartGrabbing() != capture::kDeviceOk) return kCameraNotStarted;
  if (!listener->Thread().Create()) {
    device_.StopGrabbing();
    return kCameraNotStarted;
  }
  listener->Thread().SetLowestPriority();
  listener_ = std::move(listener);
  running_ = 1;
  listener_->Thread().Resume();
  return kServerStarted;
}

int32_t ServerController::StopServer() {
  if (running_ == 0) return 0;
  control_.stopRequested = 1;
  device_.frameStore.WakeReaders();  // waiting streams see the flag at once
  while (!listener_->Thread().WaitForEnd(platform::kThreadEndStepMs)) {
    if (whileWaiting_) whileWaiting_();
  }
  device_.StopGrabbing();
  listener_.reset();
  running_ = 0;
  return 0;
}

void ServerController::SetClientLimit(int32_t n) {
  if (n >= 1 && n <= 99) control_.clientLimit = n;
}

bool ServerController::ListenerEnded() {
  return listener_ && listener_->Thread().ExitCode() != platform::kStillActive;
}

}  // namespace server
