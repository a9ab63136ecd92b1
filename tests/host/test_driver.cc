#include "tests/host/test_driver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "platform/ui/dialog_template.h"
#include "platform/ui/wx_message_box.h"
#include "shell/main_frame.h"

namespace {

std::string folder;
std::mutex answersLock;
std::deque<int> answers;  // guarded by answersLock

void Reply(std::string line) {
  for (auto& c : line)
    if (c == '\n') c = '~';  // one line per event
  line += '\n';
  int fd = ::open((folder + "/out").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] ssize_t n = ::write(fd, line.data(), line.size());
  ::close(fd);
}

int AnswerBox(const std::string& text, const std::string& caption, int) {
  Reply("box " + caption + "|" + text);
  std::lock_guard lock(answersLock);
  if (answers.empty()) return 1;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

// The modal dialog on top, if any.
wxDialog* TopDialog() {
  wxDialog* top = nullptr;
  for (wxWindow* window : wxTopLevelWindows)
    if (auto* dialog = wxDynamicCast(window, wxDialog); dialog && dialog->IsModal()) top = dialog;
  return top;
}

// A control by its design id ("ok" and "cancel" name 1 and 2).
wxWindow* Control(wxDialog* dialog, const std::string& id) {
  const int designId = id == "ok"       ? platform::kIdOk
                       : id == "cancel" ? platform::kIdCancel
                                        : std::atoi(id.c_str());
  return dialog->FindWindow(platform::WxIdOf(designId));
}

std::string ValueOf(wxWindow* control) {
  if (auto* text = wxDynamicCast(control, wxTextCtrl)) return text->GetValue().ToStdString();
  if (auto* check = wxDynamicCast(control, wxCheckBox)) return check->GetValue() ? "1" : "0";
  if (auto* radio = wxDynamicCast(control, wxRadioButton)) return radio->GetValue() ? "1" : "0";
  if (auto* choice = wxDynamicCast(control, wxChoice)) {
    std::string items;
    for (unsigned i = 0; i < choice->GetCount(); ++i)
      items += (i ? "|" : "") + choice->GetString(i).ToStdString();
    return items + " sel " + std::to_string(choice->GetSelection());
  }
  return control->GetLabel().ToStdString();
}

bool IsDialogVerb(const std::string& line) {
  std::string verb = line.substr(0, line.find(' '));
  for (const char* dialogVerb : {"dialog", "set", "get", "press", "dismiss", "labels", "rect"})
    if (verb == dialogVerb) return true;
  return false;
}

// Verbs that work on the modal dialog on top: "dialog" (its title), "set ID
// TEXT", "get ID", "press ID" (ok, cancel or a number), "dismiss" (its close
// box), "labels" (each text's width and the width it needs), "rect [ID]".
bool RunDialogVerb(const std::string& verb, std::istringstream& in) {
  if (!IsDialogVerb(verb)) return false;
  wxDialog* dialog = TopDialog();
  if (!dialog) {
    Reply(verb == "dialog" ? "dialog none" : "no dialog");
    return true;
  }
  std::string id;
  in >> id;
  wxWindow* control = id.empty() ? nullptr : Control(dialog, id);
  if (verb == "dialog") {
    Reply("dialog " + dialog->GetTitle().ToStdString());
  } else if (verb == "dismiss") {
    dialog->Close();
  } else if (verb == "labels") {
    std::string line = "labels";
    for (wxWindow* child : dialog->GetChildren())
      if (wxDynamicCast(child, wxStaticText) || wxDynamicCast(child, wxCheckBox) ||
          wxDynamicCast(child, wxButton))
        line +=
            " " + std::to_string(child->GetSize().x) + "/" + std::to_string(child->GetBestSize().x);
    Reply(line);
  } else if (verb == "rect") {
    wxRect rect = (control ? control : dialog)->GetScreenRect();
    Reply("rect " + std::to_string(rect.x) + " " + std::to_string(rect.y) + " " +
          std::to_string(rect.width) + " " + std::to_string(rect.height));
  } else if (!control) {
    Reply("no control " + id);
  } else if (verb == "get") {
    Reply("value " + id + "|" + ValueOf(control));
  } else if (verb == "set") {
    std::string text;
    std::getline(in, text);
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
    if (auto* edit = wxDynamicCast(control, wxTextCtrl)) edit->SetValue(wxString::FromUTF8(text));
    if (auto* check = wxDynamicCast(control, wxCheckBox)) check->SetValue(text == "1");
    if (auto* radio = wxDynamicCast(control, wxRadioButton)) radio->SetValue(text == "1");
    if (auto* choice = wxDynamicCast(control, wxChoice)) {
      // As a person's choice: the dialog hears of it.
      choice->SetSelection(std::atoi(text.c_str()));
      wxCommandEvent chosen(wxEVT_CHOICE, choice->GetId());
      chosen.SetInt(choice->GetSelection());
      chosen.SetEventObject(choice);
      choice->ProcessWindowEvent(chosen);
    }
    Reply("set " + id);
  } else if (verb == "press") {
    wxCommandEvent click(wxEVT_BUTTON, control->GetId());
    click.SetEventObject(control);
    Reply("pressed " + id);
    control->GetEventHandler()->ProcessEvent(click);
  }
  return true;
}

void Run(wxWeakRef<shell::MainFrame> frame, const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (RunDialogVerb(verb, in)) return;
  if (!frame) return Reply("gone");
  if (verb == "menu") {
    int id = 0;
    in >> id;
    // A person can't reach the menu past a modal dialog; a command run under
    // one could destroy the window that dialog's loop still runs in.
    if (TopDialog()) return Reply("blocked menu " + std::to_string(id));
    frame->RunCommand(id);
    Reply("done menu " + std::to_string(id));
  } else if (verb == "click") {
    // A menu item chosen as a person chooses it: its event goes to the
    // window, whose binding runs the command.
    int id = 0;
    in >> id;
    if (TopDialog()) return Reply("blocked click " + std::to_string(id));
    wxCommandEvent chosen(wxEVT_MENU, id);
    chosen.SetEventObject(frame);
    frame->ProcessWindowEvent(chosen);
    Reply("done click " + std::to_string(id));
  } else if (verb == "answer") {
    int answer = 1;
    in >> answer;
    std::lock_guard lock(answersLock);
    answers.push_back(answer);
  } else if (verb == "status") {
    wxStatusBar* bar = frame->GetStatusBar();
    std::string panes = bar->GetStatusText(0).ToStdString() + "|" +
                        bar->GetStatusText(1).ToStdString() + "|" +
                        bar->GetStatusText(2).ToStdString();
    // The recording pane is empty but while a recording runs.
    if (!bar->GetStatusText(3).empty()) panes += "|" + bar->GetStatusText(3).ToStdString();
    Reply("status " + panes);
  } else if (verb == "panes") {
    // Each pane's width, the width its text needs, and the bar's.
    wxStatusBar* bar = frame->GetStatusBar();
    std::string reply = "panes";
    for (int i = 0; i < bar->GetFieldsCount(); ++i) {
      wxRect rect;
      bar->GetFieldRect(i, rect);
      const int needs =
          bar->GetTextExtent(i == 3 ? wxString("Recording") : bar->GetStatusText(i)).GetWidth();
      reply += " " + std::to_string(rect.GetRight()) + ":" + std::to_string(rect.width) + "/" +
               std::to_string(needs);
    }
    Reply(reply + " bar " + std::to_string(bar->GetClientSize().x));
  } else if (verb == "picture") {
    // The preview's own size: the window is wider when the panes are.
    wxSize size;
    for (wxWindow* child : frame->GetChildren())
      if (!wxDynamicCast(child, wxStatusBar)) size = child->GetSize();
    Reply("picture " + std::to_string(size.x) + "x" + std::to_string(size.y));
  } else if (verb == "checked") {
    // A menu item's check mark, by its id or its name in the menu's XRC:
    // "checked ID 1", "0", or "none" without it.
    std::string id;
    in >> id;
    const bool number = !id.empty() && std::isdigit(static_cast<unsigned char>(id[0]));
    const wxMenuItem* item =
        frame->GetMenuBar()->FindItem(number ? std::atoi(id.c_str()) : XRCID(id.c_str()));
    Reply("checked " + id + " " + (!item ? "none" : item->IsChecked() ? "1" : "0"));
  } else if (verb == "size") {
    wxSize size = frame->GetClientSize();
    Reply("client " + std::to_string(size.x) + "x" + std::to_string(size.y));
  } else if (verb == "shown") {
    Reply(std::string("shown ") + (frame->IsShown() ? "1" : "0"));
  } else if (verb == "close") {
    Reply("closing");
    frame->Close();
  }
}

// Commands for the main window wait until it exists; dialog verbs work from
// the start, so a first run's wizard can be driven.
std::mutex frameLock;
std::condition_variable frameAttached;
wxWeakRef<shell::MainFrame> attachedFrame;  // guarded by frameLock until attached
bool attached = false;                      // guarded by frameLock

void ReadCommands() {
  std::ifstream in(folder + "/in");
  for (std::string line; std::getline(in, line);) {
    std::unique_lock lock(frameLock);
    if (!IsDialogVerb(line)) frameAttached.wait(lock, [] { return attached; });
    wxWeakRef<shell::MainFrame> frame = attachedFrame;
    lock.unlock();
    wxTheApp->CallAfter([frame, line] { Run(frame, line); });
  }
}

}  // namespace

void StartTestDriver() {
  const char* path = std::getenv("OWLGLANCE_TEST_DRIVER");
  if (!path || !*path) return;
  folder = path;
  platform::GuiMessageBoxes().SetPresenter(AnswerBox);
  Reply("ready");
  std::thread(ReadCommands).detach();
}

void AttachTestDriver(shell::MainFrame& frame) {
  if (folder.empty()) return;
  for (size_t n = 0; !frame.StartFailed() && n < frame.Cameras().Count(); ++n)
    if (auto* window = frame.Cameras().At(n).device.Window())
      window->SetDialogPresenter([](platform::DriverDialog&) { return false; });
  // Save Picture writes into the driver's folder, under the name proposed.
  frame.SetSavePathAsker([](const std::string& proposedFolder, const std::string& name) {
    Reply("save " + proposedFolder + "|" + name);
    return folder + "/" + name;
  });
  std::lock_guard lock(frameLock);
  attachedFrame = &frame;
  attached = true;
  frameAttached.notify_all();
}

bool InjectedStartFailure(std::string_view step) {
  const char* path = std::getenv("OWLGLANCE_TEST_DRIVER");
  if (!path || !*path) return false;
  std::ifstream in(std::string(path) + "/fail");
  std::string named;
  std::getline(in, named);
  return named == step;
}
