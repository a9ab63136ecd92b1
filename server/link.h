#pragma once

#include <sys/uio.h>

#include <memory>

#include "platform/socket.h"
#include "platform/tls.h"

namespace server {

// A connection's way to its client: the socket itself, or TLS over it once
// the client has opened with a handshake. Used by the event loop's thread.
struct Link {
  platform::Socket socket;
  std::unique_ptr<platform::TlsSession> tls;  // set when the client speaks TLS

  platform::IoResult Read(void* data, size_t length) {
    return tls ? tls->Read(data, length) : socket.Read(data, length);
  }
  // `more`: further bytes follow at once (a file behind its head).
  platform::IoResult Write(const iovec* pieces, size_t count, bool more) {
    return tls ? tls->Write(pieces, count) : socket.Write(pieces, count, more);
  }
  platform::IoResult WriteFile(int fileFd, long long& offset, size_t count) {
    return tls ? tls->WriteFile(fileFd, offset, count) : socket.WriteFile(fileFd, offset, count);
  }
  // Sends what TLS has encrypted and the socket did not take yet: kDone
  // once nothing waits; `bytes` sent either way.
  platform::IoResult Flush() {
    return tls ? tls->Flush() : platform::IoResult{platform::IoStatus::kDone, 0};
  }
  // The end of what the server sends: TLS's close alert, then the FIN.
  void ShutdownSending() {
    if (tls) tls->Close();
    socket.ShutdownSending();
  }
};

}  // namespace server
