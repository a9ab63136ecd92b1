#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/h264_sender.h"
#include "platform/poller.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/thread_annotations.h"
#include "server/connection.h"
#include "server/gatekeeper.h"
#include "server/job_pool.h"
#include "server/server_control.h"
#include "server/static_files.h"

namespace server {

constexpr char kPortInUseMessage[] =
    "An error occurred starting network communications.\n"
    "The port chosen may be in use, shut down the server and change the port number.";
// With the port number for %d.
constexpr char kPortNotPermittedMessage[] =
    "Port %d can't be used without permission.\nChoose a port from 1025 up in Server > Setup.";
constexpr char kListenFailedMessage[] =
    "An error occurred while trying to listen for connections.\n, Please restart the server.";

// Connections waiting for a whole request from one address (IPv6: one /64)
// at most; past it, that address's longest waiting one is closed.
constexpr size_t kArrivingPerAddress = 256;

// The server's event loop, one per server run: one thread that accepts
// every connection, reads its requests, checks who may watch, routes and
// sends every answer, streams included, without ever waiting on one client.
// What may wait (opening a file, verifying a password) goes to small pools
// and comes back to the loop. Created and deleted by the server controller
// on the user-interface thread; the body runs on the worker.
class ListenThread {
 public:
  explicit ListenThread(ServerControl& control);
  ~ListenThread();
  ListenThread(const ListenThread&) = delete;
  ListenThread& operator=(const ListenThread&) = delete;
  platform::WorkerThread& Thread() { return thread_; }

  // Binds ServerControl.port and listens, showing the listener's message
  // when that fails. The controller calls it before the thread starts, so
  // that StartServer knows whether the server serves; a thread started
  // without it does it first.
  bool Open();

 private:
  using AddressKey = std::array<uint8_t, 16>;
  // What a pool hands back for a connection.
  struct Done {
    uint64_t id = 0;
    bool verified = false;     // a verification's verdict
    bool answered = false;     // a WebRTC offer's answer; neither: a file
    size_t camera = 0;         // the offer's
    bool unavailable = false;  // GStreamer or an element it needs is not installed
    Gatekeeper::Verdict verdict = Gatekeeper::Verdict::kAskPassword;
    WebFile file, page;
    platform::H264Sender::Answer answer;
  };
  // A WebRTC viewer, from its answer to its DELETE (or its connection
  // failing): it holds its place all along.
  struct WhepSession {
    size_t camera = 0;
    uint64_t peer = 0;  // the camera's sender's
    platform::IpAddress from;
    uint64_t admitted = 0;
    int64_t created = 0;
    Place place;
  };

  int Run();
  void Serve();
  void Shutdown();
  void AcceptAll(int64_t now);
  void Admit(platform::Socket socket, int64_t now);
  void OnEvent(Connection& c, uint32_t what, int64_t now);

  // The request, from its bytes to its answer.
  bool Sniff(Connection& c, int64_t now);
  void Handshake(Connection& c, int64_t now);
  void Forbid(Connection& c, int64_t now);
  void ReadRequest(Connection& c, int64_t now);
  // Reads off and drops what the client sent; false when it has ended (the
  // connection is finished then).
  bool ReadOff(Connection& c);
  void TryRequest(Connection& c, int64_t now, bool timeUp);
  void PassGate(Connection& c, int64_t now);
  void Settle(Connection& c, Gatekeeper::Verdict verdict, int64_t now);
  void Respond(Connection& c, int64_t now);
  void RespondWithFile(Connection& c, int64_t now);
  void AnswerNoCamera(Connection& c, int64_t now);
  void AnswerStatus(Connection& c, std::string_view status, int64_t now);

  // WebRTC viewers.
  void RespondToOffer(Connection& c, int64_t now);
  void TakeAnswer(Connection& c, Done& done, int64_t now);
  void RespondToEnd(Connection& c, int64_t now);
  void EndSession(const std::string& token, int64_t now);
  void SweepSessions(int64_t now);
  void FeedEncoders();
  void WantPictures(size_t camera);
  void Submit(Connection& c, JobPool& pool, std::function<void(Done&)> work, int64_t now);
  void TakeDone(int64_t now) OWL_EXCLUDES(doneLock_);
  void Post(Done done) OWL_EXCLUDES(doneLock_);

  // Sending, and what follows an answer.
  void Answer(Connection& c, std::string_view bytes, int64_t now);
  void StartAnswer(Connection& c, int64_t now);
  void SendMore(Connection& c, int64_t now);
  void Answered(Connection& c, int64_t now);
  void Watch(Connection& c);
  void ServiceWatchers(int64_t now);

  // Endings.
  void CloseAfterAnswer(Connection& c, int64_t now);
  void StartClosing(Connection& c, int64_t now);
  void Finish(Connection& c);
  void LogClosed(Connection& c);
  void Sweep(int64_t now);
  void Reap();
  int Timeout(int64_t now) const;

  // The connections waiting for a whole request, oldest first.
  void BecomeArriving(Connection& c, int64_t now);
  void LeaveArriving(Connection& c);
  bool CloseOldestArriving(const AddressKey* from);
  static AddressKey KeyOf(const platform::IpAddress& peer);

  ServerControl& control_;
  platform::Socket listening_;
  int port_ = 0;  // the port listened on: Setup may change the setting meanwhile
  platform::Poller poller_;
  platform::Wakeup wakeup_;  // pools' results, the camera's pictures
  JobPool files_, verifications_;
  JobPool offers_;   // answering WebRTC offers: each waits about a second for ICE
  JobPool endings_;  // letting WebRTC viewers and idle encoders go
  WebFileCache cache_;
  std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections_;
  std::vector<uint64_t> closed_;     // to leave at the end of the turn
  std::list<Connection*> arriving_;  // oldest first
  std::map<AddressKey, size_t> arrivingFrom_;
  // Each camera's frame store, and its streams and snapshots waiting for a
  // picture; every store wakes the loop through wakeup_.
  struct Watched {
    capture::FrameStore* store = nullptr;
    std::vector<Connection*> watchers;
    // Its H.264 for WebRTC viewers, made with the first offer: fed while
    // offers are answered or viewers watch.
    std::unique_ptr<platform::H264Sender> sender;
    uint64_t fed = 0;  // the published count last given to the encoder
    int offers = 0;    // being answered
    size_t viewers = 0;
    int64_t idleSince = 0;  // when its last viewer left; 0 while any watch
  };
  std::vector<Watched> cameras_;
  std::unordered_map<std::string, WhepSession> sessions_;  // by token
  std::shared_ptr<const platform::TlsContext> tls_;        // null: plain HTTP alone
  size_t connectionsMost_ = 0;
  uint64_t nextId_ = 1;
  int64_t lastSweep_ = 0;
  bool acceptHeld_ = false;  // out of descriptors: accept again at the next turn
  bool listenerFailed_ = false;
  std::string streamUrl_;

  platform::Mutex doneLock_;
  std::vector<Done> done_ OWL_GUARDED_BY(doneLock_);

  platform::WorkerThread thread_;
};

}  // namespace server
