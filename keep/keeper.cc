#include "keep/keeper.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

#include "keep/picture_file.h"
#include "keep/picture_names.h"
#include "platform/clock.h"
#include "platform/user_folders.h"

namespace keep {

namespace {

constexpr int kWaitMs = 250;             // how soon a new plan or a due picture is seen
constexpr int64_t kSpaceCheckMs = 1000;  // how often a recording looks at the free space

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

KeepPlan PlanFrom(const settings::ServerSettings& settings, std::string_view camera) {
  KeepPlan plan;
  plan.camera = camera;
  plan.interval = settings.intervalon != 0;
  plan.seconds = settings.interval;
  plan.keep = settings.intervalkeep;
  plan.record = settings.record != 0;
  if (plan.interval)
    plan.pictureFolder =
        settings.intervaldir.empty() ? platform::UserFolder("PICTURES") : settings.intervaldir;
  if (plan.record) plan.videoFolder = platform::UserFolder("VIDEOS");
  return plan;
}

void Keeper::Apply(const KeepPlan& plan) {
  plan_ = plan;
  const bool running = thread_.joinable();
  if (!Wants()) {
    if (running) Stop();
    return;
  }
  {
    platform::MutexLock lock(lock_);
    shared_ = plan;
  }
  if (!running) thread_ = std::thread([this] { Run(); });
}

void Keeper::Stop() {
  if (!thread_.joinable()) return;
  {
    platform::MutexLock lock(lock_);
    stop_ = true;
  }
  store_.WakeReaders();
  thread_.join();
  platform::MutexLock lock(lock_);
  stop_ = false;
}

Keeper::Stops Keeper::TakeStops() {
  Stops stops;
  {
    platform::MutexLock lock(lock_);
    std::swap(stops, stops_);
  }
  if (stops.interval) plan_.interval = false;
  if (stops.record) plan_.record = false;
  return stops;
}

void Keeper::Fail(bool record, const std::string& message) {
  platform::MutexLock lock(lock_);
  stops_.messages.push_back(message);
  (record ? stops_.record : stops_.interval) = true;
  (record ? shared_.record : shared_.interval) = false;
}

void Keeper::Run() {
  uint64_t seen = store_.PublishedCount();
  KeepPlan plan;
  nextPictureAt_ = 0;
  for (;;) {
    {
      platform::MutexLock lock(lock_);
      if (stop_) break;
      if (!(shared_ == plan)) {
        if (!shared_.record || shared_.videoFolder != plan.videoFolder) EndRecording();
        if (shared_.interval != plan.interval || shared_.seconds != plan.seconds)
          nextPictureAt_ = 0;  // the first picture at once
        plan = shared_;
      }
    }
    store_.WaitForNewFrame(seen, kWaitMs);
    const capture::FrameStore::Reader latest(store_);
    const bool fresh = latest.Published() != seen;
    seen = latest.Published();
    if (latest.Length() < 1) continue;
    if (plan.record && fresh) Record(plan, latest.Image());
    const int64_t now = platform::SteadyMillis();
    if (plan.interval && now >= nextPictureAt_) {
      const int64_t period = static_cast<int64_t>(plan.seconds) * 1000;
      nextPictureAt_ = nextPictureAt_ == 0 ? now + period : nextPictureAt_ + period;
      if (nextPictureAt_ <= now) nextPictureAt_ = now + period;  // fell behind: no burst
      KeepPicture(plan, latest.Image());
    }
    // A failure turned something off: the next pass takes the plan again.
  }
  EndRecording();
}

void Keeper::KeepPicture(const KeepPlan& plan, const capture::FrameRef& picture) {
  const std::string name = IntervalPictureName(LocalNow(), plan.camera);
  if (!platform::MakeFolders(plan.pictureFolder)) {
    Fail(false, WriteFailedMessage(errno, "interval pictures stopped", plan.pictureFolder));
    return;
  }
  std::string written;
  const int error = WriteWholeFile(plan.pictureFolder, name, picture.Data(),
                                   static_cast<size_t>(picture.Length()), written);
  if (error != 0) {
    Fail(false,
         WriteFailedMessage(error, "interval pictures stopped", plan.pictureFolder + "/" + name));
    return;
  }
  for (const std::string& old :
       PicturesBeyond(FolderNames(plan.pictureFolder), plan.keep, plan.camera))
    ::unlink((plan.pictureFolder + "/" + old).c_str());
}

void Keeper::Record(const KeepPlan& plan, const capture::FrameRef& picture) {
  const int32_t width = picture.Shape().width, height = picture.Shape().height;
  if (width <= 0 || height <= 0) return;
  const int64_t at = picture.PublishedMs();
  // A new file every half hour, and for a new picture size.
  if (recordingFile_.IsOpen() && (at - recordingStart_ >= kRecordingPartMs ||
                                  width != recordingWidth_ || height != recordingHeight_))
    EndRecording();
  if (!recordingFile_.IsOpen()) {
    // The file states the camera's rate: a camera just started is given
    // half a second to show it.
    const double rate = store_.PictureRate(at);
    if (rate <= 0) return;
    if (!OpenRecording(plan, width, height, at, rate)) return;
  }
  if (at - spaceCheckedAt_ >= kSpaceCheckMs) {
    spaceCheckedAt_ = at;
    const int64_t free = FreeBytes(plan.videoFolder);
    if (free >= 0 && free < plan.minFreeBytes) {
      const std::string path = recordingPath_;
      EndRecording();
      Fail(true, "Less than 200 MB are left on the disk: recording stopped. " + path);
      return;
    }
  }
  if (!recordingFile_.Write(picture.Data(), static_cast<size_t>(picture.Length()),
                            at - recordingStart_)) {
    const int error = recordingFile_.Error();
    const std::string path = recordingPath_;
    EndRecording();
    Fail(true, WriteFailedMessage(error, "recording stopped", path));
  }
}

bool Keeper::OpenRecording(const KeepPlan& plan, int32_t width, int32_t height, int64_t at,
                           double rate) {
  if (!platform::MakeFolders(plan.videoFolder)) {
    Fail(true, WriteFailedMessage(errno, "recording stopped", plan.videoFolder));
    return false;
  }
  const int64_t free = FreeBytes(plan.videoFolder);
  if (free >= 0 && free < plan.minFreeBytes) {
    Fail(true, "Less than 200 MB are left on the disk: recording stopped. " + plan.videoFolder);
    return false;
  }
  const std::string name =
      FreeName(RecordingName(LocalNow(), plan.camera), [&](const std::string& candidate) {
        return ::access((plan.videoFolder + "/" + candidate).c_str(), F_OK) == 0;
      });
  recordingPath_ = plan.videoFolder + "/" + name;
  // Whole pictures a second, or halves below five (7.5 is a camera's rate).
  const bool halves = rate < 5;
  const int rateNum = std::max(1, static_cast<int>(std::lround(rate * (halves ? 2 : 1))));
  if (!recordingFile_.Open(recordingPath_, width, height, rateNum, halves ? 2 : 1)) {
    Fail(true, WriteFailedMessage(recordingFile_.Error(), "recording stopped", recordingPath_));
    return false;
  }
  recordingStart_ = spaceCheckedAt_ = at;
  recordingWidth_ = width;
  recordingHeight_ = height;
  recording_ = true;
  return true;
}

void Keeper::EndRecording() {
  if (!recordingFile_.IsOpen()) return;
  recordingFile_.Close();  // a disk that filled up has already been told of
  recording_ = false;
}

}  // namespace keep
