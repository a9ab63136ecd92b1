#include "server/server_control.h"

#include <algorithm>
#include <cstring>

namespace server {

bool ServerControl::TakePlace() {
  int32_t taken = connectedCount.load();
  do {
    if (taken >= clientLimit.load()) return false;
  } while (!connectedCount.compare_exchange_weak(taken, taken + 1));
  return true;
}

void ServerControl::SetCameras(std::vector<CameraFacts> facts) {
  platform::MutexLock lock(streamUrlLock_);
  cameraFacts_ = std::move(facts);
}

std::vector<CameraFacts> ServerControl::Cameras() const {
  platform::MutexLock lock(streamUrlLock_);
  return cameraFacts_;
}

void ServerControl::SetStreamUrl(std::string_view url) {
  platform::MutexLock lock(streamUrlLock_);
  streamUrl_ = url;
}

void ServerControl::CopyStreamUrl(char* out, size_t size) const {
  platform::MutexLock lock(streamUrlLock_);
  size_t n = std::min(streamUrl_.size(), size - 1);
  std::memcpy(out, streamUrl_.data(), n);
  out[n] = '\0';
}

void ServerControl::CopyStreamUrl(std::string& out) const {
  platform::MutexLock lock(streamUrlLock_);
  out.assign(streamUrl_);
}

void ServerControl::RequestStop() {
  stopRequested.store(1);
  if (platform::Wakeup* wakeup = loopWakeup.load()) wakeup->Signal();
}

}  // namespace server
