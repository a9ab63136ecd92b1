#include "server/outgoing.h"

#include <algorithm>
#include <array>

namespace server {

std::string& Outgoing::Reset() {
  Clear();
  text_.clear();
  return text_;
}

void Outgoing::SetFile(std::unique_ptr<platform::RegularFile> file, int64_t first, int64_t count) {
  file_ = std::move(file);
  fileAt_ = first;
  fileLeft_ = count;
}

void Outgoing::Clear() {
  picture_ = capture::FrameRef();
  tail_ = {};
  sent_ = 0;
  file_.reset();
  fileAt_ = fileLeft_ = fileSent_ = 0;
  flushing_ = false;
}

size_t Outgoing::MemorySize() const {
  return text_.size() + static_cast<size_t>(std::max(picture_.Length(), 0)) + tail_.size();
}

bool Outgoing::InFlight() const { return sent_ < MemorySize() || fileLeft_ > 0 || flushing_; }

Outgoing::Progress Outgoing::Send(Link& link, bool& moved) {
  moved = false;
  while (sent_ < MemorySize()) {
    std::array<iovec, 3> pieces = {{
        {text_.data(), text_.size()},
        {const_cast<uint8_t*>(picture_.Data()),
         static_cast<size_t>(std::max(picture_.Length(), 0))},
        {const_cast<char*>(tail_.data()), tail_.size()},
    }};
    size_t skip = sent_, first = 0;
    while (skip >= pieces[first].iov_len) skip -= pieces[first++].iov_len;
    pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + skip;
    pieces[first].iov_len -= skip;
    const platform::IoResult result =
        link.Write(pieces.data() + first, pieces.size() - first, fileLeft_ > 0);
    if (result.status == platform::IoStatus::kWouldBlock) return Progress::kWaiting;
    if (result.status != platform::IoStatus::kDone) return Progress::kFailed;
    sent_ += result.bytes;
    moved = true;
  }
  // The head has gone; the picture's buffer may go back to the store.
  picture_ = capture::FrameRef();
  constexpr int64_t kMostAtOnce = 1 << 30;
  while (fileLeft_ > 0) {
    const platform::IoResult result =
        link.WriteFile(file_->Fd(), fileAt_, static_cast<size_t>(std::min(fileLeft_, kMostAtOnce)));
    if (result.status == platform::IoStatus::kWouldBlock) return Progress::kWaiting;
    if (result.status != platform::IoStatus::kDone) return Progress::kFailed;
    fileLeft_ -= static_cast<int64_t>(result.bytes);
    fileSent_ += static_cast<int64_t>(result.bytes);
    moved = true;
  }
  file_.reset();
  // Done once the last bytes have left the link too.
  const platform::IoResult flushed = link.Flush();
  if (flushed.bytes > 0) moved = true;
  flushing_ = flushed.status == platform::IoStatus::kWouldBlock;
  if (flushing_) return Progress::kWaiting;
  return flushed.status == platform::IoStatus::kDone ? Progress::kDone : Progress::kFailed;
}

}  // namespace server
