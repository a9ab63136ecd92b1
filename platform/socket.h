// Stands in for the Winsock 1.1 socket classes the server uses.
// Promises non-blocking TCP sockets whose sends never raise SIGPIPE.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <string>

#include "platform/ip_address.h"

namespace platform {

// Socket::Listen's results.
constexpr int kListening = 0;
constexpr int kBindFailed = -1;  // can't be created or bound: the port is taken or reserved
constexpr int kListenFailed = -2;
constexpr int kBindNotPermitted = -3;  // a port this user may not bind

// What a read or a write on a non-blocking socket did: moved `bytes` (kDone),
// found nothing to read or no room (kWouldBlock), met the peer's end
// (kClosed: a read of 0), or failed (kFailed: reset, or any other error).
enum class IoStatus { kDone, kWouldBlock, kClosed, kFailed };
struct IoResult {
  IoStatus status = IoStatus::kFailed;
  size_t bytes = 0;
};

// What an accept on a non-blocking listener did.
enum class AcceptStatus {
  kAccepted,
  kNonePending,
  kTryAgain,          // that one connection failed on its way in; others may wait
  kOutOfDescriptors,  // the connection stays pending until a descriptor is free
  kFailed,            // the listener itself failed
};

// Raises this process's limit of open descriptors to the most it may have
// and returns the limit now in force.
int RaiseDescriptorLimit();

// A TCP socket handle that closes itself. Used by one thread at a time.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.Detach()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // A non-blocking listening socket on every local address at `port`, IPv6
  // and IPv4 alike (IPv4 alone where the system has no IPv6), with
  // SO_REUSEADDR so that a restart right after a stop binds again.
  // Result kListening, kBindFailed, kBindNotPermitted or kListenFailed.
  [[nodiscard]] int Listen(int port, int backlog);

  // Accepts one pending connection. Result 0 with `out` holding it (in
  // blocking mode, as accept gives it); otherwise the errno value, EAGAIN
  // when none is pending.
  [[nodiscard]] int Accept(Socket& out);

  // Accepts one pending connection, non-blocking like the listener.
  [[nodiscard]] AcceptStatus AcceptNonBlocking(Socket& out);

  [[nodiscard]] bool SetNonBlocking();
  // While corked, sends are held back until a full segment is ready, so a
  // response's head and body leave together instead of the body waiting
  // for the head's acknowledgement; uncorking sends what is left.
  void SetCorked(bool corked);
  // Reads off what has already arrived, without waiting. Non-blocking only.
  void DiscardPending();
  // Sends the end of the data (FIN) behind what was sent; receiving goes on.
  void ShutdownSending();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  int Detach();
  void Close();

  // send(2) with MSG_NOSIGNAL: bytes sent, 0, or -1 with errno set.
  [[nodiscard]] long Send(const void* data, size_t length);
  // sendmsg(2) of `count` pieces in one call, as Send: bytes sent, or -1.
  [[nodiscard]] long SendPieces(const iovec* pieces, size_t count, bool more = false);
  // sendfile(2): up to `count` bytes of the file `fileFd` from `offset`,
  // which moves on by what was sent. Bytes sent, or -1 with errno set; a
  // peer that has gone raises no SIGPIPE, as with Send.
  [[nodiscard]] long SendFile(int fileFd, long long& offset, size_t count);
  // The same three, as results that say what happened; EINTR counts as
  // kWouldBlock, so the caller waits for its next event.
  [[nodiscard]] IoResult Read(void* data, size_t length);
  // Reads without taking the bytes off: the next Read sees them again.
  [[nodiscard]] IoResult Peek(void* data, size_t length);
  // `more`: further bytes follow at once (a file behind its head), so the
  // kernel may hold these back to fill a segment.
  [[nodiscard]] IoResult Write(const iovec* pieces, size_t count, bool more = false);
  // A file that ends before `count` bytes is kFailed: the peer was promised them.
  [[nodiscard]] IoResult WriteFile(int fileFd, long long& offset, size_t count);

  // recv(2): bytes received, 0 when the peer has closed, or -1 with errno set.
  [[nodiscard]] long Receive(void* data, size_t length);
  // Bytes waiting to be read (FIONREAD), or -1 when the call fails.
  int BytesAvailable();
  // Bytes sent but not yet acknowledged by the peer, or not sent yet
  // (SIOCOUTQ); -1 when the call fails.
  int QueuedBytes() const;

  // Waits up to `ms` for the socket to become readable. Result 1
  // when it is ready, 0 after the time-out, -1 when poll fails.
  [[nodiscard]] int WaitReadable(int ms);

  // The peer's address: IPv4 in dotted form (also when it reached an IPv6
  // socket), IPv6 in its usual text form; false when it can't be had.
  [[nodiscard]] bool PeerAddress(std::string& out) const;
  // This end's address, as PeerAddress gives the peer's.
  [[nodiscard]] bool LocalAddress(std::string& out) const;
  // The peer's address as bytes (IPv4 in its mapped form); false when it
  // can't be had.
  [[nodiscard]] bool PeerIp(IpAddress& out) const;

 private:
  int fd_ = -1;
};

}  // namespace platform
