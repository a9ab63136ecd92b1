#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/thread_annotations.h"

namespace platform {

// One camera's pictures as H.264 to WebRTC peers, over GStreamer. The
// camera's JPEG pictures are decoded and encoded once (x264: constrained
// baseline, nothing that adds latency) and every peer, a webrtcbin of its
// own, is fed from that one encoder. The encoder runs from the first peer
// until StopIfIdle finds none. Any thread: AddPeer and StopIfIdle wait (for
// ICE gathering, for the pipeline to stop), so the server calls them from a
// pool; Push and the state queries never wait.
class H264Sender {
 public:
  struct Options {
    int kbps = 2500;
    int fps = 30;
    // What the answers say is sent: constrained baseline, at a level that
    // holds the camera's size and rate (the encoder picks that or lower).
    std::string profileLevelId = "42e01f";
    // The addresses peers may reach this computer on: its ICE host
    // candidates (libnice finds none on loopback by itself).
    std::vector<std::string> addresses;
  };
  explicit H264Sender(Options options);
  ~H264Sender();
  H264Sender(const H264Sender&) = delete;
  H264Sender& operator=(const H264Sender&) = delete;

  // Whether GStreamer and every element the sender needs are installed.
  static bool Available();

  // A picture for the encoder: `jpeg` stays untouched until
  // `release(token)`, which may run on any thread, at once when the
  // picture is not wanted (no encoder) or once it has been decoded.
  void Push(const uint8_t* jpeg, size_t size, void (*release)(void*), void* token)
      OWL_EXCLUDES(statusLock_);
  // Whether the encoder runs, so that pictures are wanted.
  bool Encoding() const OWL_EXCLUDES(statusLock_);

  struct Answer {
    uint64_t peer = 0;  // 0: the offer could not be answered
    std::string sdp;    // with every ICE candidate
  };
  // Answers an SDP offer whose H.264 with packetization-mode 1 has
  // `payloadType`: starts the encoder for the first peer, asks it for a key
  // frame, and returns once ICE gathering is complete (about a second).
  Answer AddPeer(const std::string& offer, int payloadType) OWL_EXCLUDES(lock_);
  void RemovePeer(uint64_t peer) OWL_EXCLUDES(lock_);

  enum class PeerState { kConnecting, kConnected, kLost, kGone };
  struct PeerStatus {
    PeerState state = PeerState::kGone;  // kGone too for a peer not known
    int64_t sinceMs = 0;                 // platform::SteadyMillis of its last change
  };
  PeerStatus StatusOf(uint64_t peer) const OWL_EXCLUDES(statusLock_);
  size_t Peers() const OWL_EXCLUDES(statusLock_);
  // Stops the encoder when no peer is left; the next peer starts it again.
  void StopIfIdle() OWL_EXCLUDES(lock_);

  struct Peer;      // one webrtcbin and its branch off the encoder
  struct Pipeline;  // the encoder, from the pictures to its tee

  // Called from GStreamer's threads as a peer's connection changes.
  void SetStatus(uint64_t peer, PeerState state) OWL_EXCLUDES(statusLock_);

 private:
  bool StartEncoder() OWL_REQUIRES(lock_);
  void StopEncoder() OWL_REQUIRES(lock_);
  void Detach(Peer& peer) OWL_REQUIRES(lock_);
  void Unhook(Peer& peer) OWL_REQUIRES(lock_);
  static void Dispose(Peer& peer, void* bin);

  const Options options_;
  // Held through the slow work (starting, answering, stopping), so that it
  // happens one at a time; what the loop asks is under statusLock_ alone.
  Mutex lock_;
  std::unique_ptr<Pipeline> pipeline_ OWL_GUARDED_BY(lock_);
  std::map<uint64_t, std::unique_ptr<Peer>> peers_ OWL_GUARDED_BY(lock_);
  uint64_t nextPeer_ OWL_GUARDED_BY(lock_) = 1;

  mutable Mutex statusLock_;
  void* source_ OWL_GUARDED_BY(statusLock_) = nullptr;  // the encoder's appsrc, held
  std::map<uint64_t, PeerStatus> status_ OWL_GUARDED_BY(statusLock_);
};

}  // namespace platform
