#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_store.h"
#include "platform/poller.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/thread_annotations.h"
#include "server/server_control.h"

namespace server {

// A viewer whose stream head has gone out, handed over by its session.
struct StreamViewer {
  platform::Socket socket;
  platform::IpAddress peer;
  uint64_t admitted = 0;  // the rules' generation its request passed under
  bool logConnections = false;
  std::string peerText;  // its address as the session logged it
};

// Sends the parts of every stream from one thread. It wakes once per new
// picture (and when a full socket has room again) and gives each viewer that
// can take it the newest picture, straight from the frame store's buffer.
// Sessions hand their viewers over and go back to the pool. A stream keeps
// its place among the clients until it ends; then its "Connection closed"
// line is written and the connection closes.
class StreamSender {
 public:
  explicit StreamSender(ServerControl& control);
  ~StreamSender();
  StreamSender(const StreamSender&) = delete;
  StreamSender& operator=(const StreamSender&) = delete;

  // Starts the thread; false when the system refuses one.
  [[nodiscard]] bool Start();
  // Ends every stream and waits for the thread.
  void Stop();
  // Takes `viewer` over (its socket moved out); false, leaving it as it
  // was, when the sender is not running.
  [[nodiscard]] bool Adopt(StreamViewer& viewer) OWL_EXCLUDES(arrivalsLock_);

 private:
  struct Stream;

  int Run();
  bool TakeArrivals() OWL_EXCLUDES(arrivalsLock_);
  void OnEvent(Stream& stream, uint32_t what, int64_t now);
  bool Service(Stream& stream, const capture::FrameStore::Reader& latest, int64_t now);
  bool SendRest(Stream& stream, int64_t now);
  bool StillAdmitted(Stream& stream);
  void End(Stream& stream, int64_t now);
  void Finish(Stream& stream);
  int Timeout(int64_t now) const;

  ServerControl& control_;
  capture::FrameStore* store_ = nullptr;  // the camera's, from Start
  platform::Poller poller_;
  platform::Wakeup wakeup_;
  platform::WorkerThread thread_;
  std::vector<std::unique_ptr<Stream>> streams_;  // the thread's alone

  platform::Mutex arrivalsLock_;
  bool running_ OWL_GUARDED_BY(arrivalsLock_) = false;
  std::vector<StreamViewer> arrivals_ OWL_GUARDED_BY(arrivalsLock_);
};

}  // namespace server
