#include "tests/support/fake_v4l2.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {
constexpr int kCamera = 100, kMetadata = 101;
constexpr uint32_t kFormats[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_H264};
constexpr uint32_t kSizes[][2] = {{640, 480}, {320, 240}};
constexpr auto kFrameInterval = std::chrono::milliseconds(10);
}  // namespace

int FakeV4l2::Fail(int error) {
  errno = error;
  return -1;
}

int FakeV4l2::Open(const std::string& path) {
  const std::string camera = "/dev/video" + std::to_string(cameraNumber_.load());
  const std::string metadata = "/dev/video" + std::to_string(cameraNumber_.load() + 1);
  if (unplugged || (path != camera && path != metadata)) return Fail(ENOENT);
  if (path == metadata) return kMetadata;
  std::lock_guard lock(mutex_);
  if (format_.width == 0) SetSize(V4L2_PIX_FMT_YUYV, 640, 480);
  return kCamera;
}

void FakeV4l2::Replug(int number) {
  std::lock_guard lock(mutex_);
  stalled_ = false;
  format_ = {};  // a new device starts at its default format
  streaming_ = false;
  buffers_.clear();
  queued_.clear();
  cameraNumber_ = number;
  controls_ = DefaultControls();  // a camera plugged in again starts at its own values
  unplugged = false;
}

std::vector<FakeV4l2::FakeControl> FakeV4l2::DefaultControls() {
  return {
      {V4L2_CID_USER_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0, 0, {}, 0},
      {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 1, 128, {}, 128},
      {V4L2_CID_AUTO_WHITE_BALANCE,
       V4L2_CTRL_TYPE_BOOLEAN,
       "White Balance, Automatic",
       0,
       1,
       1,
       1,
       {},
       1},
      {V4L2_CID_POWER_LINE_FREQUENCY,
       V4L2_CTRL_TYPE_MENU,
       "Power Line Frequency",
       0,
       2,
       1,
       1,
       {1, 1, 1},
       1},
      {V4L2_CID_WHITE_BALANCE_TEMPERATURE,
       V4L2_CTRL_TYPE_INTEGER,
       "White Balance Temperature",
       2800,
       6500,
       10,
       4600,
       {},
       4600},
      {V4L2_CID_CAMERA_CLASS, V4L2_CTRL_TYPE_CTRL_CLASS, "Camera Controls", 0, 0, 0, 0, {}, 0},
      // Manual (1) and aperture priority (3) only: a menu with gaps.
      {V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 0, 3, 1, 3, {0, 1, 0, 1}, 3},
      {V4L2_CID_EXPOSURE_ABSOLUTE,
       V4L2_CTRL_TYPE_INTEGER,
       "Exposure Time, Absolute",
       3,
       2047,
       1,
       250,
       {},
       250},
      {V4L2_CID_AUTO_EXPOSURE_BIAS,
       V4L2_CTRL_TYPE_INTEGER_MENU,
       "Auto Exposure, Bias",
       0,
       4,
       1,
       2,
       {-2000, -1000, 0, 1000, 2000},
       2},
      {V4L2_CID_AUTO_FOCUS_START, V4L2_CTRL_TYPE_BUTTON, "Auto Focus, Start", 0, 0, 0, 0, {}, 0},
  };
}

FakeV4l2::FakeControl* FakeV4l2::Find(uint32_t id) {
  for (auto& control : controls_)
    if (control.id == id) return &control;
  return nullptr;
}

int FakeV4l2::Control(uint32_t id) const {
  std::lock_guard lock(mutex_);
  for (const auto& control : controls_)
    if (control.id == id) return control.value;
  return -1;
}

void FakeV4l2::Refuse(uint32_t id, int32_t value) {
  std::lock_guard lock(mutex_);
  refused_.emplace_back(id, value);
}

uint32_t FakeV4l2::Flags(const FakeControl& control) const {
  auto value = [&](uint32_t id) {
    for (const auto& c : controls_)
      if (c.id == id) return c.value;
    return 0;
  };
  if (control.id == V4L2_CID_EXPOSURE_ABSOLUTE && value(V4L2_CID_EXPOSURE_AUTO) != 1)
    return V4L2_CTRL_FLAG_INACTIVE;
  if (control.id == V4L2_CID_WHITE_BALANCE_TEMPERATURE && value(V4L2_CID_AUTO_WHITE_BALANCE) == 1)
    return V4L2_CTRL_FLAG_INACTIVE;
  if (control.id == V4L2_CID_EXPOSURE_AUTO || control.id == V4L2_CID_AUTO_WHITE_BALANCE)
    return V4L2_CTRL_FLAG_UPDATE;
  if (control.type == V4L2_CTRL_TYPE_BUTTON) return V4L2_CTRL_FLAG_WRITE_ONLY;
  if (control.type == V4L2_CTRL_TYPE_CTRL_CLASS)
    return V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
  return 0;
}

