#include "tests/support/scripted_camera.h"

#include <thread>

#include "platform/installed_drivers.h"

namespace {

ScriptedCamera* current = nullptr;

class ScriptedDriver : public platform::CaptureDriver {
 public:
  explicit ScriptedDriver(ScriptedCamera& camera) : camera_(camera) {}
  std::string Name() const override { return "Scripted camera"; }
  std::string Version() const override { return "Version: test"; }
  bool Open() override { return true; }
  void Close() override {}
  platform::BitmapInfoHeader Format() const override { return camera_.format; }
  bool StartStreaming() override {
    std::lock_guard lock(camera_.mutex);
    return !camera_.gone;
  }
  void StopStreaming() override {}
  platform::FrameResult NextFrame(std::vector<uint8_t>& frame, int ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 5)));
    std::lock_guard lock(camera_.mutex);
    if (camera_.gone) return platform::FrameResult::Gone;
    if (camera_.frames.empty()) return platform::FrameResult::Timeout;
    frame = std::move(camera_.frames.front());
    camera_.frames.pop_front();
    if (frame.empty()) {
      camera_.gone = true;
      return platform::FrameResult::Gone;
    }
    ++camera_.delivered;
    return platform::FrameResult::Frame;
  }
  platform::DriverDialog Dialog(platform::DialogKind) const override { return {}; }
  bool Apply(platform::DialogKind, const std::vector<int>&) override { return true; }

 private:
  ScriptedCamera& camera_;
};

std::vector<std::unique_ptr<platform::CaptureDriver>> ScriptedList() {
  std::vector<std::unique_ptr<platform::CaptureDriver>> drivers;
  drivers.push_back(std::make_unique<ScriptedDriver>(*current));
  return drivers;
}

}  // namespace

ScriptedCamera::ScriptedCamera(platform::BitmapInfoHeader f) : format(f) {
  current = this;
  platform::SetDriverListSource(ScriptedList);
}

ScriptedCamera::~ScriptedCamera() {
  platform::SetDriverListSource(nullptr);
  current = nullptr;
}

void ScriptedCamera::Queue(std::vector<uint8_t> frame) {
  std::lock_guard lock(mutex);
  frames.push_back(std::move(frame));
}

size_t ScriptedCamera::Delivered() const {
  std::lock_guard lock(mutex);
  return delivered;
}
