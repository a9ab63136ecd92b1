#pragma once

#include <memory>
#include <vector>

#include "platform/capture_driver.h"

namespace platform {

// The installed drivers, in index order: each V4L2 capture device, then the
// built-in test pattern. At most kMaxDrivers.
std::vector<std::unique_ptr<CaptureDriver>> InstalledDrivers();

// The drivers to serve at once, by index: every camera, and the built-in
// test pattern only when there is none (or when OWLGLANCE_DRIVERS names the
// list: then each driver it names).
std::vector<int> CamerasToServe();

// Names the drivers instead, for tests that must not see the machine's own
// cameras: a comma-separated list of "v4l2" (the machine's capture devices),
// "pattern" and "pattern@WIDTHxHEIGHT" (a test pattern of that size); empty
// for no driver at all.
constexpr char kDriverListVariable[] = "OWLGLANCE_DRIVERS";

// In-process tests replace the list; nullptr restores the one above.
using DriverListSource = std::vector<std::unique_ptr<CaptureDriver>> (*)();
void SetDriverListSource(DriverListSource source);

}  // namespace platform
