#pragma once

#include <chrono>
#include <memory>
#include <thread>

#include "bench/bench_support.h"
#include "bench/require.h"
#include "capture/capture_device.h"
#include "server/listen_thread.h"
#include "tests/support/test_client.h"

// A listener on a free port, serving the working folder.
struct RunningServer {
  capture::CaptureDevice device;
  server::ServerControl control;
  std::unique_ptr<server::ListenThread> listener;

  // With `tls`, HTTPS too on the same port.
  explicit RunningServer(int clientLimit,
                         std::shared_ptr<const platform::TlsContext> tls = nullptr) {
    device.frameStore.Reallocate(4 << 20);
    control.tls = std::move(tls);
    control.port = FreePort();
    control.clientLimit = clientLimit;
    control.SetStreamUrl("/video");
    control.cameras = {{device.frameStore, device}};
    listener = std::make_unique<server::ListenThread>(control);
    Require(listener->Thread().Create(), "the listener thread");
    listener->Thread().Resume();
    while (Exchange(control.port, "POST / HTTP/1.0\r\n\r\n", 1000).empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Milliseconds from raising the stop flag to the listener's end.
  double Stop() {
    double start = WallSeconds();
    control.RequestStop();
    device.frameStore.WakeReaders();
    while (!listener->Thread().WaitForEnd(200)) {
    }
    listener.reset();
    return (WallSeconds() - start) * 1000;
  }
  ~RunningServer() {
    if (listener) Stop();
  }
};
