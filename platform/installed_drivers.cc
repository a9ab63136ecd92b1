#include "platform/installed_drivers.h"

#include <atomic>
#include <cstdlib>
#include <sstream>

#include "platform/test_pattern.h"
#include "platform/v4l2_driver.h"

namespace platform {

namespace {

// One entry of OWLGLANCE_DRIVERS: "v4l2", "pattern", "pattern@WxH" or
// "pattern@WxH:mjpeg" (the pattern as a Motion-JPEG camera).
void AddListed(const std::string& entry, std::vector<std::unique_ptr<CaptureDriver>>& drivers) {
  if (entry == "v4l2") {
    for (auto& driver : ListV4l2Drivers(SystemV4l2Io())) drivers.push_back(std::move(driver));
  } else if (entry == "pattern") {
    drivers.push_back(std::make_unique<TestPatternDriver>());
  } else if (entry.rfind("pattern@", 0) == 0) {
    std::string size = entry.substr(8);
    const bool mjpeg = size.size() > 6 && size.compare(size.size() - 6, 6, ":mjpeg") == 0;
    if (mjpeg) size.resize(size.size() - 6);
    auto pattern = std::make_unique<TestPatternDriver>("Owlglance Test Pattern " + size);
    const DriverSetting sizes = pattern->Dialog(DialogKind::Format).settings.at(0);
    for (size_t i = 0; i < sizes.choices.size(); ++i) {
      std::string label = sizes.choices[i];  // "320 x 240"
      std::erase(label, ' ');
      if (label == size) pattern->Apply(DialogKind::Format, {static_cast<int>(i), mjpeg ? 2 : 0});
    }
    drivers.push_back(std::move(pattern));
  }
}

std::vector<std::unique_ptr<CaptureDriver>> EnvironmentDrivers() {
  const char* listed = std::getenv(kDriverListVariable);
  std::vector<std::unique_ptr<CaptureDriver>> drivers;
  std::istringstream entries(listed ? listed : "v4l2,pattern");
  for (std::string entry; std::getline(entries, entry, ',');) AddListed(entry, drivers);
  return drivers;
}

std::atomic<DriverListSource> driverSource{EnvironmentDrivers};

}  // namespace

std::vector<std::unique_ptr<CaptureDriver>> InstalledDrivers() {
  auto drivers = driverSource.load()();
  if (drivers.size() > kMaxDrivers) drivers.resize(kMaxDrivers);
  return drivers;
}

std::vector<int> CamerasToServe() {
  const auto drivers = InstalledDrivers();
  const bool named = std::getenv(kDriverListVariable) != nullptr;
  std::vector<int> cameras, patterns;
  for (size_t i = 0; i < drivers.size(); ++i) {
    const bool pattern = dynamic_cast<const TestPatternDriver*>(drivers[i].get()) != nullptr;
    (pattern && !named ? patterns : cameras).push_back(static_cast<int>(i));
  }
  return cameras.empty() ? patterns : cameras;
}

void SetDriverListSource(DriverListSource source) {
  driverSource.store(source ? source : EnvironmentDrivers);
}

}  // namespace platform
