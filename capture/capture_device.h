#pragma once

#include "capture/frame_store.h"

// The system's one camera. Its operations run on the user-interface thread;
// its frame store is shared with the capture thread and the streams.
class CaptureDevice {
 public:
  FrameStore frameStore;
};
