#include "platform/tls.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

namespace platform {

namespace {

// The most plain text one TLS record carries.
constexpr size_t kRecordMost = 16384;
// What one Write encrypts at most before it sends: four records.
constexpr size_t kWriteMost = 4 * kRecordMost;
// A PEM file larger than this is no certificate or key of a web server's.
constexpr off_t kPemMost = 1 << 20;

// Pieces smaller than a record are gathered here, and files read here, on
// their way into one record; OpenSSL has copied them once a write returns.
thread_local char scratch[kRecordMost];

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Freer<X509_EXTENSION, X509_EXTENSION_free>>;

// The last reason OpenSSL gave, in its words, for a message.
std::string LibraryReason() {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  const char* reason = code ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : "not in PEM form";
}

// The whole of a regular file, read without waiting on a FIFO or device.
bool ReadSmallFile(const std::string& path, std::string& text, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = path + " can't be read: " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kPemMost;
  if (!ok) why = path + " is not a PEM file";
  text.resize(ok ? static_cast<size_t>(info.st_size) : 0);
  size_t got = 0;
  while (ok && got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n <= 0) {
      why = path + " can't be read: " + (n < 0 ? std::strerror(errno) : "it got shorter");
      ok = false;
    } else {
      got += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return ok;
}

BioPtr MemoryBio(const std::string& text) {
  return BioPtr(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

// A key with a pass phrase is refused rather than asked for on a terminal.
int NoPassPhrase(char*, int, int, void*) { return -1; }

std::string FingerprintOf(X509* cert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(cert, EVP_sha256(), digest, &length) != 1) return {};
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, i ? ":%02X" : "%02X", digest[i]);
    text += hex;
  }
  return text;
}

IoResult Failure(ssl_st* ssl, int result) {
  const int error = SSL_get_error(ssl, result);
  ERR_clear_error();
  switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      return {IoStatus::kWouldBlock, 0};
    case SSL_ERROR_ZERO_RETURN:
      return {IoStatus::kClosed, 0};
    case SSL_ERROR_SYSCALL:
      if (errno == EINTR) return {IoStatus::kWouldBlock, 0};
      return {IoStatus::kFailed, 0};
    default:
      return {IoStatus::kFailed, 0};
  }
}

// Whether this kernel encrypts TLS itself: a loopback connection of its
// own takes the "tls" upper layer protocol. Asked once.
bool KernelOffersTls() {
#ifdef SSL_OP_ENABLE_KTLS
  static const bool offered = [] {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bool ok = listener >= 0 &&
              ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener, 1) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    const int client = ok ? ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    ok = client >= 0 &&
         ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
         ::setsockopt(client, SOL_TCP, TCP_ULP, "tls", 3) == 0;
    if (client >= 0) ::close(client);
    if (listener >= 0) ::close(listener);
    return ok;
  }();
  return offered;
#else
  return false;
#endif
}

}  // namespace

// OpenSSL's way out for a session's records, into its outbox.
struct Outbox {
  static int Write(BIO* bio, const char* data, size_t length, size_t* written) {
    auto* session = static_cast<TlsSession*>(BIO_get_data(bio));
    session->outbox_.append(data, length);
    *written = length;
    return 1;
  }
  static long Control(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;  // nothing else is asked of it
  }
  static int Create(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
  }
  static BIO* New(TlsSession* session) {
    static BIO_METHOD* const method = [] {
      BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "owlglance outbox");
      BIO_meth_set_write_ex(m, Write);
      BIO_meth_set_ctrl(m, Control);
      BIO_meth_set_create(m, Create);
      return m;
    }();
    BIO* bio = BIO_new(method);
    if (bio) BIO_set_data(bio, session);
    return bio;
  }
};

