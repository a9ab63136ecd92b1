#pragma once

#include <string_view>

namespace shell {
class MainFrame;
}

// The test host's remote control. When OWLGLANCE_TEST_DRIVER names a folder,
// the program takes commands from the FIFO "in" there, one a line: "menu ID"
// (answered "blocked menu ID" while a modal dialog is open, as the menu bar
// is then out of reach), "answer N", "status", "size", "shown", "close", and
// the dialog verbs of test_driver.cc. It writes what happens to "out":
// "ready" first, a line per command, and one per message box ("box
// CAPTION|TEXT"), which the driver answers instead of the user (OK unless an
// "answer" came first).

// Answers message boxes from the start; before the main window exists.
void StartTestDriver();
// Takes commands for `frame`.
void AttachTestDriver(shell::MainFrame& frame);
// True when the file "fail" in the driver's folder names `step` ("status
// bar", "capture window"): tests make the start fail there.
bool InjectedStartFailure(std::string_view step);
