#include "platform/test_pattern.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/frame_writer.h"

namespace platform {

namespace {

struct Size {
  int width, height;
  const char* label;
};
constexpr Size kSizes[] = {{320, 240, "320 x 240"},
                           {640, 480, "640 x 480"},
                           {1280, 720, "1280 x 720"},
                           {1920, 1080, "1920 x 1080"}};
constexpr auto kFrameInterval = std::chrono::microseconds(33333);

// A 5 x 7 font for the captions: one byte per row, the low five bits.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {':', {0, 12, 12, 0, 12, 12, 0}},    {'A', {14, 17, 17, 31, 17, 17, 17}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'E', {31, 16, 16, 30, 16, 16, 31}},
    {'F', {31, 16, 16, 30, 16, 16, 16}}, {'G', {14, 17, 16, 23, 17, 17, 15}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'R', {30, 17, 17, 30, 20, 18, 17}}, {'S', {15, 16, 16, 14, 1, 1, 30}},
    {'T', {31, 4, 4, 4, 4, 4, 4}},       {'U', {17, 17, 17, 17, 17, 17, 14}},
    {'W', {17, 17, 17, 21, 21, 21, 10}},
};

const uint8_t* GlyphRows(char c) {
  for (const auto& g : kFont)
    if (g.c == c) return g.rows;
  return nullptr;  // a space
}

void Fill(std::vector<uint8_t>& bgr, int width, int x0, int y0, int w, int h,
          const uint8_t color[3]) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      std::memcpy(&bgr[(static_cast<size_t>(y) * width + x) * 3], color, 3);
}

// Draws `text` with its top left at x, y, each font pixel `scale` wide.
void DrawText(std::vector<uint8_t>& bgr, int width, int height, int x, int y, int scale,
              const char* text, const uint8_t color[3]) {
  for (; *text; ++text, x += 6 * scale) {
    const uint8_t* rows = GlyphRows(*text);
    if (!rows) continue;
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 5; ++c)
        if (rows[r] & (16 >> c) && x + (c + 1) * scale <= width && y + (r + 1) * scale <= height)
          Fill(bgr, width, x + c * scale, y + r * scale, scale, scale, color);
  }
}

}  // namespace

TestPatternDriver::TestPatternDriver(std::string name) : name_(std::move(name)) { Resize(); }

BitmapInfoHeader TestPatternDriver::Format() const {
  BitmapInfoHeader h;
  h.biWidth = kSizes[sizeIndex_].width;
  h.biHeight = kSizes[sizeIndex_].height;
  h.biBitCount = pixelFormat_ == kYuyv ? 16 : 24;
  h.biCompression = pixelFormat_ == kYuyv  ? kFourccYuyv
                    : pixelFormat_ == kRgb ? kBiRgb
                                           : kFourccMjpeg;
  h.biSizeImage = static_cast<uint32_t>(BitmapStride(h.biWidth, h.biBitCount) * h.biHeight);
  return h;
}

bool TestPatternDriver::StartStreaming() {
  start_ = std::chrono::steady_clock::now();
  frameIndex_ = 0;
  return true;
}

void TestPatternDriver::Resize() {
  drawnPattern_ = pattern_.load();
  const int width = kSizes[sizeIndex_].width, height = kSizes[sizeIndex_].height;
  background_.assign(static_cast<size_t>(width) * height * 3, 0);
  // 75 % bars: white, yellow, cyan, green, magenta, red, blue (as BGR).
  static const uint8_t kBars[7][3] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                                      {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};
  const int barsHeight = height * 2 / 3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &background_[(static_cast<size_t>(y) * width + x) * 3];
      if (drawnPattern_ == 0 && y < barsHeight) {
        std::memcpy(p, kBars[x * 7 / width], 3);
      } else if (y < barsHeight) {
        p[0] = p[1] = p[2] = static_cast<uint8_t>(x * 255 / (width - 1));
      } else {
        // The lower third: a deep night blue, lighter toward the bottom.
        int shade = 20 + 30 * (y - barsHeight) / (height - barsHeight);
        p[0] = static_cast<uint8_t>(shade + 40);
        p[1] = static_cast<uint8_t>(shade + 10);
        p[2] = static_cast<uint8_t>(shade);
      }
    }
  }
  static const uint8_t kCaption[3] = {75, 184, 242};  // owl amber
  int scale = std::max(1, width / 320);
  DrawText(background_, width, height, 8 * scale, barsHeight + 6 * scale, scale,
           "OWLGLANCE TEST PATTERN", kCaption);
  bgr_.resize(background_.size());
}

