#pragma once

#include "capture/frame_store.h"
#include "server/outgoing.h"
#include "server/response_head.h"

namespace server {

// Puts the answer to a snapshot URL into `out` when the store holds a
// picture: 200 with its type and length, not to be cached, then the JPEG
// bytes straight from the store's buffer (none for HEAD). False, leaving
// `out` as it was, while there is none (before the camera's first picture,
// or after a frame that failed): the caller waits for the next.
[[nodiscard]] bool AnswerSnapshot(capture::FrameStore& store, bool headOnly, Framing framing,
                                  Outgoing& out);

}  // namespace server
