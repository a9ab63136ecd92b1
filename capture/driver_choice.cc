#include "capture/driver_choice.h"

#include "capture/capture_device.h"
#include "platform/installed_drivers.h"

namespace capture {

std::vector<std::string> DriverNames() {
  std::vector<std::string> names;
  for (int index = 0; index < platform::kMaxDrivers; ++index) {
    char name[80], version[80];
    if (CaptureDevice::GetDriverDescription(index, name, sizeof name, version, sizeof version))
      names.push_back(name);
  }
  return names;
}

void ChooseDriver(int position, uint32_t& driver, CaptureDevice& device) {
  driver = static_cast<uint32_t>(position);
  // A driver that won't connect leaves none; lastError says why.
  static_cast<void>(device.Connect(position));
}

}  // namespace capture
