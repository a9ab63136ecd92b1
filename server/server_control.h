#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/camera_status.h"
#include "capture/frame_store.h"
#include "platform/poller.h"
#include "platform/socket.h"
#include "platform/thread_annotations.h"
#include "platform/tls.h"
#include "server/gatekeeper.h"
#include "server/notices.h"
#include "settings/server_settings.h"

namespace server {

// A camera as the server sees it: its pictures and how it is doing, both
// safe from the loop's threads. The device behind them (its format, its
// grabbing) stays with the user-interface thread.
struct ServedCamera {
  ServedCamera(capture::FrameStore& frames, const capture::CameraStatus& state)
      : store(&frames), status(&state) {}
  capture::FrameStore* store;
  const capture::CameraStatus* status;
};

// The camera as the server started with it, for /state.
struct CameraFacts {
  std::string name, format;
  int32_t width = 0, height = 0;
};

// Shared by the user-interface thread and the event loop's threads. The
// integers are atomics, shared without a lock; streamUrl and the camera's
// facts are replaced and copied under their own small lock.
struct ServerControl {
  std::atomic<int32_t> logConnections{0};
  std::atomic<int32_t> port{0};
  std::atomic<int32_t> clientLimit{0};
  // The WebRTC encoders' bitrate at 1920x1080, scaled to each camera's size.
  std::atomic<int32_t> h264Kbps{2500};
  // Places taken: answers in progress (streams included), up to clientLimit.
  std::atomic<int32_t> connectedCount{0};
  // Connections waiting for a whole request: still sending it, or kept
  // open for the next one. They hold no place and are bounded apart, so
  // slow senders can't keep viewers out.
  std::atomic<int32_t> arrivingCount{0};
  // Work for connections that the loop has handed to its pools (a file
  // being opened, a password being verified) and that has not come back.
  std::atomic<int32_t> sessionThreads{0};
  std::atomic<int32_t> stopRequested{0};
  // Sets stopRequested and wakes the loop, which sees it at once even with
  // no connection to wake it. Any thread.
  void RequestStop();
  // The loop's own wakeup while it runs; set and cleared by the loop.
  std::atomic<platform::Wakeup*> loopWakeup{nullptr};
  // The cameras served, in the order found: the first answers the stream
  // URL and the plain snapshot addresses too. Set while the server is
  // stopped, read by the loop while it runs.
  std::vector<ServedCamera> cameras;
  // TLS beside plain HTTP on the port, or null for plain HTTP alone. Set
  // before the loop starts, read by the loop while it runs.
  std::shared_ptr<const platform::TlsContext> tls;
  Notices notices;
  Gatekeeper gate;

  // Takes one of the clientLimit places for a client whose request has
  // arrived; false when all are taken.
  bool TakePlace();
  void LeavePlace() { connectedCount.fetch_sub(1); }

  // Set by the controller at each start, read by the loop: each camera's
  // facts, in the order of `cameras`.
  void SetCameras(std::vector<CameraFacts> facts);
  std::vector<CameraFacts> Cameras() const;
  std::atomic<int64_t> startedMs{0};  // platform::SteadyMillis at the last start

  void SetStreamUrl(std::string_view url);
  // Copies streamUrl with its terminating NUL; a longer text is cut to fit.
  void CopyStreamUrl(char* out, size_t size) const;
  void CopyStreamUrl(std::string& out) const;

 private:
  mutable platform::Mutex streamUrlLock_;
  std::string streamUrl_ OWL_GUARDED_BY(streamUrlLock_);
  std::vector<CameraFacts> cameraFacts_ OWL_GUARDED_BY(streamUrlLock_);
};

}  // namespace server
