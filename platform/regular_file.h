// Stands in for the C runtime's stream files that the server opens "rb".
// Promises an open that never blocks and succeeds only for a regular file
// whose real path lies inside a given folder's real path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Which file a path names and which version of it: equal stamps mean the
// same file, unchanged (as far as its size and change time tell).
struct FileStamp {
  uint64_t device = 0, inode = 0;
  int64_t size = -1, changedNs = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of what `path` names now (links followed); false when nothing
// is there. Looks at the file without opening it, so it never waits for a
// FIFO's writer.
bool StampOf(const std::string& path, FileStamp& stamp);

// A read-only file descriptor that closes itself. Used by one thread.
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile() { Close(); }
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens `path` when it names a regular file whose real path lies inside
  // the real path of `folder` (links that stay inside still work). A folder,
  // FIFO, socket, device, missing file or link that leads out is refused at
  // once, without waiting for anything.
  bool OpenInside(const std::string& folder, const std::string& path);
  void Close();
  // read(2) from the current position: bytes read, 0 at the end, -1 on error.
  long Read(void* into, size_t count);

  int Fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it.
  int Detach();
  // The open file's stamp, as OpenInside found it.
  const FileStamp& Stamp() const { return stamp_; }
  int64_t Size() const { return size_; }
  // The last change of the file's contents, in seconds since 1970 (UTC).
  int64_t ModifiedSeconds() const { return modified_; }

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t modified_ = 0;
  FileStamp stamp_;
};

}  // namespace platform
