// Stands in for MessageBox, callable from any thread. Promises a modal box
// that blocks only its caller and returns the user's answer; the service
// behind it is the GUI's, the console's, or a test's recording fake.
#pragma once

#include <string>

namespace platform {

// Buttons and icons, with the Windows values the design names.
constexpr int kMbOk = 0x00;
constexpr int kMbOkCancel = 0x01;
constexpr int kMbYesNo = 0x04;
constexpr int kMbIconError = 0x10;
constexpr int kMbIconQuestion = 0x20;
constexpr int kMbIconExclamation = 0x30;
constexpr int kMbIconInformation = 0x40;

// Answers.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows `text` under `caption` with the buttons and icon in `style`, and
  // returns the button chosen. Called from any thread.
  virtual int Show(const std::string& text, const std::string& caption, int style) = 0;
};

// Installs the process's service; nullptr restores the console one, which
// prints to standard error and answers OK (or Yes).
void SetMessageBoxService(MessageBoxService* service);

// Shows a box through the installed service. An empty caption shows the
// application's name, the executable's file name without its extension.
int ShowMessageBox(const std::string& text, const std::string& caption = {}, int style = kMbOk);

std::string ApplicationName();

}  // namespace platform
