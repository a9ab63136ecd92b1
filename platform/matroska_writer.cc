#include "platform/matroska_writer.h"

#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace platform {

bool MatroskaWriter::Failed(int averror) {
  error_ = averror < 0 ? AVUNERROR(averror) : EIO;
  return false;
}

bool MatroskaWriter::Open(const std::string& path, int width, int height, int rateNum,
                          int rateDen) {
  Close();
  error_ = 0;
  int result = avformat_alloc_output_context2(&context_, nullptr, "matroska", path.c_str());
  if (result < 0 || !context_) return Failed(result);
  AVStream* stream = avformat_new_stream(context_, nullptr);
  packet_ = av_packet_alloc();
  if (!stream || !packet_) {
    Close();
    return Failed(AVERROR(ENOMEM));
  }
  stream->time_base = {1, 1000};
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
  stream->codecpar->width = width;
  stream->codecpar->height = height;
  // Stated as the track's default duration; without it readers guess the
  // rate from the millisecond times, and guess 1000 a second.
  stream->avg_frame_rate = stream->r_frame_rate = {rateNum, rateDen};
  pictureMs_ = std::max<int64_t>(1, (1000LL * rateDen + rateNum / 2) / rateNum);
  // Every packet goes to the disk as it comes, in clusters of a second, so
  // that a crash costs at most the picture being written.
  context_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
  result = avio_open(&context_->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (result < 0) {
    Close();
    return Failed(result);
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "cluster_time_limit", "1000", 0);
  // A CRC over every cluster costs more than the rest of the recording.
  av_dict_set(&options, "write_crc32", "0", 0);
  result = avformat_write_header(context_, &options);
  av_dict_free(&options);
  if (result < 0) {
    Close();
    return Failed(result);
  }
  started_ = true;
  lastMs_ = -1;
  return true;
}

bool MatroskaWriter::Write(const uint8_t* jpeg, size_t size, int64_t ms) {
  if (!context_) return Failed(AVERROR(EBADF));
  if (ms <= lastMs_) ms = lastMs_ + 1;  // times only go forward
  lastMs_ = ms;
  av_packet_unref(packet_);
  packet_->data = const_cast<uint8_t*>(jpeg);
  packet_->size = static_cast<int>(size);
  packet_->pts = packet_->dts = ms;
  packet_->duration = pictureMs_;
  packet_->stream_index = 0;
  packet_->flags = AV_PKT_FLAG_KEY;
  const int result = av_write_frame(context_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  if (result < 0) return Failed(result);
  if (context_->pb->error < 0) return Failed(context_->pb->error);
  return true;
}

bool MatroskaWriter::Close() {
  if (!context_) return error_ == 0;
  bool written = true;
  // Only a file whose header went out gets its index.
  if (started_ && av_write_trailer(context_) < 0) written = false;
  if (context_->pb && context_->pb->error < 0) written = Failed(context_->pb->error);
  if (context_->pb) avio_closep(&context_->pb);
  avformat_free_context(context_);
  context_ = nullptr;
  av_packet_free(&packet_);
  started_ = false;
  return written;
}

}  // namespace platform
