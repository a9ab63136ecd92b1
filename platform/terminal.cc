#include "platform/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace platform {

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool ReadInputLine(std::string& line, bool hidden) {
  termios before{};
  const bool quiet = hidden && InputIsTerminal() && ::tcgetattr(STDIN_FILENO, &before) == 0;
  if (quiet) {
    termios silent = before;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (quiet) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    std::fputs("\n", stderr);  // the Enter that was not echoed
  }
  if (read && !line.empty() && line.back() == '\r') line.pop_back();
  return read;
}

}  // namespace platform
