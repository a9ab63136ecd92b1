// TLS for the server's connections, over OpenSSL 3: a context holding the
// certificate and its key, and one non-blocking session per connection on
// the connection's own socket.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"

struct ssl_st;
struct ssl_ctx_st;

namespace platform {

// The first byte of every TLS connection: a handshake record's type.
constexpr uint8_t kTlsHandshakeByte = 0x16;

// A certificate (with the chain behind it) and its private key, ready to
// serve TLS 1.2 and 1.3 with the library's default ciphers. Shared by the
// connections; never changed once loaded.
class TlsContext {
 public:
  // Reads both PEM files; nullptr, with `why` naming the file at fault and
  // what is wrong with it, when they can't be used together.
  static std::shared_ptr<TlsContext> Load(const std::string& certPath, const std::string& keyPath,
                                          std::string& why);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // The certificate's SHA-256 fingerprint, as "AB:CD:...".
  const std::string& Fingerprint() const { return fingerprint_; }
  ssl_ctx_st* Handle() const { return ctx_; }
  // The kernel encrypts what its sessions send (kernel TLS).
  bool KernelSends() const { return kernelSends_; }

 private:
  TlsContext() = default;
  ssl_ctx_st* ctx_ = nullptr;
  std::string fingerprint_;
  bool kernelSends_ = false;
};

// The server's side of one TLS connection over a non-blocking socket it
// does not own. Reads and writes say kWouldBlock whenever OpenSSL waits for
// the socket, in either direction: the caller tries again on its next
// event. Unless the kernel encrypts, what goes out is encrypted into an
// outbox of the session's and sent from there, several records a send:
// a record a send would cost a system call and a trip through the network
// stack each. Used by one thread at a time.
class TlsSession {
 public:
  TlsSession(const TlsContext& context, int fd);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Takes the handshake as far as the socket allows: kDone once it is
  // complete, kWouldBlock while it waits, kFailed when the client spoke
  // something else, or no version or cipher both sides know.
  [[nodiscard]] IoStatus Handshake();
  [[nodiscard]] IoResult Read(void* data, size_t length);
  // As much of the pieces as goes (a few records' worth); small pieces
  // travel in one record.
  [[nodiscard]] IoResult Write(const iovec* pieces, size_t count);
  // Up to `count` bytes of the file from `offset`, which moves on by what
  // was sent: by sendfile where the kernel does the encryption, else read
  // and written here. A file that ends early is kFailed.
  [[nodiscard]] IoResult WriteFile(int fileFd, long long& offset, size_t count);
  // Sends what waits in the outbox: kDone once it is empty.
  [[nodiscard]] IoResult Flush();
  // Sends the close alert, as far as the socket takes it at once.
  void Close();

 private:
  friend struct Outbox;
  ssl_st* ssl_ = nullptr;
  int fd_ = -1;
  bool kernelSends_ = false;
  std::string outbox_;  // records not yet sent, from outboxSent_ on
  size_t outboxSent_ = 0;
};

// Makes a self-signed certificate for a server (ECDSA P-256, valid from
// now for ten years) with `hostNames` and `addresses` (IPv4 or IPv6 text) as
// its names, the first host name as its common name, and writes it and its
// key as PEM: the key readable by its owner alone. False, with `why`, when
// a file can't be written.
bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                               const std::vector<std::string>& hostNames,
                               const std::vector<std::string>& addresses, std::string& why);

}  // namespace platform
