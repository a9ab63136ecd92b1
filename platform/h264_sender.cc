#include "platform/h264_sender.h"

#define GST_USE_UNSTABLE_API  // webrtcbin's types
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#include <gst/webrtc/webrtc.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/clock.h"

namespace platform {

namespace {

constexpr auto kGatheringMost = std::chrono::seconds(5);

bool InitGstreamer() {
  static const bool ready = gst_init_check(nullptr, nullptr, nullptr);
  return ready;
}

// Takes `element` (a floating reference) into `bin`, or nullptr when it is
// not installed.
GstElement* Add(GstElement* bin, const char* factory) {
  GstElement* element = gst_element_factory_make(factory, nullptr);
  if (element) gst_bin_add(GST_BIN(bin), element);
  return element;
}

}  // namespace

struct H264Sender::Pipeline {
  GstElement* pipeline = nullptr;
  GstElement* encoder = nullptr;
  GstElement* tee = nullptr;
  ~Pipeline() {
    if (!pipeline) return;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
  }
};

struct H264Sender::Peer {
  H264Sender* sender = nullptr;
  uint64_t id = 0;
  GstElement* queue = nullptr;
  GstElement* payloader = nullptr;
  GstElement* webrtc = nullptr;
  GstPad* teePad = nullptr;

  // ICE gathering, as webrtcbin's threads tell it.
  std::mutex lock;
  std::condition_variable gathered;
  bool complete = false;
  std::vector<std::pair<unsigned, std::string>> candidates;  // m-line, "candidate:..."
};

namespace {

void OnCandidate(GstElement*, unsigned mline, char* candidate, H264Sender::Peer* peer) {
  std::lock_guard<std::mutex> lock(peer->lock);
  peer->candidates.emplace_back(mline, candidate);
}

void OnGathering(GstElement* webrtc, GParamSpec*, H264Sender::Peer* peer) {
  GstWebRTCICEGatheringState state;
  g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
  if (state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE) return;
  std::lock_guard<std::mutex> lock(peer->lock);
  peer->complete = true;
  peer->gathered.notify_all();
}

void OnConnection(GstElement* webrtc, GParamSpec*, H264Sender::Peer* peer) {
  GstWebRTCPeerConnectionState state;
  g_object_get(webrtc, "connection-state", &state, nullptr);
  switch (state) {
    case GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED:
      peer->sender->SetStatus(peer->id, H264Sender::PeerState::kConnected);
      break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_DISCONNECTED:
      peer->sender->SetStatus(peer->id, H264Sender::PeerState::kLost);
      break;
    case GST_WEBRTC_PEER_CONNECTION_STATE_FAILED:
    case GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED:
      peer->sender->SetStatus(peer->id, H264Sender::PeerState::kGone);
      break;
    default:
      break;
  }
}

// The session description `type` of `text`, or nullptr when it is not SDP.
GstWebRTCSessionDescription* Description(GstWebRTCSDPType type, const std::string& text) {
  GstSDPMessage* sdp = nullptr;
  if (gst_sdp_message_new(&sdp) != GST_SDP_OK) return nullptr;
  if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.data()),
                                   static_cast<guint>(text.size()), sdp) != GST_SDP_OK ||
      gst_sdp_message_medias_len(sdp) == 0) {
    gst_sdp_message_free(sdp);
    return nullptr;
  }
  return gst_webrtc_session_description_new(type, sdp);
}

bool SetDescription(GstElement* webrtc, const char* signal,
                    GstWebRTCSessionDescription* description) {
  GstPromise* promise = gst_promise_new();
  g_signal_emit_by_name(webrtc, signal, description, promise);
  const bool replied = gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED;
  const GstStructure* reply = gst_promise_get_reply(promise);
  const bool done = replied && !(reply && gst_structure_has_field(reply, "error"));
  gst_promise_unref(promise);
  return done;
}

}  // namespace

H264Sender::H264Sender(Options options) : options_(std::move(options)) {}

H264Sender::~H264Sender() {
  MutexLock hold(lock_);
  for (auto& [id, peer] : peers_) Detach(*peer);
  peers_.clear();
  StopEncoder();
}

bool H264Sender::Available() {
  if (!InitGstreamer()) return false;
  for (const char* factory : {"appsrc", "jpegdec", "videoconvert", "x264enc", "rtph264pay", "tee",
                              "queue", "webrtcbin"}) {
    GstElementFactory* found = gst_element_factory_find(factory);
    if (!found) return false;
    gst_object_unref(found);
  }
  return true;
}

