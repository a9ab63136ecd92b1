// Stands in for a capture driver's own format and source dialogs. Promises
// a modal dialog with one choice per setting of the driver's dialog data.
#pragma once

#include <wx/window.h>

#include "platform/capture_driver.h"

namespace platform {

// Shows `dialog` owned by `parent`; on OK the chosen indexes are in it and
// the result is true.
bool ShowDriverDialog(wxWindow* parent, DriverDialog& dialog);

}  // namespace platform
