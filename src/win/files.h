// Whole-file reads and writes and the existence test, over the A functions
// (the process code page is UTF-8, so paths are UTF-8 Text). Each operation
// opens and closes its file within the call, on every path.
#pragma once

#include <span>

#include "core/text.h"

namespace dashtab::win {

// The whole file as stored; empty on any failure (empty path, no such file,
// a folder, locked for writing, longer than 2 GiB - 1 bytes, no memory for
// the contents, read error).
// Shares the file for reading only while it reads.
ByteSet ReadFileBytes(const Text& path);

// Creates or truncates the file and writes the parts in order, each in one
// write; empty parts are skipped. False when the file could not be opened,
// a write failed or fell short, or closing failed; what was written before a
// failure stays. Nobody else may open the file while it is written.
bool WriteFileBytes(const Text& path, std::span<const ByteSet* const> parts);

template <class... More>
bool WriteFileBytes(const Text& path, const ByteSet& first, const More&... more) {
  const ByteSet* parts[] = {&first, &more...};
  return WriteFileBytes(path, std::span<const ByteSet* const>(parts));
}

// True when the system's directory search finds anything at the path: a file,
// a folder, or a match of a pattern with * or ?.
bool FileExists(const Text& path);

// True when both paths name one existing file (the same volume and file
// index), however they are spelt.
bool SameFile(const Text& a, const Text& b);

// Writes the bytes to a new file in the target's folder and moves it over the
// target in one step, so that a failure leaves the target as it was.
bool ReplaceFileContents(const Text& path, const ByteSet& bytes);

}  // namespace dashtab::win
