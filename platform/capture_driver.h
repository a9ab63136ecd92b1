// Stands in for a Video for Windows capture driver. Promises a camera that
// reports its format, delivers frames one at a time at its own pace, and
// offers its format and source choices as data for a dialog to draw.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace platform {

// How many drivers the program offers (indexes 0 to 9); the list is cut there.
constexpr int kMaxDrivers = 10;

// FOURCCs of the capture formats, as a bitmap header's biCompression.
constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kFourccYuyv = FourCC('Y', 'U', 'Y', '2');
constexpr uint32_t kFourccUyvy = FourCC('U', 'Y', 'V', 'Y');
constexpr uint32_t kFourccNv12 = FourCC('N', 'V', '1', '2');
constexpr uint32_t kFourccYu12 = FourCC('I', '4', '2', '0');
constexpr uint32_t kFourccMjpeg = FourCC('M', 'J', 'P', 'G');
constexpr uint32_t kFourccRgbTopDown = FourCC('R', 'G', 'B', '3');  // V4L2's RGB24
constexpr uint32_t kFourccBgrTopDown = FourCC('B', 'G', 'R', '3');  // V4L2's BGR24

// One setting of a driver dialog: its name, its choices and the current one.
struct DriverSetting {
  std::string name;
  std::vector<std::string> choices;
  int current = 0;
};

// What a driver's format or source dialog shows.
struct DriverDialog {
  std::string title;
  std::vector<DriverSetting> settings;
};

enum class DialogKind { Format, Source };

// One control a camera offers, as the Video Source dialog shows it.
struct CameraControl {
  enum class Kind { kInteger, kBoolean, kMenu, kIntegerMenu, kButton, kHeading };
  uint32_t id = 0;
  Kind kind = Kind::kInteger;
  std::string name;
  int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
  std::vector<std::pair<int32_t, std::string>> items;  // a menu's values and labels
  bool readOnly = false;
  bool inactive = false;  // set aside while an automatic control rules it
  bool leads = false;     // an automatic mode: others' state follows it, so it is set first
};

// Result of waiting for a frame.
enum class FrameResult { Frame, Timeout, Gone };

// Used by the capture window's thread only, except Name and Version.
class CaptureDriver {
 public:
  virtual ~CaptureDriver() = default;
  virtual std::string Name() const = 0;
  virtual std::string Version() const = 0;

  virtual bool Open() = 0;
  virtual void Close() = 0;
  // The current capture format; biSizeImage holds the bytes of one frame.
  virtual BitmapInfoHeader Format() const = 0;

  virtual bool StartStreaming() = 0;
  virtual void StopStreaming() = 0;
  // Waits up to `ms` for the next frame and copies it into `frame`.
  virtual FrameResult NextFrame(std::vector<uint8_t>& frame, int ms) = 0;

  // A camera that can go away and come back: after NextFrame said Gone, it
  // looks for the same camera again and, when it is back, opens it with the
  // format it had and streams. False while it is still away.
  virtual bool CanReturn() const { return false; }
  virtual bool Reconnect() { return false; }

  virtual DriverDialog Dialog(DialogKind kind) const = 0;
  // Applies the choices a dialog returned, one index per setting.
  virtual bool Apply(DialogKind kind, const std::vector<int>& choices) = 0;

  // The camera's controls, under the headings of their classes, as they
  // stand now. These two may run while another thread takes frames.
  virtual std::vector<CameraControl> Controls() { return {}; }
  // Sets one control; false when the camera refused it.
  virtual bool SetControl(uint32_t /*id*/, int32_t /*value*/) { return false; }

  // A name that finds this camera again after a restart or an unplug.
  virtual std::string StableName() const { return Name(); }
  // The format, size and frame rate chosen, as a line to keep; and back,
  // false when the camera can't take it (nothing changes then).
  virtual std::string FormatText() const { return {}; }
  virtual bool SetFormatText(const std::string& /*text*/) { return false; }
};

}  // namespace platform
