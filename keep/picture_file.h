#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keep {

// Writes `size` bytes as a new file in `folder`, named `name` or, when that
// is taken, the next free name FreeName gives. The bytes go to a temporary
// file first, which takes the name only once it is whole, so a reader never
// sees half a picture, and an existing file is never written over. 0 with
// `written` the name used, or the errno value of the failure (ENOSPC for a
// full disk); nothing is left behind then.
int WriteWholeFile(const std::string& folder, const std::string& name, const uint8_t* bytes,
                   size_t size, std::string& written);

// Writes `size` bytes as `path`, over a file of that name, through a
// temporary file beside it: the old file stays whole until the new one is.
// 0 or the errno value.
int ReplaceFile(const std::string& path, const uint8_t* bytes, size_t size);

// The message for a write that failed, with what came of it and where:
// "The disk is full: recording stopped. FILE", or "Recording stopped:
// Permission denied. FILE" for another reason.
std::string WriteFailedMessage(int error, const std::string& outcome, const std::string& where);

// Makes `folder` (and the folders above it) when missing and writes and
// removes a file in it: 0 when pictures can be kept there, else the errno
// value.
int TryFolder(const std::string& folder);

// The names of the files in `folder`.
std::vector<std::string> FolderNames(const std::string& folder);

// The bytes an unprivileged user can still write where `path` lies; -1
// when that can't be had.
int64_t FreeBytes(const std::string& path);

}  // namespace keep
