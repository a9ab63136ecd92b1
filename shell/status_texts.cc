#include "shell/status_texts.h"

namespace shell {

const char* PaneInitialText(int pane) {
  switch (pane) {
    case kPaneUsers:
      return "0 user(s) connected";
    case kPaneServer:
      return "Server Not Running";
    case kPaneRecording:
      return "";
    default:
      return "Not Previewing";
  }
}

std::string PaneText(int pane, int32_t connectedCount, int32_t serverRunning, bool previewing,
                     bool recording) {
  switch (pane) {
    case kPaneRecording:
      return recording ? kRecordingText : "";
    case kPaneUsers:
      return std::to_string(connectedCount) + " user(s) connected";
    case kPaneServer:
      return serverRunning == 1 ? "Server Running" : "Server Not Running";
    default:
      return previewing ? "Previewing" : "Not Previewing";
  }
}

}  // namespace shell