void TestPatternDriver::Render(uint64_t index, std::vector<uint8_t>& bgr) {
  if (drawnPattern_ != pattern_.load()) Resize();
  const int width = kSizes[sizeIndex_].width, height = kSizes[sizeIndex_].height;
  const int scale = std::max(1, width / 320);
  bgr = background_;
  // A ball that bounces across the lower third, once every four seconds.
  const int barsHeight = height * 2 / 3, radius = 10 * scale;
  const int travel = width - 2 * radius;
  int phase = static_cast<int>(index % 120), x = phase < 60 ? phase : 120 - phase;
  const int cx = radius + travel * x / 60, cy = barsHeight + (height - barsHeight) * 2 / 3;
  for (int y = cy - radius; y <= cy + radius; ++y)
    for (int px = cx - radius; px <= cx + radius; ++px) {
      int dx = px - cx, dy = y - cy;
      if (dx * dx + dy * dy > radius * radius || px < 0 || px >= width || y >= height) continue;
      uint8_t* p = &bgr[(static_cast<size_t>(y) * width + px) * 3];
      p[0] = 60;
      p[1] = 200;
      p[2] = 250;
    }
  // The frame counter and the time of day.
  if (showClock_) {
    char text[48];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::snprintf(text, sizeof text, "FRAME %06llu  %02d:%02d:%02d",
                  static_cast<unsigned long long>(index % 1000000), local.tm_hour, local.tm_min,
                  local.tm_sec);
    static const uint8_t kWhite[3] = {235, 235, 235};
    DrawText(bgr, width, height, 8 * scale, barsHeight + 18 * scale, scale, text, kWhite);
  }
  // Brightness and contrast around the middle grey, through a table.
  const int brightness = brightness_.load(), contrast = contrast_.load();
  if (brightness != 0 || contrast != 100) {
    uint8_t table[256];
    for (int v = 0; v < 256; ++v)
      table[v] =
          static_cast<uint8_t>(std::clamp((v - 128) * contrast / 100 + 128 + brightness, 0, 255));
    for (uint8_t& byte : bgr) byte = table[byte];
  }
}

FrameResult TestPatternDriver::NextFrame(std::vector<uint8_t>& frame, int ms) {
  auto due = start_ + kFrameInterval * static_cast<int64_t>(frameIndex_);
  auto now = std::chrono::steady_clock::now();
  if (due - now > std::chrono::milliseconds(ms)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return FrameResult::Timeout;
  }
  if (due > now) std::this_thread::sleep_until(due);
  // A consumer that fell behind skips frames instead of bursting.
  if (now - due > kFrameInterval * 2)
    frameIndex_ = static_cast<uint64_t>((now - start_) / kFrameInterval);
  Render(frameIndex_++, bgr_);
  // Written as a camera of this format would send it.
  return WriteCaptureFrame(Format(), bgr_, frame) ? FrameResult::Frame : FrameResult::Timeout;
}

DriverDialog TestPatternDriver::Dialog(DialogKind kind) const {
  if (kind == DialogKind::Format) {
    DriverSetting size{"Size", {}, sizeIndex_};
    for (const auto& s : kSizes) size.choices.push_back(s.label);
    return {"Video Format",
            {size,
             {"Pixel format",
              {"YUYV 4:2:2", "RGB 24-bit", "Motion-JPEG"},
              static_cast<int>(pixelFormat_)}}};
  }
  return {"Video Source", {}};  // the source's are Controls()
}

bool TestPatternDriver::Apply(DialogKind kind, const std::vector<int>& choices) {
  if (kind == DialogKind::Format) {
    if (choices.size() != 2 || choices[0] < 0 || choices[0] > 3 || choices[1] < 0 || choices[1] > 2)
      return false;
    sizeIndex_ = choices[0];
    pixelFormat_ = static_cast<PixelFormat>(choices[1]);
  } else {
    return false;
  }
  Resize();
  return true;
}

