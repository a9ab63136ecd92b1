// The desktop program's CPU with the preview on at 640 x 480 and the server
// stopped, against the same program with the preview off.
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "bench/bench_support.h"
#include "tests/support/gui_session.h"
#include "tests/support/temp_folder.h"

namespace {

// CPU seconds the process has used so far.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state ... cmajflt
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double PercentOverFiveSeconds(pid_t pid) {
  double cpu = CpuSeconds(pid), wall = WallSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  return (CpuSeconds(pid) - cpu) / (WallSeconds() - wall) * 100;
}

}  // namespace

int main() {
  TempFolder folder;
  ::setenv("XDG_CONFIG_HOME", (folder.Path() / "config").c_str(), 1);
  GuiSession session(folder.Path(), folder.Path() / "config");
  if (!session.Started()) return 1;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  Figure("preview_cpu_percent_640x480", PercentOverFiveSeconds(session.Pid()), "%");
  session.Send("menu 203");  // preview off
  session.WaitForLine("done menu 203");
  Figure("idle_window_cpu_percent", PercentOverFiveSeconds(session.Pid()), "%");
}
