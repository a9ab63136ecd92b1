#pragma once

class MainFrame;

// The menu's commands: the design's id, the menu item's name in the XRC
// menu, and the handler.
struct Command {
  int id;
  const char* xrcName;
  void (MainFrame::*handler)();
};

extern const Command kCommands[12];
