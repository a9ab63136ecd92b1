#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/listen_thread.h"
#include "server/server_control.h"
#include "settings/server_settings.h"

namespace capture {
class CaptureDevice;
}

namespace server {

enum class StartResult {
  kStarted,
  kCameraNotStarted,
  kPortUnavailable,      // the listener's message has been shown
  kCertificateUnusable,  // HTTPS can't start: its message has been shown
};

// Starts and stops the streaming server as a whole. Used on the
// user-interface thread; shares its ServerControl with the listener and the
// client threads.
class ServerController {
 public:
  // `whileWaiting` runs between the 200 ms steps of StopServer's wait, so a
  // GUI can answer message boxes that worker threads show meanwhile.
  ServerController(const settings::ServerSettings& settings, capture::CaptureDevice& device,
                   std::function<void()> whileWaiting = {});
  ~ServerController();
  ServerController(const ServerController&) = delete;
  ServerController& operator=(const ServerController&) = delete;

  // Binds the port and starts grabbing and the listener. kStarted once it
  // serves (or already served); kPortUnavailable when the port can't be
  // bound or listened on; kCertificateUnusable when HTTPS is asked for and
  // its certificate can't be had; kCameraNotStarted when grabbing can't
  // start.
  [[nodiscard]] StartResult StartServer();
  // Ends every session and the listener, then grabbing; nothing when stopped.
  void StopServer();
  // Serves `others` too, after the first, as cameras 1, 2, ... (/cam/N/...),
  // in place of those served before; while stopped. Their grabbing starts
  // and stops with the server.
  void ServeOthers(const std::vector<capture::CaptureDevice*>& others);
  // A limit outside the client limit's range is ignored.
  void SetClientLimit(int32_t n);
  void SetLogConnections(int32_t flag) { control_.logConnections = flag; }
  void SetPort(int32_t port) { control_.port = port; }
  void SetStreamUrl(std::string_view url) { control_.SetStreamUrl(url); }
  // HTTPS beside HTTP (https), and whose certificate (tlscert, tlskey):
  // read at the next start.
  void SetTls(const settings::ServerSettings& settings);
  // The running server's certificate's SHA-256 fingerprint ("AB:CD:..."),
  // or "" when it serves plain HTTP alone.
  std::string Fingerprint() const;
  // Who may watch (the settings' access, viewuser and viewpass): applies
  // to the next connection, and ends the streams it leaves out.
  void SetAccess(const settings::ServerSettings& settings) {
    control_.gate.SetRules(settings.access, settings.viewuser, settings.viewpass);
  }
  bool AsksPassword() const { return control_.gate.AsksPassword(); }
  int32_t ConnectedCount() const { return control_.connectedCount.load(); }
  // Work handed to the loop's pools (files being opened, passwords being
  // verified) not yet back; 0 once every request has its answer.
  int32_t SessionThreads() const { return control_.sessionThreads.load(); }
  bool IsRunning() const { return running_; }
  // What the server's threads have to tell the user since the last call;
  // for the user-interface thread to show.
  std::vector<std::string> TakeNotices() { return control_.notices.Take(); }
  // True once a running server's listener has ended on its own (accepting
  // failed).
  bool ListenerEnded();

 private:
  void ReleaseCameras();

  ServerControl control_;
  settings::ServerSettings tlsSettings_;  // https, tlscert and tlskey
  bool running_ = false;
  // The cameras served, the first one first; the loop sees each as its
  // frame store and status (control_.cameras).
  std::vector<capture::CaptureDevice*> devices_;
  std::vector<capture::CaptureDevice*> held_;  // the cameras whose grabbing this start holds
  std::unique_ptr<ListenThread> listener_;
  std::function<void()> whileWaiting_;
};

}  // namespace server
