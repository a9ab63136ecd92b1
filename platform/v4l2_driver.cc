#include "platform/v4l2_driver.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/clock.h"

namespace platform {

namespace {

constexpr int kBufferCount = 4;
constexpr int kSilenceLimitMs = 2000;  // no frame for this long: the camera is gone
constexpr int kErrorFramesLimit = 3;

bool IsDeviceGone(int error) { return error == ENODEV || error == EIO || error == ENXIO; }

// The capture node's capabilities, as the device (not the whole card) has them.
uint32_t NodeCaps(const v4l2_capability& cap) {
  return cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
}
bool CanCapture(const v4l2_capability& cap) {
  return NodeCaps(cap) & V4L2_CAP_VIDEO_CAPTURE && NodeCaps(cap) & V4L2_CAP_STREAMING;
}

class SystemIo : public V4l2Io {
 public:
  int Open(const std::string& path) override {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    int r;
    do r = ::ioctl(fd, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
  }
  void* Mmap(size_t length, int fd, off_t offset) override {
    return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
  }
  int Munmap(void* address, size_t length) override { return ::munmap(address, length); }
  int Poll(int fd, int ms) override {
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    return r == 0 ? 0 : p.revents;
  }
  int Close(int fd) override { return ::close(fd); }
};

struct PixelFormat {
  uint32_t v4l2, fourcc;
  int bitCount;
  const char* label;
};
constexpr PixelFormat kPixelFormats[] = {
    {V4L2_PIX_FMT_YUYV, kFourccYuyv, 16, "YUYV 4:2:2"},
    {V4L2_PIX_FMT_UYVY, kFourccUyvy, 16, "UYVY 4:2:2"},
    {V4L2_PIX_FMT_NV12, kFourccNv12, 12, "NV12 4:2:0"},
    {V4L2_PIX_FMT_YUV420, kFourccYu12, 12, "YUV 4:2:0"},
    {V4L2_PIX_FMT_MJPEG, kFourccMjpeg, 24, "Motion-JPEG"},
    {V4L2_PIX_FMT_JPEG, kFourccMjpeg, 24, "JPEG"},
    {V4L2_PIX_FMT_RGB24, kFourccRgbTopDown, 24, "RGB 24-bit"},
    {V4L2_PIX_FMT_BGR24, kFourccBgrTopDown, 24, "BGR 24-bit"},
};

const PixelFormat* Known(uint32_t v4l2) {
  for (const auto& f : kPixelFormats)
    if (f.v4l2 == v4l2) return &f;
  return nullptr;
}

// Automatic modes that set others inactive; set before the values they
// rule. Drivers that flag them V4L2_CTRL_FLAG_UPDATE are taken as such too.
constexpr uint32_t kAutoControls[] = {
    V4L2_CID_EXPOSURE_AUTO, V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_FOCUS_AUTO,
    V4L2_CID_AUTOGAIN,      V4L2_CID_HUE_AUTO,           V4L2_CID_AUTOBRIGHTNESS,
};

bool IsAuto(uint32_t id) { return std::ranges::find(kAutoControls, id) != std::end(kAutoControls); }

// The camera's name that outlives its /dev/video number: the by-id link
// that points at `path`, else its card name and bus.
std::string StableNameOf(const std::string& path, const std::string& card, const std::string& bus) {
  std::error_code error;
  for (const auto& link : std::filesystem::directory_iterator("/dev/v4l/by-id", error)) {
    std::error_code same;
    if (std::filesystem::equivalent(link.path(), path, same) && !same) return link.path().string();
  }
  return card + " @ " + bus;
}

// Calls `found(path, capabilities)` for each /dev/video* that can capture,
// in device-number order, until it returns false.
template <typename Found>
void ScanCaptureDevices(V4l2Io& io, Found found) {
  constexpr int kVideoNodes = 64;
  for (int n = 0; n < kVideoNodes; ++n) {
    std::string path = "/dev/video" + std::to_string(n);
    int fd = io.Open(path);
    if (fd < 0) continue;
    v4l2_capability cap{};
    const bool capture = io.Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && CanCapture(cap);
    io.Close(fd);
    if (capture && !found(path, cap)) return;
  }
}

std::string SizeLabel(uint32_t w, uint32_t h) {
  return std::to_string(w) + " x " + std::to_string(h);
}

}  // namespace

V4l2Io& SystemV4l2Io() {
  static SystemIo io;
  return io;
}

std::vector<std::unique_ptr<CaptureDriver>> ListV4l2Drivers(V4l2Io& io) {
  std::vector<std::unique_ptr<CaptureDriver>> drivers;
  ScanCaptureDevices(io, [&](const std::string& path, const v4l2_capability& cap) {
    std::string version = "Version: " + std::to_string(cap.version >> 16 & 0xff) + "." +
                          std::to_string(cap.version >> 8 & 0xff) + "." +
                          std::to_string(cap.version & 0xff);
    drivers.push_back(std::make_unique<V4l2Driver>(io, path,
                                                   reinterpret_cast<const char*>(cap.card), version,
                                                   reinterpret_cast<const char*>(cap.bus_info)));
    // The last place is the test pattern's.
    return drivers.size() < kMaxDrivers - 1;
  });
  return drivers;
}

V4l2Driver::V4l2Driver(V4l2Io& io, std::string path, std::string name, std::string version,
                       std::string busInfo)
    : io_(io),
      path_(std::move(path)),
      name_(std::move(name)),
      version_(std::move(version)),
      busInfo_(std::move(busInfo)),
      stableName_(StableNameOf(path_, name_, busInfo_)) {}

V4l2Driver::~V4l2Driver() { Close(); }

bool V4l2Driver::Open() {
  Close();
  const int fd = io_.Open(path_);
  if (fd < 0) return false;
  {
    MutexLock lock(fdLock_);
    fd_ = fd;
  }
  if (ReadFormat() && Known(pixelFormat_)) return true;
  // The camera is set to a format we can't convert: take the first we can.
  for (uint32_t pixelFormat : PixelFormats()) {
    if (!Known(pixelFormat)) continue;
    auto sizes = FrameSizes(pixelFormat);
    auto [w, h] = sizes.empty() ? std::pair<uint32_t, uint32_t>{640, 480} : sizes.front();
    if (SetFormat(pixelFormat, w, h)) return true;
  }
  Close();
  return false;
}

void V4l2Driver::Close() {
  StopStreaming();
  CloseDevice();
}

void V4l2Driver::CloseDevice() {
  MutexLock lock(fdLock_);
  if (fd_ >= 0) io_.Close(fd_);
  fd_ = -1;
}

bool V4l2Driver::ReadFormat() {
  v4l2_format f{};
  f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (io_.Ioctl(fd_, VIDIOC_G_FMT, &f) != 0) return false;
  pixelFormat_ = f.fmt.pix.pixelformat;
  const PixelFormat* known = Known(pixelFormat_);
  format_ = BitmapInfoHeader{};
  format_.biWidth = static_cast<int32_t>(f.fmt.pix.width);
  format_.biHeight = static_cast<int32_t>(f.fmt.pix.height);
  format_.biBitCount = static_cast<uint16_t>(known ? known->bitCount : 0);
  format_.biCompression = known ? known->fourcc : pixelFormat_;
  format_.biSizeImage = f.fmt.pix.sizeimage;
  return true;
}

bool V4l2Driver::SetFormat(uint32_t pixelFormat, uint32_t width, uint32_t height) {
  v4l2_format f{};
  f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  f.fmt.pix.width = width;
  f.fmt.pix.height = height;
  f.fmt.pix.pixelformat = pixelFormat;
  f.fmt.pix.field = V4L2_FIELD_NONE;
  return io_.Ioctl(fd_, VIDIOC_S_FMT, &f) == 0 && ReadFormat() && Known(pixelFormat_);
}

std::vector<uint32_t> V4l2Driver::PixelFormats() const {
  std::vector<uint32_t> formats;
  v4l2_fmtdesc d{};
  d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (d.index = 0; io_.Ioctl(fd_, VIDIOC_ENUM_FMT, &d) == 0; ++d.index)
    formats.push_back(d.pixelformat);
  return formats;
}

std::vector<std::pair<uint32_t, uint32_t>> V4l2Driver::FrameSizes(uint32_t pixelFormat) const {
  std::vector<std::pair<uint32_t, uint32_t>> sizes;
  v4l2_frmsizeenum s{};
  s.pixel_format = pixelFormat;
  for (s.index = 0; io_.Ioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &s) == 0; ++s.index) {
    if (s.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      sizes.emplace_back(s.discrete.width, s.discrete.height);
    } else {  // a range: offer the common sizes inside it
      for (auto [w, h] : {std::pair{320u, 240u}, {640u, 480u}, {1280u, 720u}, {1920u, 1080u}})
        if (w >= s.stepwise.min_width && w <= s.stepwise.max_width && h >= s.stepwise.min_height &&
            h <= s.stepwise.max_height)
          sizes.emplace_back(w, h);
      break;
    }
  }
  return sizes;
}

std::vector<std::pair<uint32_t, uint32_t>> V4l2Driver::FrameIntervals(uint32_t pixelFormat,
                                                                      uint32_t width,
                                                                      uint32_t height) const {
  std::vector<std::pair<uint32_t, uint32_t>> intervals;
  v4l2_frmivalenum i{};
  i.pixel_format = pixelFormat;
  i.width = width;
  i.height = height;
  for (i.index = 0; io_.Ioctl(fd_, VIDIOC_ENUM_FRAMEINTERVALS, &i) == 0; ++i.index) {
    if (i.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;  // a range: the camera keeps its own
    if (i.discrete.numerator > 0 && i.discrete.denominator > 0)
      intervals.emplace_back(i.discrete.numerator, i.discrete.denominator);
  }
  return intervals;
}

bool V4l2Driver::StartStreaming() {
  if (fd_ < 0) return false;
  v4l2_requestbuffers request{};
  request.count = kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (io_.Ioctl(fd_, VIDIOC_REQBUFS, &request) != 0 || request.count == 0) return false;
  for (uint32_t i = 0; i < request.count; ++i) {
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    b.index = i;
    if (io_.Ioctl(fd_, VIDIOC_QUERYBUF, &b) != 0) {
      StopStreaming();
      return false;
    }
    void* address = io_.Mmap(b.length, fd_, static_cast<off_t>(b.m.offset));
    if (address == MAP_FAILED) {
      StopStreaming();
      return false;
    }
    buffers_.push_back({address, b.length});
    if (io_.Ioctl(fd_, VIDIOC_QBUF, &b) != 0) {
      StopStreaming();
      return false;
    }
  }
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (io_.Ioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
    StopStreaming();
    return false;
  }
  lastFrameMs_ = SteadyMillis();
  errorFrames_ = 0;
  return true;
}

void V4l2Driver::StopStreaming() {
  if (buffers_.empty()) return;
  int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  io_.Ioctl(fd_, VIDIOC_STREAMOFF, &type);
  for (const auto& b : buffers_) io_.Munmap(b.address, b.length);
  buffers_.clear();
  v4l2_requestbuffers release{};
  release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  release.memory = V4L2_MEMORY_MMAP;
  io_.Ioctl(fd_, VIDIOC_REQBUFS, &release);
}

FrameResult V4l2Driver::Lost() {
  Close();
  return FrameResult::Gone;
}

FrameResult V4l2Driver::NextFrame(std::vector<uint8_t>& frame, int ms) {
  if (buffers_.empty()) return FrameResult::Gone;
  auto silent = [this] {
    return SteadyMillis() - lastFrameMs_ > kSilenceLimitMs ? Lost() : FrameResult::Timeout;
  };
  int ready = io_.Poll(fd_, ms);
  if (ready < 0 || ready & (POLLERR | POLLHUP)) return Lost();
  if (ready == 0) return silent();
  v4l2_buffer b{};
  b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  b.memory = V4L2_MEMORY_MMAP;
  if (io_.Ioctl(fd_, VIDIOC_DQBUF, &b) != 0)
    return errno == EAGAIN || !IsDeviceGone(errno) ? silent() : Lost();
  if (b.index >= buffers_.size()) return Lost();
  size_t used = std::min<size_t>(b.bytesused, buffers_[b.index].length);
  const auto* data = static_cast<const uint8_t*>(buffers_[b.index].address);
  frame.assign(data, data + used);
  bool corrupt = b.flags & V4L2_BUF_FLAG_ERROR;
  if (io_.Ioctl(fd_, VIDIOC_QBUF, &b) != 0 && IsDeviceGone(errno)) return Lost();
  if (corrupt) return ++errorFrames_ >= kErrorFramesLimit ? Lost() : silent();
  errorFrames_ = 0;
  lastFrameMs_ = SteadyMillis();
  return FrameResult::Frame;
}

bool V4l2Driver::Reconnect() {
  const uint32_t pixelFormat = pixelFormat_;
  const auto width = static_cast<uint32_t>(format_.biWidth);
  const auto height = static_cast<uint32_t>(format_.biHeight);
  Close();
  // Absent, busy or not yet permitted: the next look tries again.
  std::string found;
  ScanCaptureDevices(io_, [&](const std::string& path, const v4l2_capability& cap) {
    if (name_ == reinterpret_cast<const char*>(cap.card) &&
        busInfo_ == reinterpret_cast<const char*>(cap.bus_info))
      found = path;
    return found.empty();
  });
  if (found.empty()) return false;
  path_ = found;
  if (!Open()) return false;
  SetAgain();
  if ((pixelFormat_ != pixelFormat || static_cast<uint32_t>(format_.biWidth) != width ||
       static_cast<uint32_t>(format_.biHeight) != height) &&
      !SetFormat(pixelFormat, width, height)) {
    Close();
    return false;
  }
  if (!StartStreaming()) {
    Close();
    return false;
  }
  return true;
}

DriverDialog V4l2Driver::Dialog(DialogKind kind) const {
  // The source's controls are Controls(), shown by a dialog of their own.
  if (kind == DialogKind::Source) return {name_ + " - Video Source", {}};
  DriverSetting formats{"Pixel format", {}, 0}, sizes{"Size", {}, 0};
  for (uint32_t f : PixelFormats()) {
    if (const PixelFormat* known = Known(f)) {
      if (f == pixelFormat_) formats.current = static_cast<int>(formats.choices.size());
      formats.choices.push_back(known->label);
    }
  }
  for (auto [w, h] : FrameSizes(pixelFormat_)) {
    if (static_cast<int32_t>(w) == format_.biWidth && static_cast<int32_t>(h) == format_.biHeight)
      sizes.current = static_cast<int>(sizes.choices.size());
    sizes.choices.push_back(SizeLabel(w, h));
  }
  DriverDialog dialog{name_ + " - Video Format", {sizes, formats}};
  // The frame rates of the size shown, when the camera lists them.
  auto intervals = FrameIntervals(pixelFormat_, static_cast<uint32_t>(format_.biWidth),
                                  static_cast<uint32_t>(format_.biHeight));
  if (!intervals.empty()) {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const bool known = io_.Ioctl(fd_, VIDIOC_G_PARM, &parm) == 0;
    const auto& now = parm.parm.capture.timeperframe;
    DriverSetting rates{"Frame rate", {}, 0};
    for (auto [numerator, denominator] : intervals) {
      if (known && uint64_t{numerator} * now.denominator == uint64_t{now.numerator} * denominator)
        rates.current = static_cast<int>(rates.choices.size());
      char label[32];
      std::snprintf(label, sizeof label, "%g fps", static_cast<double>(denominator) / numerator);
      rates.choices.push_back(label);
    }
    dialog.settings.push_back(std::move(rates));
  }
  return dialog;
}

bool V4l2Driver::Apply(DialogKind kind, const std::vector<int>& choices) {
  if (kind == DialogKind::Source) return false;
  std::vector<uint32_t> known;
  for (uint32_t f : PixelFormats())
    if (Known(f)) known.push_back(f);
  if (choices.size() < 2 || choices.size() > 3 || choices[1] < 0 ||
      choices[1] >= static_cast<int>(known.size()))
    return false;
  // The rates the dialog showed were those of the size it started with.
  const auto intervals = FrameIntervals(pixelFormat_, static_cast<uint32_t>(format_.biWidth),
                                        static_cast<uint32_t>(format_.biHeight));
  uint32_t pixelFormat = known[static_cast<size_t>(choices[1])];
  // The sizes the dialog showed were those of the format it started with;
  // the driver picks the nearest one the new format has.
  auto sizes = FrameSizes(pixelFormat_);
  std::pair<uint32_t, uint32_t> size{static_cast<uint32_t>(format_.biWidth),
                                     static_cast<uint32_t>(format_.biHeight)};
  if (choices[0] >= 0 && choices[0] < static_cast<int>(sizes.size())) size = sizes[choices[0]];
  if (!SetFormat(pixelFormat, size.first, size.second)) return false;
  if (choices.size() == 3 && choices[2] >= 0 && choices[2] < static_cast<int>(intervals.size())) {
    // A camera that can't set the rate keeps its own.
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = intervals[static_cast<size_t>(choices[2])].first;
    parm.parm.capture.timeperframe.denominator = intervals[static_cast<size_t>(choices[2])].second;
    io_.Ioctl(fd_, VIDIOC_S_PARM, &parm);
  }
  return true;
}

std::vector<CameraControl> V4l2Driver::Controls() {
  MutexLock lock(fdLock_);
  std::vector<CameraControl> controls;
  if (fd_ < 0) return controls;
  v4l2_query_ext_ctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (io_.Ioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
    const uint32_t id = query.id;
    CameraControl control;
    control.id = id;
    control.name = query.name;
    control.minimum = static_cast<int32_t>(query.minimum);
    control.maximum = static_cast<int32_t>(query.maximum);
    control.step = std::max<int32_t>(1, static_cast<int32_t>(query.step));
    control.defaultValue = static_cast<int32_t>(query.default_value);
    control.readOnly = query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED);
    control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
    control.leads = (query.flags & V4L2_CTRL_FLAG_UPDATE) || IsAuto(id);
    bool shown = !(query.flags & V4L2_CTRL_FLAG_DISABLED);
    switch (query.type) {
      case V4L2_CTRL_TYPE_INTEGER:
        control.kind = CameraControl::Kind::kInteger;
        break;
      case V4L2_CTRL_TYPE_BOOLEAN:
        control.kind = CameraControl::Kind::kBoolean;
        break;
      case V4L2_CTRL_TYPE_MENU:
      case V4L2_CTRL_TYPE_INTEGER_MENU: {
        const bool integers = query.type == V4L2_CTRL_TYPE_INTEGER_MENU;
        control.kind = integers ? CameraControl::Kind::kIntegerMenu : CameraControl::Kind::kMenu;
        for (int64_t index = query.minimum; index <= query.maximum && index - query.minimum < 256;
             ++index) {
          v4l2_querymenu item{};
          item.id = id;
          item.index = static_cast<uint32_t>(index);
          if (io_.Ioctl(fd_, VIDIOC_QUERYMENU, &item) != 0) continue;  // a gap in the menu
          control.items.emplace_back(static_cast<int32_t>(index),
                                     integers ? std::to_string(item.value)
                                              : std::string(reinterpret_cast<char*>(item.name)));
        }
        break;
      }
      case V4L2_CTRL_TYPE_BUTTON:
        control.kind = CameraControl::Kind::kButton;
        break;
      case V4L2_CTRL_TYPE_CTRL_CLASS:
        control.kind = CameraControl::Kind::kHeading;
        break;
      default:
        shown = false;  // 64-bit, string and compound controls: not for this dialog
    }
    const bool hasValue = control.kind != CameraControl::Kind::kButton &&
                          control.kind != CameraControl::Kind::kHeading &&
                          !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY);
    if (shown && hasValue) {
      v4l2_control value{id, 0};
      if (io_.Ioctl(fd_, VIDIOC_G_CTRL, &value) == 0) {
        control.value = value.value;
      } else {
        control.value = control.defaultValue;
      }
    }
    if (shown) controls.push_back(std::move(control));
    query = v4l2_query_ext_ctrl{};
    query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  return controls;
}

bool V4l2Driver::SetControl(uint32_t id, int32_t value) {
  MutexLock lock(fdLock_);
  if (fd_ < 0) return false;
  v4l2_queryctrl query{};
  query.id = id;
  if (io_.Ioctl(fd_, VIDIOC_QUERYCTRL, &query) != 0) return false;
  v4l2_control set{id, value};
  if (io_.Ioctl(fd_, VIDIOC_S_CTRL, &set) != 0) return false;
  // A button acts once; a value is the camera's until it forgets it.
  if (query.type == V4L2_CTRL_TYPE_BUTTON) return true;
  std::erase_if(set_, [&](const SetValue& earlier) { return earlier.id == id; });
  set_.push_back({id, value, (query.flags & V4L2_CTRL_FLAG_UPDATE) != 0 || IsAuto(id)});
  return true;
}

void V4l2Driver::SetAgain() {
  MutexLock lock(fdLock_);
  for (bool leads : {true, false})
    for (const SetValue& value : set_) {
      if (value.leads != leads) continue;
      v4l2_control set{value.id, value.value};
      io_.Ioctl(fd_, VIDIOC_S_CTRL, &set);  // one it refuses now is skipped
    }
}

std::string V4l2Driver::FormatText() const {
  std::string text(reinterpret_cast<const char*>(&pixelFormat_), 4);
  text += " " + std::to_string(format_.biWidth) + "x" + std::to_string(format_.biHeight);
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (fd_ >= 0 && io_.Ioctl(fd_, VIDIOC_G_PARM, &parm) == 0 &&
      parm.parm.capture.timeperframe.denominator != 0)
    text += " " + std::to_string(parm.parm.capture.timeperframe.numerator) + "/" +
            std::to_string(parm.parm.capture.timeperframe.denominator);
  return text;
}

bool V4l2Driver::SetFormatText(const std::string& text) {
  char fourcc[5] = {};
  unsigned width = 0, height = 0, numerator = 0, denominator = 0;
  const int read = std::sscanf(text.c_str(), "%4c %ux%u %u/%u", fourcc, &width, &height, &numerator,
                               &denominator);
  if (read < 3 || fd_ < 0) return false;
  uint32_t pixelFormat = 0;
  std::memcpy(&pixelFormat, fourcc, 4);
  const auto offered = PixelFormats();
  if (!Known(pixelFormat) || std::ranges::find(offered, pixelFormat) == offered.end()) return false;
  if ((pixelFormat != pixelFormat_ || static_cast<uint32_t>(format_.biWidth) != width ||
       static_cast<uint32_t>(format_.biHeight) != height) &&
      !SetFormat(pixelFormat, width, height))
    return false;
  if (read == 5 && numerator > 0 && denominator > 0) {
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe = {numerator, denominator};
    io_.Ioctl(fd_, VIDIOC_S_PARM, &parm);  // a camera that can't keeps its own rate
  }
  return true;
}

}  // namespace platform