std::vector<CameraControl> TestPatternDriver::Controls() {
  using Kind = CameraControl::Kind;
  auto control = [](uint32_t id, Kind kind, const char* name, int32_t minimum, int32_t maximum,
                    int32_t defaultValue, int32_t value) {
    CameraControl c;
    c.id = id;
    c.kind = kind;
    c.name = name;
    c.minimum = minimum;
    c.maximum = maximum;
    c.defaultValue = defaultValue;
    c.value = value;
    return c;
  };
  std::vector<CameraControl> controls = {
      control(kPatternControls, Kind::kHeading, "Test Pattern Controls", 0, 0, 0, 0),
      control(kPatternBrightness, Kind::kInteger, "Brightness", -64, 64, 0, brightness_),
      control(kPatternContrast, Kind::kInteger, "Contrast", 0, 200, 100, contrast_),
      control(kPatternShowClock, Kind::kBoolean, "Show clock", 0, 1, 1, showClock_ ? 1 : 0),
      control(kPatternChoice, Kind::kMenu, "Pattern", 0, 1, 0, pattern_),
  };
  controls.back().items = {{0, "Colour bars"}, {1, "Grey ramp"}};
  return controls;
}

bool TestPatternDriver::SetControl(uint32_t id, int32_t value) {
  switch (id) {
    case kPatternBrightness:
      if (value < -64 || value > 64) return false;
      brightness_ = value;
      return true;
    case kPatternContrast:
      if (value < 0 || value > 200) return false;
      contrast_ = value;
      return true;
    case kPatternShowClock:
      if (value < 0 || value > 1) return false;
      showClock_ = value == 1;
      return true;
    case kPatternChoice:
      if (value < 0 || value > 1) return false;
      pattern_ = value;
      return true;
    default:
      return false;
  }
}

std::string TestPatternDriver::FormatText() const {
  const char* fourcc = pixelFormat_ == kYuyv ? "YUYV" : pixelFormat_ == kRgb ? "RGB3" : "MJPG";
  return std::string(fourcc) + " " + std::to_string(kSizes[sizeIndex_].width) + "x" +
         std::to_string(kSizes[sizeIndex_].height);
}

bool TestPatternDriver::SetFormatText(const std::string& text) {
  constexpr const char* kFourccs[] = {"YUYV", "RGB3", "MJPG"};
  for (int format = 0; format < 3; ++format)
    for (int size = 0; size < 4; ++size) {
      const std::string line = std::string(kFourccs[format]) + " " +
                               std::to_string(kSizes[size].width) + "x" +
                               std::to_string(kSizes[size].height);
      if (text != line) continue;
      sizeIndex_ = size;
      pixelFormat_ = static_cast<PixelFormat>(format);
      Resize();
      return true;
    }
  return false;
}

void DrawNoCamera(int width, int height, const std::string& since, std::vector<uint8_t>& bgr) {
  bgr.assign(static_cast<size_t>(width) * height * 3, 0);
  for (size_t i = 0; i < bgr.size(); i += 3) {
    bgr[i] = 50;
    bgr[i + 1] = 28;
    bgr[i + 2] = 22;
  }
  static const uint8_t kCaption[3] = {75, 184, 242};  // owl amber
  static const uint8_t kWhite[3] = {235, 235, 235};
  const int scale = std::max(1, width / 320);
  const char kTitle[] = "NO CAMERA";
  const int big = 4 * scale, titleWidth = static_cast<int>(sizeof kTitle - 1) * 6 * big;
  DrawText(bgr, width, height, std::max(0, (width - titleWidth) / 2), height / 2 - 10 * big, big,
           kTitle, kCaption);
  const std::string line = "SINCE " + since;
  const int lineWidth = static_cast<int>(line.size()) * 6 * 2 * scale;
  DrawText(bgr, width, height, std::max(0, (width - lineWidth) / 2), height / 2 + 2 * big,
           2 * scale, line.c_str(), kWhite);
}

}  // namespace platform
