// owlglance-server: the whole server without a window, for machines without
// a display. Configured by the registry file alone, like the desktop program;
// message boxes become lines on standard error.
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture_device.h"
#include "keep/keeper.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/running_mark.h"
#include "platform/thread.h"
#include "server/server_controller.h"
#include "settings/settings_store.h"
#include "share/home_page.h"
#include "share/share_links.h"
#include "shell/commands.h"
#include "shell/page_pictures.h"
#include "shell/server_options.h"
#include "station/station.h"

namespace {

void PrintUsage() {
  std::printf(
      "usage: owlglance-server [--help | --version | --set-password | --no-password |\n"
      "                         --access everyone|local|computer | --https on|off |\n"
      "                         --certificate CERT KEY | --certificate own]\n"
      "\n"
      "Streams every camera found as motion-JPEG (the chosen one at the stream URL,\n"
      "camera N at /cam/N/video) and serves the www/ folder of the working folder,\n"
      "without a window. The settings come from %s;\n"
      "SIGINT or SIGTERM stops the server; a change to the settings file, or SIGHUP,\n"
      "applies who may watch, the password, the client limit, the stream URL, the\n"
      "quality and the pictures kept at once (the port and HTTPS at the next start).\n"
      "\n"
      "  --set-password  asks for a user name and a password (or reads them, a line\n"
      "                  each, from standard input), saves the password's hash and ends\n"
      "  --no-password   asks no password any more\n"
      "  --access WHO    who may watch: everyone, the local network or this computer\n"
      "  --https on|off  HTTPS beside HTTP on the same port (on), or plain HTTP alone\n"
      "  --certificate CERT KEY\n"
      "                  serve HTTPS with this certificate (PEM, the chain behind it)\n"
      "                  and its key, read at every start; own: the server's own\n",
      platform::RegistryFile().c_str());
}

// The settings file as last seen: a save (a new file renamed over it) or an
// edit in place changes it.
struct FileStamp {
  ino_t inode = 0;
  int64_t modified = 0, size = -1;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {};
  return {status.st_ino, status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec,
          status.st_size};
}

// Waits for SIGINT or SIGTERM, printing what the server's threads have to
// say meanwhile and calling `reload` on SIGHUP or when the settings file
// changes; false when the listener ended on its own.
template <typename Reload>
bool WaitForStop(station::Station& station, const sigset_t& signals, Reload reload) {
  const std::string settingsFile = platform::RegistryFile();
  FileStamp seen = StampOf(settingsFile);
  FileStamp last = seen;
  const timespec step{0, 300 * 1000 * 1000};
  for (;;) {
    const int signal = ::sigtimedwait(&signals, nullptr, &step);
    if (signal == SIGINT || signal == SIGTERM) return true;
    const FileStamp now = StampOf(settingsFile);
    // A file renamed into place is whole; one written in place (an editor
    // saving, a shell's >) is read once it has held still for a step.
    const bool settled = now.inode != seen.inode || now == last;
    last = now;
    if (signal == SIGHUP || (now != seen && settled)) {
      seen = now;
      reload();
    }
    std::vector<std::string> notices = station.Server().TakeNotices();
    for (std::string& message : station.TakeKeeperStops().messages)
      notices.push_back(std::move(message));
    for (const std::string& notice : notices)
      platform::ShowMessageBox(notice, {}, platform::kMbOk | platform::kMbIconExclamation);
    if (station.Server().ListenerEnded()) return false;
  }
}

// A home page the server wrote, untouched since, shows the stream's address.
void FollowHomePage(const settings::ServerSettings& settings) {
  if (share::FollowHomePage(static_cast<int32_t>(settings.portnum), settings.camurl) ==
      share::PageFollows::kFollowed)
    std::fprintf(stderr, "owlglance-server: the home page, www/index.html, now shows %s\n",
                 settings.camurl.c_str());
}

// Without a home page, writes the one the wizard would write, for the
// first address a viewer elsewhere can reach (loopback comes last).
void WriteMissingHomePage(const std::vector<std::string>& addresses,
                          const settings::ServerSettings& settings, station::Station& station) {
  share::PictureSize picture;
  static_cast<void>(station.At(0).device.GetImageSize(picture.width, picture.height));
  const std::string address = addresses.empty() ? "127.0.0.1" : addresses.front();
  if (share::WriteMissingHomePage(address, static_cast<int32_t>(settings.portnum), settings.camurl,
                                  picture, shell::OtherPictures(station)))
    std::fprintf(stderr, "owlglance-server: wrote the home page, www/index.html, for %s\n",
                 share::BaseUrl(address, settings.portnum).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::printf("owlglance-server " OWL_VERSION "\n");
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--set-password") == 0) return shell::SetPasswordOption();
    if (argc == 2 && std::strcmp(argv[1], "--no-password") == 0) return shell::NoPasswordOption();
    if (argc == 3 && std::strcmp(argv[1], "--access") == 0) return shell::SetAccessOption(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--https") == 0) return shell::SetHttpsOption(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--certificate") == 0 && std::strcmp(argv[2], "own") == 0)
      return shell::SetCertificateOption("", "");
    if (argc == 4 && std::strcmp(argv[1], "--certificate") == 0)
      return shell::SetCertificateOption(argv[2], argv[3]);
    const bool help = std::strcmp(argv[1], "--help") == 0 && argc == 2;
    if (!help) std::fprintf(stderr, "owlglance-server: %s is not an option here\n", argv[1]);
    PrintUsage();
    return help ? 0 : 2;
  }
  settings::ServerSettings settings;
  const settings::SettingsFound found = settings::LoadSettings(settings);
  if (!found.Message().empty()) {
    std::fprintf(stderr, "owlglance-server: %s\n", found.Message().c_str());
  } else if (found.firstRun) {
    std::fprintf(stderr,
                 "owlglance-server: first run, using the default settings. The desktop "
                 "program's setup wizard writes the home page, www/index.html.\n");
  }

