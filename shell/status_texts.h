#pragma once

#include <cstdint>
#include <string>

namespace shell {

// The status bar's panes, by their string-table ids.
constexpr int kPaneUsers = 60000;
constexpr int kPaneServer = 60001;
constexpr int kPanePreview = 60002;
// Beyond the design: "Recording" while a recording runs, else empty.
constexpr int kPaneRecording = 60003;
constexpr char kRecordingText[] = "Recording";

// The text at creation (the string table) of each pane.
const char* PaneInitialText(int pane);

// The text a pane shows at each refresh.
std::string PaneText(int pane, int32_t connectedCount, int32_t serverRunning, bool previewing,
                     bool recording = false);

}  // namespace shell