std::shared_ptr<TlsContext> TlsContext::Load(const std::string& certPath,
                                             const std::string& keyPath, std::string& why) {
  std::string certText, keyText;
  if (!ReadSmallFile(certPath, certText, why) || !ReadSmallFile(keyPath, keyText, why))
    return nullptr;
  ERR_clear_error();
  BioPtr certs = MemoryBio(certText);
  X509Ptr leaf(PEM_read_bio_X509_AUX(certs.get(), nullptr, NoPassPhrase, nullptr));
  if (!leaf) {
    why = certPath + " holds no certificate: " + LibraryReason();
    return nullptr;
  }
  BioPtr keys = MemoryBio(keyText);
  KeyPtr key(PEM_read_bio_PrivateKey(keys.get(), nullptr, NoPassPhrase, nullptr));
  if (!key) {
    why = keyPath + " holds no private key without a pass phrase: " + LibraryReason();
    return nullptr;
  }

  std::shared_ptr<TlsContext> context(new TlsContext());
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  context->ctx_ = ctx;
  if (!ctx) {
    why = "TLS can't be set up: " + LibraryReason();
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // The library's own TLS 1.3 suites, AES-128 first, the cheapest per byte
  // for every viewer; a client that prefers ChaCha20 (no AES in its
  // hardware) gets it.
  SSL_CTX_set_ciphersuites(
      ctx, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
  uint64_t options = SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF |
                     SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_PRIORITIZE_CHACHA;
#ifdef SSL_OP_ENABLE_KTLS
  options |= SSL_OP_ENABLE_KTLS;
#endif
  SSL_CTX_set_options(ctx, options);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);

  if (SSL_CTX_use_certificate(ctx, leaf.get()) != 1) {
    why = certPath + " can't be used: " + LibraryReason();
    return nullptr;
  }
  // The rest of a full chain follows its certificate in the same file.
  while (X509Ptr next{PEM_read_bio_X509(certs.get(), nullptr, NoPassPhrase, nullptr)})
    SSL_CTX_add1_chain_cert(ctx, next.get());
  ERR_clear_error();  // the end of the file reads as an error
  if (SSL_CTX_use_PrivateKey(ctx, key.get()) != 1 || SSL_CTX_check_private_key(ctx) != 1) {
    ERR_clear_error();
    why = keyPath + " is not the key of the certificate in " + certPath;
    return nullptr;
  }
  context->fingerprint_ = FingerprintOf(leaf.get());
  context->kernelSends_ = KernelOffersTls();
  return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

TlsSession::TlsSession(const TlsContext& context, int fd)
    : ssl_(SSL_new(context.Handle())), fd_(fd) {
  if (!ssl_) return;
  if (context.KernelSends()) {
    SSL_set_fd(ssl_, fd);  // a socket both ways, for the kernel to take over
  } else {
    BIO* in = BIO_new_socket(fd, BIO_NOCLOSE);
    BIO* out = Outbox::New(this);
    if (!in || !out) {
      BIO_free(in);
      BIO_free(out);
      SSL_free(ssl_);
      ssl_ = nullptr;
      return;
    }
    SSL_set_bio(ssl_, in, out);
  }
  SSL_set_accept_state(ssl_);
}

TlsSession::~TlsSession() { SSL_free(ssl_); }

IoStatus TlsSession::Handshake() {
  if (!ssl_) return IoStatus::kFailed;
  ERR_clear_error();
  const int result = SSL_do_handshake(ssl_);
  // What the handshake has to say goes out before anything else.
  const IoStatus flushed = Flush().status;
  if (flushed == IoStatus::kFailed) return IoStatus::kFailed;
  if (result == 1) {
    if (flushed != IoStatus::kDone) return IoStatus::kWouldBlock;
    kernelSends_ = BIO_get_ktls_send(SSL_get_wbio(ssl_)) > 0;
    return IoStatus::kDone;
  }
  const IoStatus status = Failure(ssl_, result).status;
  return status == IoStatus::kWouldBlock ? status : IoStatus::kFailed;
}

IoResult TlsSession::Read(void* data, size_t length) {
  ERR_clear_error();
  size_t got = 0;
  const int result = SSL_read_ex(ssl_, data, length, &got);
  // A read may have an answer to send (a session ticket, a key update).
  if (Flush().status == IoStatus::kFailed) return {IoStatus::kFailed, 0};
  if (result == 1) return {IoStatus::kDone, got};
  return Failure(ssl_, result);
}

IoResult TlsSession::Flush() {
  size_t total = 0;
  while (outboxSent_ < outbox_.size()) {
    const ssize_t sent = ::send(fd_, outbox_.data() + outboxSent_, outbox_.size() - outboxSent_,
                                MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return {IoStatus::kWouldBlock, total};
      return {IoStatus::kFailed, total};
    }
    outboxSent_ += static_cast<size_t>(sent);
    total += static_cast<size_t>(sent);
  }
  // Empty again: its room stays for the next records.
  outbox_.clear();
  outboxSent_ = 0;
  return {IoStatus::kDone, total};
}

IoResult TlsSession::Write(const iovec* pieces, size_t count) {
  // What was encrypted before goes first: the outbox holds a few records
  // at most, never a backlog.
  const IoStatus flushed = Flush().status;
  if (flushed != IoStatus::kDone) return {flushed, 0};
  iovec rest[4];
  count = std::min(count, std::size(rest));
  std::copy(pieces, pieces + count, rest);
  size_t first = 0, consumed = 0;
  ERR_clear_error();
  while (consumed < kWriteMost) {
    while (first < count && rest[first].iov_len == 0) ++first;
    if (first == count) break;
    // A record a piece at least: a short record costs less than copying
    // a picture to fill it.
    const void* data = rest[first].iov_base;
    const size_t length = std::min(rest[first].iov_len, kRecordMost);
    size_t written = 0;
    const int result = SSL_write_ex(ssl_, data, length, &written);
    if (result != 1) {
      if (consumed > 0) break;  // what went is told; the rest waits
      return Failure(ssl_, result);
    }
    consumed += written;
    for (size_t skip = written; skip > 0;) {
      const size_t take = std::min(skip, rest[first].iov_len);
      rest[first].iov_base = static_cast<char*>(rest[first].iov_base) + take;
      rest[first].iov_len -= take;
      skip -= take;
      if (rest[first].iov_len == 0) ++first;
    }
  }
  if (consumed == 0) return {IoStatus::kWouldBlock, 0};  // nothing asked, as a socket says
  // The records go now as far as the socket takes them; the rest with the
  // next write, or the next flush.
  if (Flush().status == IoStatus::kFailed) return {IoStatus::kFailed, 0};
  return {IoStatus::kDone, consumed};
}

IoResult TlsSession::WriteFile(int fileFd, long long& offset, size_t count) {
  ERR_clear_error();
  if (kernelSends_) {
    const ossl_ssize_t sent = SSL_sendfile(ssl_, fileFd, static_cast<off_t>(offset), count, 0);
    if (sent > 0) {
      offset += sent;
      return {IoStatus::kDone, static_cast<size_t>(sent)};
    }
    return Failure(ssl_, static_cast<int>(sent));
  }
  const IoStatus flushed = Flush().status;
  if (flushed != IoStatus::kDone) return {flushed, 0};
  size_t moved = 0;
  while (moved < count && moved < kWriteMost) {
    const ssize_t got =
        ::pread(fileFd, scratch, std::min(count - moved, kRecordMost), static_cast<off_t>(offset));
    if (got <= 0) return {IoStatus::kFailed, 0};  // the file shrank, or can't be read
    size_t written = 0;
    const int result = SSL_write_ex(ssl_, scratch, static_cast<size_t>(got), &written);
    if (result != 1) {
      if (moved > 0) break;
      return Failure(ssl_, result);
    }
    offset += static_cast<long long>(written);
    moved += written;
  }
  if (Flush().status == IoStatus::kFailed) return {IoStatus::kFailed, 0};
  return {IoStatus::kDone, moved};
}

void TlsSession::Close() {
  if (!ssl_ || !SSL_is_init_finished(ssl_)) return;
  ERR_clear_error();
  static_cast<void>(SSL_shutdown(ssl_));
  ERR_clear_error();
  static_cast<void>(Flush());
}

namespace {

bool AddExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()));
  return extension && X509_add_ext(cert, extension.get(), -1) == 1;
}

