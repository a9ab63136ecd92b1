#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace server {

constexpr char kLogWriteFailedMessage[] = "Error writing to log file!";
constexpr char kThreadRefusedMessage[] =
    "The system refused a thread for a new connection.\n"
    "That client was answered \"503 Service Unavailable\"; the server goes on.";
constexpr char kGuessingMessage[] =
    "Someone is guessing the password: too many wrong passwords came in the last hour.\n"
    "Viewers already let in go on watching; new ones get \"429 Too Many Requests\" until "
    "fewer come.";

// What the server's threads have to tell the user. A listener or client
// thread never shows a box itself (a box waiting for a click would hold its
// connection): it raises the notice here, and the thread that owns the
// window, or the headless server's main thread, shows it. A failure is told
// once, and again only after the same step has succeeded in between.
// Thread-safe.
class Notices {
 public:
  // A log line was written, or not.
  void LogWrite(bool written) { Note(written, logFailing_, kLogWrite); }
  // A client's thread was created, or the system refused it.
  void ThreadCreate(bool created) { Note(created, threadFailing_, kThread); }
  // Whether someone is guessing the password now; told once a spell.
  void Guessing(bool guessing) { Note(!guessing, guessing_, kGuessing); }

  // The messages raised since the last call, for the user.
  std::vector<std::string> Take() {
    const uint32_t raised = pending_.exchange(0);
    std::vector<std::string> messages;
    if (raised & kLogWrite) messages.emplace_back(kLogWriteFailedMessage);
    if (raised & kThread) messages.emplace_back(kThreadRefusedMessage);
    if (raised & kGuessing) messages.emplace_back(kGuessingMessage);
    return messages;
  }

 private:
  static constexpr uint32_t kLogWrite = 1, kThread = 2, kGuessing = 4;

  void Note(bool succeeded, std::atomic<bool>& failing, uint32_t notice) {
    if (succeeded) {
      if (failing.load(std::memory_order_relaxed)) failing.store(false);
    } else if (!failing.exchange(true)) {
      pending_.fetch_or(notice);
    }
  }

  std::atomic<bool> logFailing_{false}, threadFailing_{false}, guessing_{false};
  std::atomic<uint32_t> pending_{0};
};

}  // namespace server
