#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/frame_store.h"
#include "platform/matroska_writer.h"
#include "platform/thread_annotations.h"
#include "settings/server_settings.h"

namespace keep {

// What to keep of the camera's pictures, with the folders worked out.
struct KeepPlan {
  bool interval = false;
  uint32_t seconds = 60;
  uint32_t keep = 0;  // interval pictures that stay; 0 for all
  std::string pictureFolder;
  bool record = false;
  std::string videoFolder;
  int64_t minFreeBytes = 200LL << 20;  // recording stops with less free on its disk
  std::string camera;                  // names the files when there are several cameras, else ""
  bool operator==(const KeepPlan&) const = default;
};

// The plan the settings ask for: the interval folder as set, or the
// user's pictures folder; recordings in the user's videos folder.
// `camera` names the files (CameraInFileName's), "" for the one camera.
KeepPlan PlanFrom(const settings::ServerSettings& settings, std::string_view camera = {});

constexpr int64_t kRecordingPartMs = 30 * 60 * 1000;  // a new file every 30 minutes

// Keeps the camera's pictures on one thread of its own: a picture every few
// seconds (written whole, the oldest beyond a number deleted), and a
// recording (the JPEG pictures as they are, in Matroska, a new file every
// 30 minutes). A write that fails stops what it was for, with one message
// that says why and where; the camera and the server go on.
class Keeper {
 public:
  explicit Keeper(capture::FrameStore& store) : store_(store) {}
  ~Keeper() { Stop(); }
  Keeper(const Keeper&) = delete;
  Keeper& operator=(const Keeper&) = delete;

  // Takes a new plan; the thread runs while the plan keeps anything. One
  // thread drives it.
  void Apply(const KeepPlan& plan) OWL_EXCLUDES(lock_);
  // Ends the thread; a recording gets its index.
  void Stop() OWL_EXCLUDES(lock_);
  // The plan keeps something, so the camera's pictures are needed.
  bool Wants() const { return plan_.interval || plan_.record; }
  // A recording file is being written.
  bool Recording() const { return recording_.load(); }

  // What a failure stopped since the last call, and the messages for it.
  struct Stops {
    bool interval = false, record = false;
    std::vector<std::string> messages;
  };
  Stops TakeStops() OWL_EXCLUDES(lock_);

 private:
  void Run() OWL_EXCLUDES(lock_);
  void KeepPicture(const KeepPlan& plan, const capture::FrameRef& picture);
  void Record(const KeepPlan& plan, const capture::FrameRef& picture);
  bool OpenRecording(const KeepPlan& plan, int32_t width, int32_t height, int64_t at, double rate);
  void EndRecording();
  void Fail(bool record, const std::string& message) OWL_EXCLUDES(lock_);

  capture::FrameStore& store_;
  KeepPlan plan_;  // the driving thread's copy
  std::thread thread_;

  platform::Mutex lock_;
  KeepPlan shared_ OWL_GUARDED_BY(lock_);  // the plan the thread follows
  bool stop_ OWL_GUARDED_BY(lock_) = false;
  Stops stops_ OWL_GUARDED_BY(lock_);

  // The thread's own.
  platform::MatroskaWriter recordingFile_;
  std::string recordingPath_;
  int64_t recordingStart_ = 0;  // the first picture's time
  int32_t recordingWidth_ = 0, recordingHeight_ = 0;
  int64_t spaceCheckedAt_ = 0;
  int64_t nextPictureAt_ = 0;
  std::atomic<bool> recording_{false};
};

}  // namespace keep