int FakeV4l2::ControlIoctl(unsigned long request, void* arg) {
  switch (request) {
    case VIDIOC_QUERY_EXT_CTRL: {
      auto* q = static_cast<v4l2_query_ext_ctrl*>(arg);
      const bool next = q->id & V4L2_CTRL_FLAG_NEXT_CTRL;
      const uint32_t after = q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
      const FakeControl* found = nullptr;
      for (const auto& control : controls_)  // in id order, as the kernel lists them
        if (next ? control.id > after && (!found || control.id < found->id) : control.id == after)
          found = &control;
      if (!found) return Fail(EINVAL);
      *q = {};
      q->id = found->id;
      q->type = found->type;
      std::strcpy(q->name, found->name);
      q->minimum = found->minimum;
      q->maximum = found->maximum;
      q->step = static_cast<uint64_t>(found->step);
      q->default_value = found->defaultValue;
      q->flags = Flags(*found);
      return 0;
    }
    case VIDIOC_QUERYCTRL: {
      auto* q = static_cast<v4l2_queryctrl*>(arg);
      const FakeControl* control = Find(q->id);
      if (!control) return Fail(EINVAL);
      q->type = control->type;
      std::strcpy(reinterpret_cast<char*>(q->name), control->name);
      q->minimum = control->minimum;
      q->maximum = control->maximum;
      q->flags = Flags(*control);
      return 0;
    }
    case VIDIOC_QUERYMENU: {
      auto* m = static_cast<v4l2_querymenu*>(arg);
      const FakeControl* control = Find(m->id);
      if (!control || m->index >= control->items.size()) return Fail(EINVAL);
      if (control->type == V4L2_CTRL_TYPE_INTEGER_MENU) {
        m->value = control->items[m->index];
        return 0;
      }
      if (control->items[m->index] == 0) return Fail(EINVAL);
      static const char* const kNames[][4] = {
          {"Disabled", "50 Hz", "60 Hz", ""},
          {"", "Manual Mode", "", "Aperture Priority Mode"},
      };
      std::strcpy(reinterpret_cast<char*>(m->name),
                  kNames[control->id == V4L2_CID_EXPOSURE_AUTO][m->index]);
      return 0;
    }
    case VIDIOC_G_CTRL: {
      auto* c = static_cast<v4l2_control*>(arg);
      const FakeControl* control = Find(c->id);
      if (!control || Flags(*control) & V4L2_CTRL_FLAG_WRITE_ONLY) return Fail(EINVAL);
      c->value = control->value;
      return 0;
    }
    case VIDIOC_S_CTRL: {
      auto* c = static_cast<v4l2_control*>(arg);
      FakeControl* control = Find(c->id);
      if (!control || control->type == V4L2_CTRL_TYPE_CTRL_CLASS) return Fail(EINVAL);
      for (const auto& [id, value] : refused_)
        if (id == c->id && value == c->value) return Fail(EINVAL);
      if (control->type == V4L2_CTRL_TYPE_BUTTON) return 0;
      // As a UVC camera does: a value its automatic mode rules is not taken.
      if (Flags(*control) & V4L2_CTRL_FLAG_INACTIVE) return Fail(EACCES);
      if (c->value < control->minimum || c->value > control->maximum) return Fail(ERANGE);
      control->value = c->value;
      return 0;
    }
    default:
      return Fail(ENOTTY);
  }
}

void FakeV4l2::SetSize(uint32_t pixelFormat, uint32_t width, uint32_t height) {
  format_.pixelformat = pixelFormat;
  format_.width = width;
  format_.height = height;
  format_.bytesperline = pixelFormat == V4L2_PIX_FMT_YUYV ? width * 2 : 0;
  // Motion-JPEG buffers as some UVC drivers size them: room for any frame.
  format_.sizeimage = width * height * (pixelFormat == V4L2_PIX_FMT_MJPEG ? 8 : 2);
}