// Only what a name in a certificate may hold: anything else would end the
// list it is written into.
bool IsHostName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
  });
}

bool IsAddressText(const std::string& address) {
  return !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == '.' || c == ':';
  });
}

// Writes `text` to `path` through a temporary file, with `mode`.
bool WriteWhole(const std::string& path, const std::string& text, mode_t mode, std::string& why) {
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  bool ok = fd >= 0 && ::fchmod(fd, mode) == 0 &&
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
  if (fd >= 0) ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    why = path + " can't be written: " + std::strerror(errno);
    ::unlink(temporary.c_str());
  }
  return ok;
}

std::string PemOf(int (*write)(BIO*, void*), void* what) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || write(bio.get(), what) != 1) return {};
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

}  // namespace

bool MakeSelfSignedCertificate(const std::string& certPath, const std::string& keyPath,
                               const std::vector<std::string>& hostNames,
                               const std::vector<std::string>& addresses, std::string& why) {
  constexpr long kTenYears = 3653;  // days, leap days included
  KeyPtr key(EVP_EC_gen("P-256"));
  X509Ptr cert(X509_new());
  BIGNUM* serial = BN_new();
  bool ok = key && cert && serial && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
            BN_rand(serial, 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
            BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get())) != nullptr;
  BN_free(serial);
  std::string names;
  for (const std::string& name : hostNames)
    if (IsHostName(name)) names += (names.empty() ? "DNS:" : ",DNS:") + name;
  for (const std::string& address : addresses)
    if (IsAddressText(address)) names += (names.empty() ? "IP:" : ",IP:") + address;
  const std::string commonName =
      !hostNames.empty() && IsHostName(hostNames[0]) ? hostNames[0] : "localhost";
  X509_NAME* subject = ok ? X509_get_subject_name(cert.get()) : nullptr;
  ok = ok &&
       X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                                  reinterpret_cast<const unsigned char*>("Owlglance"), -1, -1,
                                  0) == 1 &&
       X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                  reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                  -1, 0) == 1 &&
       X509_set_issuer_name(cert.get(), subject) == 1 &&
       X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
       X509_time_adj_ex(X509_getm_notAfter(cert.get()), kTenYears, 0, nullptr) != nullptr &&
       X509_set_pubkey(cert.get(), key.get()) == 1 &&
       AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
       AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature") &&
       AddExtension(cert.get(), NID_ext_key_usage, "serverAuth") &&
       AddExtension(cert.get(), NID_subject_key_identifier, "hash") &&
       (names.empty() || AddExtension(cert.get(), NID_subject_alt_name, names)) &&
       X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) {
    why = "a certificate can't be made: " + LibraryReason();
    return false;
  }
  const std::string keyText = PemOf(
      [](BIO* bio, void* k) {
        return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY*>(k), nullptr, nullptr, 0,
                                        nullptr, nullptr);
      },
      key.get());
  const std::string certText = PemOf(
      [](BIO* bio, void* c) { return PEM_write_bio_X509(bio, static_cast<X509*>(c)); }, cert.get());
  return WriteWhole(keyPath, keyText, 0600, why) && WriteWhole(certPath, certText, 0644, why);
}

}  // namespace platform
