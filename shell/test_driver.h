#pragma once

class MainFrame;

// When OWLGLANCE_TEST_DRIVER names a folder, the program takes commands from
// the FIFO "in" there (one a line: "menu ID", "answer N", "status", "size",
// "close", and the dialog verbs of test_driver.cc) and writes what happens to "out": a line per
// command, and one per message box ("box CAPTION|TEXT"), which the driver answers instead of the
// user (OK unless an "answer" came first). Tests drive the real program so.
void StartTestDriver(MainFrame& frame);