int FakeV4l2::Ioctl(int fd, unsigned long request, void* arg) {
  if (unplugged) return Fail(ENODEV);
  std::lock_guard lock(mutex_);
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* cap = static_cast<v4l2_capability*>(arg);
      *cap = {};
      std::strcpy(reinterpret_cast<char*>(cap->card), "Fake Camera");
      std::strcpy(reinterpret_cast<char*>(cap->bus_info), "usb-0000:00:14.0-2");
      cap->version = 0x060102;
      cap->capabilities = V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE |
                          V4L2_CAP_STREAMING;
      cap->device_caps = fd == kCamera ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING
                                       : V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* d = static_cast<v4l2_fmtdesc*>(arg);
      if (d->index >= std::size(kFormats)) return Fail(EINVAL);
      d->pixelformat = kFormats[d->index];
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* s = static_cast<v4l2_frmsizeenum*>(arg);
      if (s->index >= std::size(kSizes)) return Fail(EINVAL);
      s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
      s->discrete.width = kSizes[s->index][0];
      s->discrete.height = kSizes[s->index][1];
      return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {  // 30 and 15 a second at every size
      auto* i = static_cast<v4l2_frmivalenum*>(arg);
      if (i->index >= 2) return Fail(EINVAL);
      i->type = V4L2_FRMIVAL_TYPE_DISCRETE;
      i->discrete = {1, i->index == 0 ? 30u : 15u};
      return 0;
    }
    case VIDIOC_G_PARM:
      static_cast<v4l2_streamparm*>(arg)->parm.capture.timeperframe = interval_;
      return 0;
    case VIDIOC_S_PARM:
      interval_ = static_cast<v4l2_streamparm*>(arg)->parm.capture.timeperframe;
      intervalSet_ = interval_.numerator > 0 && interval_.denominator > 0;
      return 0;
    case VIDIOC_G_FMT:
      static_cast<v4l2_format*>(arg)->fmt.pix = format_;
      return 0;
    case VIDIOC_S_FMT: {
      if (streaming_ || !buffers_.empty()) return Fail(EBUSY);
      auto& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
      uint32_t f = pix.pixelformat == V4L2_PIX_FMT_H264 ? V4L2_PIX_FMT_YUYV : pix.pixelformat;
      bool small = pix.width <= 320;
      SetSize(f, kSizes[small][0], kSizes[small][1]);
      pix = format_;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      auto* r = static_cast<v4l2_requestbuffers*>(arg);
      if (streaming_) return Fail(EBUSY);
      r->count = std::min<uint32_t>(r->count, 4);
      buffers_.assign(r->count, std::vector<uint8_t>(format_.sizeimage));
      queued_.assign(r->count, false);
      return 0;
    }
    case VIDIOC_QUERYBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (b->index >= buffers_.size()) return Fail(EINVAL);
      b->length = static_cast<uint32_t>(buffers_[b->index].size());
      b->m.offset = b->index << 24;
      return 0;
    }
    case VIDIOC_QBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (b->index >= buffers_.size()) return Fail(EINVAL);
      queued_[b->index] = true;
      return 0;
    }
    case VIDIOC_DQBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (!streaming_ || stalled_ || std::chrono::steady_clock::now() < nextFrame_)
        return Fail(EAGAIN);
      for (uint32_t i = 0; i < buffers_.size(); ++i) {
        if (!queued_[i]) continue;
        queued_[i] = false;
        b->index = i;
        b->bytesused = static_cast<uint32_t>(buffers_[i].size());
        if (format_.pixelformat == V4L2_PIX_FMT_MJPEG && !jpegFrames_.empty()) {
          const std::string& jpeg = jpegFrames_[nextJpeg_++ % jpegFrames_.size()];
          b->bytesused = static_cast<uint32_t>(std::min(jpeg.size(), buffers_[i].size()));
          std::memcpy(buffers_[i].data(), jpeg.data(), b->bytesused);
        } else {
          for (size_t p = 0; p < buffers_[i].size(); p += 2) {
            buffers_[i][p] = luma_;
            buffers_[i][p + 1] = 128;
          }
          luma_ = static_cast<uint8_t>(luma_ >= 230 ? 16 : luma_ + 1);
        }
        b->flags = errorFrames_ > 0 ? V4L2_BUF_FLAG_ERROR : 0;
        if (errorFrames_ > 0) --errorFrames_;
        // Fast unless a frame rate was set; then at that rate.
        nextFrame_ +=
            intervalSet_
                ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double>(static_cast<double>(interval_.numerator) /
                                                    interval_.denominator))
                : kFrameInterval;
        return 0;
      }
      return Fail(EAGAIN);
    }
    case VIDIOC_STREAMON:
      streaming_ = true;
      nextFrame_ = std::chrono::steady_clock::now();
      return 0;
    case VIDIOC_STREAMOFF:
      streaming_ = false;
      return 0;
    default:
      return ControlIoctl(request, arg);
  }
}

void* FakeV4l2::Mmap(size_t length, int, off_t offset) {
  std::lock_guard lock(mutex_);
  size_t index = static_cast<size_t>(offset) >> 24;
  if (index >= buffers_.size() || length > buffers_[index].size())
    return reinterpret_cast<void*>(-1);
  ++mapped_;
  return buffers_[index].data();
}

int FakeV4l2::Poll(int, int ms) {
  if (unplugged) return POLLERR | POLLHUP;
  std::chrono::steady_clock::time_point due;
  {
    std::lock_guard lock(mutex_);
    due = nextFrame_;
  }
  auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::this_thread::sleep_until(std::min(due, limit));
  if (unplugged) return POLLERR | POLLHUP;
  return std::chrono::steady_clock::now() >= due && !stalled_ ? POLLIN : 0;
}

std::string FakeV4l2::Interval() {
  std::lock_guard lock(mutex_);
  return std::to_string(interval_.numerator) + "/" + std::to_string(interval_.denominator);
}

void FakeV4l2::SendJpegFrames(std::vector<std::string> frames) {
  std::lock_guard lock(mutex_);
  jpegFrames_ = std::move(frames);
  nextJpeg_ = 0;
}
