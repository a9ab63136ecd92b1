#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "capture/frame_store.h"
#include "platform/regular_file.h"
#include "server/link.h"

namespace server {

// An answer on its way out, sent as far as the socket takes it, then again
// when there is room: bytes of its own (a head, a short body), then a
// picture straight from the frame store's buffer, then fixed bytes (a
// stream's delimiter), then a file's bytes straight from the file. Used by
// the event loop's thread.
class Outgoing {
 public:
  // Starts a new answer; what the last one held is let go, and its text's
  // room kept for the next.
  std::string& Reset();
  void SetPicture(capture::FrameRef picture) { picture_ = std::move(picture); }
  void SetTail(std::string_view tail) { tail_ = tail; }
  void SetFile(std::unique_ptr<platform::RegularFile> file, int64_t first, int64_t count);

  enum class Progress { kDone, kWaiting, kFailed };
  // Sends what the socket takes; `moved` tells whether any byte went.
  Progress Send(Link& link, bool& moved);
  bool InFlight() const;
  size_t Size() const { return MemorySize() + static_cast<size_t>(fileLeft_ + fileSent_); }
  // Lets go of the picture and the file.
  void Clear();

 private:
  size_t MemorySize() const;

  std::string text_;
  capture::FrameRef picture_;
  std::string_view tail_;
  size_t sent_ = 0;  // of text, picture and tail together
  std::unique_ptr<platform::RegularFile> file_;
  long long fileAt_ = 0;
  int64_t fileLeft_ = 0, fileSent_ = 0;
  bool flushing_ = false;  // everything handed over, the link still sending it
};

}  // namespace server
