#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

class CaptureDevice;

// The driver selection dialog's list: the name of each installed driver,
// asked for by index 0 to 9 with 80-character buffers, in index order.
std::vector<std::string> DriverNames();

// The dialog's OK: the chosen list position becomes the driver index as it
// is (-1 when nothing was chosen), and the device reconnects to it, also
// when it is the driver in use.
void ChooseDriver(int position, uint32_t& driver, CaptureDevice& device);

}  // namespace capture
