// Stands in for MessageBox on the wx desktop. Promises a modal box from any
// thread that blocks only its caller: boxes asked for on worker threads are
// queued to the user-interface thread, which also answers them while it
// waits for worker threads.
#pragma once

#include <functional>
#include <string>

#include "platform/message_box.h"
#include "platform/message_box_queue.h"

namespace platform {

class WxMessageBoxService : public MessageBoxService {
 public:
  WxMessageBoxService();
  int Show(const std::string& text, const std::string& caption, int style) override;
  // On the UI thread, between the steps of a wait for worker threads.
  void AnswerPending() { queue_.AnswerPending(); }
  // Replaces the dialog with `presenter`, as a test driver does.
  void SetPresenter(MessageBoxQueue::Presenter presenter) { presenter_ = std::move(presenter); }

 private:
  int Present(const std::string& text, const std::string& caption, int style, bool fromGuiThread);

  MessageBoxQueue::Presenter presenter_;
  MessageBoxQueue queue_;
};

// The process's service, installed by the application at start.
WxMessageBoxService& GuiMessageBoxes();

}  // namespace platform
