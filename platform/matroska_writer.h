// Stands in for a recorder's file: Motion-JPEG pictures in Matroska, through
// libavformat. The pictures are stored as they are, neither decoded nor
// encoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace platform {

class MatroskaWriter {
 public:
  MatroskaWriter() = default;
  ~MatroskaWriter() { Close(); }
  MatroskaWriter(const MatroskaWriter&) = delete;
  MatroskaWriter& operator=(const MatroskaWriter&) = delete;

  // Creates `path` for pictures of `width` x `height` that come
  // `rateNum`/`rateDen` a second, the rate the file states (players and
  // FFmpeg convert it at that rate). False with Error() set when it can't.
  [[nodiscard]] bool Open(const std::string& path, int width, int height, int rateNum = 30,
                          int rateDen = 1);
  bool IsOpen() const { return context_ != nullptr; }
  // Appends one JPEG picture taken `ms` milliseconds after the file began;
  // each goes to the disk at once, so a file cut short by a crash still
  // holds every whole picture before it. False with Error() set when the
  // write failed.
  [[nodiscard]] bool Write(const uint8_t* jpeg, size_t size, int64_t ms);
  // Writes the index and closes; false with Error() set when that failed.
  bool Close();
  // The last failure as an errno value (ENOSPC for a full disk).
  int Error() const { return error_; }

 private:
  bool Failed(int averror);

  AVFormatContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool started_ = false;  // the header is out: Close writes the index
  int64_t lastMs_ = -1;
  int64_t pictureMs_ = 33;  // one picture's duration
  int error_ = 0;
};

}  // namespace platform