bool H264Sender::StartEncoder() {
  if (pipeline_) return true;
  if (!InitGstreamer()) return false;
  auto made = std::make_unique<Pipeline>();
  Pipeline& p = *made;
  p.pipeline = gst_pipeline_new(nullptr);
  // Nobody reads its messages: the bus drops them instead of keeping them.
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(p.pipeline));
  gst_bus_set_flushing(bus, TRUE);
  gst_object_unref(bus);
  GstElement* source = Add(p.pipeline, "appsrc");
  GstElement* decoder = Add(p.pipeline, "jpegdec");
  GstElement* convert = Add(p.pipeline, "videoconvert");
  GstElement* raw = Add(p.pipeline, "capsfilter");
  p.encoder = Add(p.pipeline, "x264enc");
  GstElement* h264 = Add(p.pipeline, "capsfilter");
  p.tee = Add(p.pipeline, "tee");
  if (!source || !decoder || !convert || !raw || !p.encoder || !h264 || !p.tee) return false;

  // One picture a buffer, so jpegdec need not look for where each ends.
  GstCaps* jpeg = gst_caps_new_simple("image/jpeg", "parsed", G_TYPE_BOOLEAN, TRUE, "framerate",
                                      GST_TYPE_FRACTION, options_.fps, 1, nullptr);
  // Live: each picture is stamped as it comes; two waiting at most, the
  // older one dropped, so a slow encoder skips pictures instead of lagging.
  g_object_set(source, "caps", jpeg, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp",
               TRUE, "max-buffers", static_cast<guint64>(2), "leaky-type", 2 /* downstream */,
               nullptr);
  gst_caps_unref(jpeg);
  GstCaps* i420 = gst_caps_from_string("video/x-raw,format=I420");
  g_object_set(raw, "caps", i420, nullptr);
  gst_caps_unref(i420);
  gst_util_set_object_arg(G_OBJECT(p.encoder), "tune", "zerolatency");
  gst_util_set_object_arg(G_OBJECT(p.encoder), "speed-preset", "ultrafast");
  g_object_set(p.encoder, "bitrate", static_cast<guint>(options_.kbps), "key-int-max",
               static_cast<guint>(options_.fps * 2), "vbv-buf-capacity", 300u, nullptr);
  GstCaps* baseline =
      gst_caps_from_string("video/x-h264,profile=constrained-baseline,stream-format=byte-stream");
  g_object_set(h264, "caps", baseline, nullptr);
  gst_caps_unref(baseline);
  g_object_set(p.tee, "allow-not-linked", TRUE, nullptr);
  if (!gst_element_link_many(source, decoder, convert, raw, p.encoder, h264, p.tee, nullptr))
    return false;
  if (gst_element_set_state(p.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
    return false;
  pipeline_ = std::move(made);
  MutexLock hold(statusLock_);
  source_ = gst_object_ref(source);
  return true;
}

void H264Sender::StopEncoder() {
  {
    MutexLock hold(statusLock_);
    if (source_) gst_object_unref(source_);
    source_ = nullptr;
  }
  pipeline_.reset();
}

void H264Sender::Push(const uint8_t* jpeg, size_t size, void (*release)(void*), void* token) {
  GstElement* source = nullptr;
  {
    MutexLock hold(statusLock_);
    if (source_) source = GST_ELEMENT(gst_object_ref(source_));
  }
  if (!source) {
    release(token);
    return;
  }
  GstBuffer* buffer = gst_buffer_new_wrapped_full(
      GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(jpeg), size, 0, size, token, release);
  gst_app_src_push_buffer(GST_APP_SRC(source), buffer);  // takes the buffer
  gst_object_unref(source);
}

bool H264Sender::Encoding() const {
  MutexLock hold(statusLock_);
  return source_ != nullptr;
}

H264Sender::Answer H264Sender::AddPeer(const std::string& offer, int payloadType) {
  GstWebRTCSessionDescription* remote = Description(GST_WEBRTC_SDP_TYPE_OFFER, offer);
  if (!remote) return {};
  MutexLock hold(lock_);
  if (!StartEncoder()) {
    StopEncoder();
    gst_webrtc_session_description_free(remote);
    return {};
  }
  auto made = std::make_unique<Peer>();
  Peer& peer = *made;
  peer.sender = this;
  peer.id = nextPeer_++;
  GstElement* bin = pipeline_->pipeline;
  peer.queue = Add(bin, "queue");
  peer.payloader = Add(bin, "rtph264pay");
  peer.webrtc = Add(bin, "webrtcbin");
  g_object_set(peer.queue, "max-size-buffers", 4u, "max-size-bytes", 0u, "max-size-time",
               static_cast<guint64>(0), nullptr);
  gst_util_set_object_arg(G_OBJECT(peer.queue), "leaky", "downstream");
  g_object_set(peer.payloader, "config-interval", -1, "pt", static_cast<guint>(payloadType),
               nullptr);
  gst_util_set_object_arg(G_OBJECT(peer.payloader), "aggregate-mode", "zero-latency");
  gst_util_set_object_arg(G_OBJECT(peer.webrtc), "bundle-policy", "max-bundle");
  {
    MutexLock status(statusLock_);
    status_[peer.id] = {PeerState::kConnecting, SteadyMillis()};
  }
  g_signal_connect(peer.webrtc, "on-ice-candidate", G_CALLBACK(OnCandidate), &peer);
  g_signal_connect(peer.webrtc, "notify::ice-gathering-state", G_CALLBACK(OnGathering), &peer);
  g_signal_connect(peer.webrtc, "notify::connection-state", G_CALLBACK(OnConnection), &peer);
  GObject* agent = nullptr;
  g_object_get(peer.webrtc, "ice-agent", &agent, nullptr);
  for (const std::string& address : options_.addresses) {
    gboolean added = FALSE;
    g_signal_emit_by_name(agent, "add-local-ip-address", address.c_str(), &added);
  }
  // Keepalives that are checks of their own, so that a peer gone without a
  // word (a closed tab, a lost network) fails its connection.
  GObject* nice = nullptr;
  if (agent) g_object_get(agent, "agent", &nice, nullptr);
  if (nice) {
    g_object_set(nice, "keepalive-conncheck", TRUE, nullptr);
    g_object_unref(nice);
  }
  if (agent) g_object_unref(agent);

  // The branch: the encoder's tee, a queue, the payloader with the offer's
  // number for H.264, and webrtcbin sending it alone.
  GstPad* sink = gst_element_request_pad_simple(peer.webrtc, "sink_%u");
  GstPad* payloaded = gst_element_get_static_pad(peer.payloader, "src");
  GstWebRTCRTPTransceiver* transceiver = nullptr;
  g_object_get(sink, "transceiver", &transceiver, nullptr);
  GstCaps* rtp = gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "video",
                                     "encoding-name", G_TYPE_STRING, "H264", "clock-rate",
                                     G_TYPE_INT, 90000, "payload", G_TYPE_INT, payloadType,
                                     "packetization-mode", G_TYPE_STRING, "1", "profile-level-id",
                                     G_TYPE_STRING, options_.profileLevelId.c_str(), nullptr);
  if (transceiver) {
    g_object_set(transceiver, "codec-preferences", rtp, "direction",
                 GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY, nullptr);
    gst_object_unref(transceiver);
  }
  gst_caps_unref(rtp);
  const bool linked = gst_pad_link(payloaded, sink) == GST_PAD_LINK_OK &&
                      gst_element_link(peer.queue, peer.payloader);
  gst_object_unref(payloaded);
  gst_object_unref(sink);
  // Playing before the tee feeds it: a push into a pad not yet active
  // answers "flushing", and that error would stop the encoder for everyone.
  for (GstElement* element : {peer.webrtc, peer.payloader, peer.queue})
    gst_element_sync_state_with_parent(element);
  peer.teePad = gst_element_request_pad_simple(pipeline_->tee, "src_%u");
  GstPad* queued = gst_element_get_static_pad(peer.queue, "sink");
  const bool fed = linked && gst_pad_link(peer.teePad, queued) == GST_PAD_LINK_OK;
  gst_object_unref(queued);

  Answer answer;
  GstWebRTCSessionDescription* local = nullptr;
  if (fed && SetDescription(peer.webrtc, "set-remote-description", remote)) {
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(peer.webrtc, "create-answer", nullptr, promise);
    gst_promise_wait(promise);
    const GstStructure* reply = gst_promise_get_reply(promise);
    if (reply && gst_structure_has_field(reply, "answer"))
      gst_structure_get(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &local, nullptr);
    gst_promise_unref(promise);
  }
  gst_webrtc_session_description_free(remote);
  if (local && SetDescription(peer.webrtc, "set-local-description", local)) {
    std::unique_lock<std::mutex> wait(peer.lock);
    if (peer.gathered.wait_for(wait, kGatheringMost, [&] { return peer.complete; })) {
      // The answer with its candidates, for a peer that can't be told more
      // later: webrtcbin's own text lacks those gathered after it was made.
      for (const auto& [mline, candidate] : peer.candidates) {
        if (mline >= gst_sdp_message_medias_len(local->sdp)) continue;
        GstSDPMedia* media = const_cast<GstSDPMedia*>(gst_sdp_message_get_media(local->sdp, mline));
        const std::string value = candidate.rfind("candidate:", 0) == 0
                                      ? candidate.substr(std::string("candidate:").size())
                                      : candidate;
        bool present = false;
        for (guint i = 0; i < gst_sdp_media_attributes_len(media); ++i) {
          const GstSDPAttribute* a = gst_sdp_media_get_attribute(media, i);
          present =
              present || (std::string_view(a->key) == "candidate" && a->value && value == a->value);
        }
        if (!present) gst_sdp_media_add_attribute(media, "candidate", value.c_str());
      }
      for (guint m = 0; m < gst_sdp_message_medias_len(local->sdp); ++m) {
        GstSDPMedia* media = const_cast<GstSDPMedia*>(gst_sdp_message_get_media(local->sdp, m));
        if (!gst_sdp_media_get_attribute_val(media, "end-of-candidates"))
          gst_sdp_media_add_attribute(media, "end-of-candidates", nullptr);
      }
      gchar* text = gst_sdp_message_as_text(local->sdp);
      answer = {peer.id, text};
      g_free(text);
    }
  }
  if (local) gst_webrtc_session_description_free(local);
  if (answer.peer == 0) {
    Detach(peer);
    return {};
  }
  // The new peer's first picture is a key frame, not the next one due.
  gst_element_send_event(pipeline_->encoder,
                         gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
  peers_.emplace(peer.id, std::move(made));
  return answer;
}

// The slow part, stopping the peer's elements, runs without lock_: a new
// viewer's answer waits for no viewer leaving.
void H264Sender::RemovePeer(uint64_t id) {
  std::unique_ptr<Peer> gone;
  GstElement* bin = nullptr;
  {
    MutexLock hold(lock_);
    auto found = peers_.find(id);
    if (found == peers_.end()) return;
    gone = std::move(found->second);
    peers_.erase(found);
    Unhook(*gone);
    if (pipeline_) bin = GST_ELEMENT(gst_object_ref(pipeline_->pipeline));
  }
  if (!bin) return;
  Dispose(*gone, bin);
  gst_object_unref(bin);
}

// Takes a peer's branch off the encoder and out of the pipeline.
void H264Sender::Detach(Peer& peer) {
  Unhook(peer);
  if (pipeline_) Dispose(peer, pipeline_->pipeline);
}

// Takes a peer's branch off the encoder's tee, and its status away.
void H264Sender::Unhook(Peer& peer) {
  {
    MutexLock status(statusLock_);
    status_.erase(peer.id);
  }
  if (pipeline_ && peer.teePad) {
    gst_element_release_request_pad(pipeline_->tee, peer.teePad);
    gst_object_unref(peer.teePad);
    peer.teePad = nullptr;
  }
}

// Stops a branch taken off the tee and takes it out of `bin`.
void H264Sender::Dispose(Peer& peer, void* bin) {
  // Downstream first: webrtcbin holds back what a peer not yet connected
  // is sent, and the queue's thread waits there until webrtcbin stops.
  for (GstElement* element : {peer.webrtc, peer.payloader, peer.queue}) {
    if (!element) continue;
    // Stopped before its callbacks are disconnected, so that none runs on.
    gst_element_set_state(element, GST_STATE_NULL);
    g_signal_handlers_disconnect_by_data(element, &peer);
    gst_bin_remove(GST_BIN(bin), element);
  }
}

H264Sender::PeerStatus H264Sender::StatusOf(uint64_t peer) const {
  MutexLock hold(statusLock_);
  auto found = status_.find(peer);
  return found == status_.end() ? PeerStatus{} : found->second;
}

size_t H264Sender::Peers() const {
  MutexLock hold(statusLock_);
  return status_.size();
}

void H264Sender::SetStatus(uint64_t peer, PeerState state) {
  MutexLock hold(statusLock_);
  auto found = status_.find(peer);
  if (found != status_.end() && found->second.state != state)
    found->second = {state, SteadyMillis()};
}

void H264Sender::StopIfIdle() {
  MutexLock hold(lock_);
  if (peers_.empty()) StopEncoder();
}

}  // namespace platform
