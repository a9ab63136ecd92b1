// Stands in for a console's line input: standard input read a line at a
// time, with the echo switched off while a password is typed on a
// terminal (and back on afterwards, whatever happens).
#pragma once

#include <string>

namespace platform {

// True when standard input is a terminal.
bool InputIsTerminal();

// Reads one line from standard input, without its line end; `hidden`
// switches the terminal's echo off while it is typed. False at the end of
// the input.
bool ReadInputLine(std::string& line, bool hidden);

}  // namespace platform
