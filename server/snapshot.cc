#include "server/snapshot.h"

namespace server {

bool AnswerSnapshot(capture::FrameStore& store, bool headOnly, Framing framing, Outgoing& out) {
  const capture::FrameStore::Reader image(store);
  if (image.Length() < 1) return false;
  ResponseHead head("200 OK", framing);
  head.Field("Content-Type", "image/jpeg")
      .Field("Content-Length", image.Length())
      .Field("Cache-Control", "no-store")
      .End();
  out.Reset().assign(head.Text());
  if (!headOnly) out.SetPicture(image.Image());
  return true;
}

}  // namespace server
