#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/thread_annotations.h"
#include "server/gatekeeper.h"
#include "server/notices.h"
#include "settings/server_settings.h"

namespace capture {
class CaptureDevice;
}

namespace server {

class StreamSender;

// Shared by the user-interface thread, the listener, every client thread and
// the stream sender.
// The integers are atomics, shared without a lock; streamUrl is replaced and
// copied under its own small lock.
// The camera as the server started with it, for /state.
struct CameraFacts {
  std::string name, format;
  int32_t width = 0, height = 0;
};

struct ServerControl {
  std::atomic<int32_t> reapRequested{0};
  std::atomic<int32_t> logConnections{0};
  std::atomic<int32_t> port{0};
  std::atomic<int32_t> clientLimit{0};
  // Places taken: clients whose request has arrived, up to clientLimit.
  std::atomic<int32_t> connectedCount{0};
  // Connections that hold no place: still sending their request, refused,
  // or closing after their answer. They are bounded apart
  // (kArrivingPerPlace for each place), so slow senders can't keep viewers
  // out.
  std::atomic<int32_t> arrivingCount{0};
  // Client threads the listener still holds; one that has ended leaves at
  // the listener's next pass, back among the system's waiting threads.
  std::atomic<int32_t> sessionThreads{0};
  std::atomic<int32_t> stopRequested{0};
  capture::CaptureDevice* frameSource = nullptr;
  Notices notices;
  Gatekeeper gate;

  // Takes one of the clientLimit places for a client whose request has
  // arrived; false when all are taken.
  bool TakePlace();
  void LeavePlace() { connectedCount.fetch_sub(1); }

  // Set by the controller at each start, read by sessions.
  void SetCamera(CameraFacts camera);
  CameraFacts Camera() const;
  std::atomic<int64_t> startedMs{0};  // platform::SteadyMillis at the last start

  void SetStreamUrl(std::string_view url);
  // Copies streamUrl with its terminating NUL; a longer text is cut to fit.
  void CopyStreamUrl(char* out, size_t size) const;

 private:
  mutable platform::Mutex streamUrlLock_;
  std::string streamUrl_ OWL_GUARDED_BY(streamUrlLock_);
  CameraFacts camera_ OWL_GUARDED_BY(streamUrlLock_);
};

constexpr int32_t kArrivingPerPlace = 4;

// What the listener hands to a new client thread; the client thread owns it,
// and the connection in it, from then on.
struct ClientTicket {
  int32_t logConnections = 0;
  capture::CaptureDevice* frameSource = nullptr;
  const std::atomic<int32_t>* stopFlag = nullptr;
  std::atomic<int32_t>* reapFlag = nullptr;
  Notices* notices = nullptr;
  // Where the session, counted among the arriving, takes its place once its
  // request is in; none in tests that serve one session alone.
  ServerControl* places = nullptr;
  Gatekeeper* gate = nullptr;       // none in such tests: everyone may watch
  StreamSender* streams = nullptr;  // takes the streams over; without one they end after the head
  platform::IpAddress peer;         // the client's address, as the listener saw it
  uint64_t admitted = 0;            // the rules' generation the request passed under
  platform::Socket socket;
  char streamUrl[settings::kStreamPathMax + 1] = {};
};

}  // namespace server
