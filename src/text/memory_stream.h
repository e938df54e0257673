#pragma once

// A growable in-memory byte stream named by a handle that is valid on every thread.
// Handles are never reused, so a handle that has been closed stays harmless: operations on
// it do nothing and report failure.

#include <cstdint>
#include <vector>

#include "text/text.h"

namespace qelvanto {

using StreamHandle = std::uintptr_t;

namespace MemoryStream {

StreamHandle Open();
void Close(StreamHandle stream);
bool SeekToStart(StreamHandle stream);
// Each element as a 32-bit little-endian length followed by its bytes.
bool WriteData(StreamHandle stream, const std::vector<Bytes>& list);
// Reads list.size() records; on failure the position and the list stay as they were.
bool ReadData(StreamHandle stream, std::vector<Bytes>& list);
bool WriteText(StreamHandle stream, const Text& text);
Text ReadLine(StreamHandle stream);
bool AtEnd(StreamHandle stream);

}  // namespace MemoryStream
}  // namespace qelvanto
