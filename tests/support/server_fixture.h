#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "capture/capture_device.h"
#include "server/listen_thread.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_client.h"

// Waits up to `ms` for `condition`, checking every few milliseconds.
inline bool Eventually(const std::function<bool()>& condition, int ms = 3000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A listener on a free port of 127.0.0.1, in a fresh working folder.
class ServerFixture : public ::testing::Test {
 protected:
  void StartListener(int clientLimit = 5, int logConnections = 0) {
    control.port = FreePort();
    control.stopRequested = 0;
    control.clientLimit = clientLimit;
    control.logConnections = logConnections;
    control.SetStreamUrl("/video");
    control.cameras = {{device.frameStore, device}};
    listener = std::make_unique<server::ListenThread>(control);
    ASSERT_TRUE(listener->Thread().Create());
    listener->Thread().Resume();
    // A probe answered with the server's own 501 proves the listener serves
    // (a connection to a port nobody listens on yet can meet itself and echo
    // the probe back); then let its thread be reaped.
    ASSERT_TRUE(Eventually([&] {
      return Exchange(control.port, "POST / HTTP/1.0\r\n") ==
             "HTTP/1.0 501 Not Implemented\r\n\r\n";
    }));
    ASSERT_TRUE(Eventually([&] { return control.sessionThreads == 0; }));
  }

  // Stops the listener as StopServer does; true when it ended within `ms`.
  bool StopListener(int ms = 10000) {
    control.RequestStop();
    device.frameStore.WakeReaders();
    bool ended = listener->Thread().WaitForEnd(ms);
    if (ended) listener.reset();
    return ended;
  }

  void TearDown() override {
    if (listener) StopListener();
  }

  int Port() const { return control.port; }

  TempFolder folder;
  FakeMessageBox boxes;
  capture::CaptureDevice device;
  server::ServerControl control;
  std::unique_ptr<server::ListenThread> listener;
};