  // Until here SIGINT and SIGTERM end the program as they come. From here
  // they are taken by sigtimedwait on this thread, never by a worker: each
  // thread started below inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // Every camera comes back as it was chosen for it, in the desktop program
  // or here before. The chosen one is camera 0, at the stream URL as always;
  // every other one found is served too, as /cam/N/... (N from 1). Without
  // a camera StartServer fails and says so.
  station::Station station(settings);
  static_cast<void>(station.OpenChosen());
  station.OpenOthers();
  server::ServerController& controller = station.Server();
  // The port is bound before StartServer returns: a port that can't be had
  // has had its message, and nothing claims to serve.
  const server::StartResult started = controller.StartServer();
  if (started != server::StartResult::kStarted) {
    if (started == server::StartResult::kCameraNotStarted)
      platform::ShowMessageBox(shell::kStartFailedMessage, "Error", platform::kMbOk);
    return 1;
  }
  // Bound and serving: where it can be watched, one line an address.
  // Only this computer may connect: its loopback addresses are the ones to use.
  std::vector<std::string> addresses = share::ShareAddresses();
  if (settings.access == settings::kThisComputer)
    std::erase_if(addresses, [](const std::string& a) { return !a.starts_with("127."); });
  const std::string fingerprint = controller.Fingerprint();
  for (bool secure : {false, true}) {
    if (secure && fingerprint.empty()) break;
    for (const std::string& address : addresses) {
      share::ShareLinks links = share::LinksFor(address, settings.portnum, settings.camurl, secure);
      std::fprintf(stderr, "owlglance-server: page %s stream %s snapshot %s\n", links.page.c_str(),
                   links.stream.c_str(), links.snapshot.c_str());
    }
  }
  if (!fingerprint.empty())
    std::fprintf(stderr, "owlglance-server: the certificate's SHA-256 fingerprint is %s\n",
                 fingerprint.c_str());
  if (settings.access != settings::kEveryone)
    std::fprintf(
        stderr, "owlglance-server: only %s may connect\n",
        settings.access == settings::kLocalNetwork ? "this local network" : "this computer");
  if (!settings.viewpass.empty())
    std::fprintf(stderr, "owlglance-server: a password is asked, for the user \"%s\"\n",
                 settings.viewuser.c_str());
  FollowHomePage(settings);
  for (size_t n = 1; n < station.Count(); ++n) {
    const int number = station.ServedNumber(n);
    if (number < 0) continue;
    for (const std::string& address : addresses) {
      const share::ShareLinks links =
          share::LinksFor(address, settings.portnum, settings.camurl, false, number);
      std::fprintf(stderr, "owlglance-server: camera %d (%s) stream %s snapshot %s\n", number,
                   station.At(n).name.c_str(), links.stream.c_str(), links.snapshot.c_str());
    }
  }
  WriteMissingHomePage(addresses, settings, station);
  // What the settings keep of the pictures, while the server runs.
  const keep::KeepPlan plan = keep::PlanFrom(settings);
  if (plan.interval)
    std::fprintf(stderr, "owlglance-server: a picture every %u s in %s\n", plan.seconds,
                 plan.pictureFolder.c_str());
  if (plan.record)
    std::fprintf(stderr, "owlglance-server: recording to %s\n", plan.videoFolder.c_str());
  station.ApplyKeeping();
  // Held while serving: --set-password and --access say "from now on" then.
  platform::RunningMark running;
  static_cast<void>(running.Hold(shell::ServerMarkFile()));
  bool stopped = WaitForStop(station, signals, [&] {
    // Only a file that reads well changes anything, and nothing here writes
    // it: a missing, damaged or half-written one must not drop the password
    // of a server that is running, nor be moved away under its writer.
    const bool there = StampOf(platform::RegistryFile()).size >= 0;
    const std::string unread = there ? settings::ReloadSettings(settings) : std::string();
    if (!there || !unread.empty()) {
      const std::string why = !there ? "The settings file is gone."
                                     : "The settings file could not be read (" + unread + ").";
      std::fprintf(stderr, "owlglance-server: %s The server goes on with the settings it had.\n",
                   why.c_str());
      return;
    }
    // The port and HTTPS are read at the next start.
    station.Apply();
    FollowHomePage(settings);
  });
  station.Close();
  platform::EndIdleThreads();
  return stopped ? 0 : 1;
}
