#include "text/memory_stream.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qelvanto::MemoryStream {
namespace {

struct Stream {
    std::mutex mutex;
    std::string data;
    std::size_t position = 0;
};

// Open streams by handle. A stream is shared with whoever is using it at the moment, so a
// thread that is still busy with a stream when another closes it works on a detached copy
// that nobody reads and that goes away with its last user.
class Registry {
  public:
    StreamHandle Add() {
        auto stream = std::make_shared<Stream>();
        const std::lock_guard lock(mutex_);
        const StreamHandle handle = ++last_handle_;  // never 0 and never reused
        streams_.emplace(handle, std::move(stream));
        return handle;
    }

    void Remove(StreamHandle handle) {
        std::shared_ptr<Stream> released;
        {
            const std::lock_guard lock(mutex_);
            auto it = streams_.find(handle);
            if (it == streams_.end()) return;
            released = std::move(it->second);
            streams_.erase(it);
        }
    }

    std::shared_ptr<Stream> Find(StreamHandle handle) const {
        const std::lock_guard lock(mutex_);
        auto it = streams_.find(handle);
        return it == streams_.end() ? nullptr : it->second;
    }

  private:
    mutable std::mutex mutex_;
    std::unordered_map<StreamHandle, std::shared_ptr<Stream>> streams_;
    StreamHandle last_handle_ = 0;
};

Registry& Streams() {
    static Registry registry;
    return registry;
}

// Overwrites and extends the stream at its position; on failure the stream is untouched.
bool WriteAt(Stream& s, std::string_view bytes) {
    try {
        const std::size_t end = s.position + bytes.size();
        if (end > s.data.size()) s.data.resize(end);
        s.data.replace(s.position, bytes.size(), bytes);
        s.position = end;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

StreamHandle Open() {
    try {
        return Streams().Add();
    } catch (const std::exception&) {
        return 0;
    }
}

void Close(StreamHandle stream) { Streams().Remove(stream); }

bool SeekToStart(StreamHandle stream) {
    const auto s = Streams().Find(stream);
    if (!s) return false;
    const std::lock_guard lock(s->mutex);
    s->position = 0;
    return true;
}

bool WriteData(StreamHandle stream, const std::vector<Bytes>& list) {
    const auto s = Streams().Find(stream);
    if (!s) return false;
    // The records are put together first so that a failure leaves the stream as it was.
    std::string records;
    try {
        std::size_t total = 0;
        for (const Bytes& b : list) total += 4 + b.size();
        records.reserve(total);
        for (const Bytes& b : list) {
            if (b.size() > 0xFFFFFFFFu) return false;
            const auto n = static_cast<std::uint32_t>(b.size());
            const char length[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                                    static_cast<char>((n >> 16) & 0xFF),
                                    static_cast<char>((n >> 24) & 0xFF)};
            records.append(length, 4);
            records.append(b.view());
        }
    } catch (const std::exception&) {
        return false;
    }
    const std::lock_guard lock(s->mutex);
    if (s->position == 0 && records.size() >= s->data.size()) {
        // Everything is overwritten: the records become the stream's data without a copy,
        // which matters when one of them is a large response body.
        s->data.swap(records);
        s->position = s->data.size();
        return true;
    }
    return WriteAt(*s, records);
}

bool ReadData(StreamHandle stream, std::vector<Bytes>& list) {
    const auto s = Streams().Find(stream);
    if (!s) return false;
    const std::lock_guard lock(s->mutex);
    const std::string_view data = s->data;
    std::size_t pos = s->position;
    std::vector<Bytes> read;
    try {
        read.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (pos > data.size() || data.size() - pos < 4) return false;
            const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
            const std::uint32_t n =
                static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
            pos += 4;
            if (data.size() - pos < n) return false;
            read.emplace_back(data.substr(pos, n));
            pos += n;
        }
    } catch (const std::exception&) {
        return false;
    }
    list = std::move(read);
    s->position = pos;
    return true;
}

bool WriteText(StreamHandle stream, const Text& text) {
    const auto s = Streams().Find(stream);
    if (!s) return false;
    const std::lock_guard lock(s->mutex);
    return WriteAt(*s, text.view());
}

Text ReadLine(StreamHandle stream) {
    const auto s = Streams().Find(stream);
    if (!s) return {};
    const std::lock_guard lock(s->mutex);
    const std::string_view data = s->data;
    const std::size_t begin = s->position;
    if (begin >= data.size()) return {};

    std::size_t i = begin;
    std::size_t end = data.size();
    std::size_t next = data.size();
    while (i < data.size()) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b == 0x0A) {
            end = i;
            next = i + 1;
            break;
        }
        // A lead byte carries the byte after it, so a second byte of 0x0A is not a line feed.
        i += b >= 0x80 ? 2 : 1;
    }
    std::string_view line = data.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    s->position = next;
    // A zero byte in the line ends the text there; the position has moved past the whole line.
    return Text(line);
}

bool AtEnd(StreamHandle stream) {
    const auto s = Streams().Find(stream);
    if (!s) return true;
    const std::lock_guard lock(s->mutex);
    return s->position >= s->data.size();
}

}  // namespace qelvanto::MemoryStream
