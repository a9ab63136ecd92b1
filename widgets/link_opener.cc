#include "widgets/link_opener.h"

#include "platform/launcher.h"
#include "platform/registry.h"

namespace widgets {

namespace {

constexpr size_t kCommandBuffer = 520;

const char* ErrorText(int code) {
  switch (code) {
    case 0:
      return "The operating system is out\nof memory or resources.";
    case 2:
      return "The specified file was not found.";
    case 3:
      return "The specified path was not found.";
    case 5:
      return "The operating system denied\naccess to the specified file.";
    case 8:
      return "There was not enough memory to complete the operation.";
    case 11:
      return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
      return "A sharing violation occurred. ";
    case 27:
      return "The filename association is\nincomplete or invalid.";
    case 28:
      return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
      return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
             "being processed.";
    case 31:
      return "There is no application associated\nwith the given filename extension.";
    case 32:
      return "The specified dynamic-link library was not found.";
    default:
      return nullptr;
  }
}

}  // namespace

bool FallbackCommand(const std::string& registered, const std::string& url, std::string& command) {
  size_t cut = registered.find("\"%1\"");
  if (cut == std::string::npos) cut = registered.find("%1");
  command = registered.substr(0, cut) + " " + url;
  return command.size() < kCommandBuffer;
}

bool ReadClassKeyDefault(const std::string& root, const std::string& subkey, std::string& value) {
  return root == "HKEY_CLASSES_ROOT" &&
         platform::ReadClassesRootDefault(subkey, value) == platform::ERROR_SUCCESS;
}

bool OpenLink(const std::string& url, int& failure) {
  failure = platform::OpenUrl(url);
  if (platform::Launched(failure)) return true;
  std::string htmlClass, registered, command;
  if (!ReadClassKeyDefault("HKEY_CLASSES_ROOT", ".htm", htmlClass) ||
      !ReadClassKeyDefault("HKEY_CLASSES_ROOT", htmlClass + "\\shell\\open\\command", registered) ||
      !FallbackCommand(registered, url, command))
    return false;
  failure = platform::RunCommandLine(command);
  return platform::Launched(failure);
}

std::string OpenErrorMessage(int failure) {
  const char* text = ErrorText(failure);
  return "Unable to open hyperlink:\n\n" +
         (text ? std::string(text) : "Unknown Error (" + std::to_string(failure) + ") occurred.");
}

}  // namespace widgets
