// The memory stream on arbitrary bytes: line reading always ends, record reading never
// claims more than the stream holds.

#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "text/memory_stream.h"
#include "text/text.h"

using namespace qelvanto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::size_t records = static_cast<std::uint32_t>(in.Int()) % 16;
    const std::string_view raw = in.Rest();

    const StreamHandle stream = MemoryStream::Open();

    // Lines: the bytes as written through the record writer's single-record form, so NULs
    // stay in the stream.
    std::vector<Bytes> one{Bytes(raw)};
    FUZZ_CHECK(MemoryStream::WriteData(stream, one));
    FUZZ_CHECK(MemoryStream::SeekToStart(stream));
    std::size_t lines = 0;
    while (!MemoryStream::AtEnd(stream)) {
        (void)MemoryStream::ReadLine(stream);
        FUZZ_CHECK(++lines <= raw.size() + 4);
    }

    // Records read from arbitrary bytes.
    const StreamHandle second = MemoryStream::Open();
    FUZZ_CHECK(MemoryStream::WriteText(second, Text(raw)));
    FUZZ_CHECK(MemoryStream::SeekToStart(second));
    std::vector<Bytes> list(records);
    if (MemoryStream::ReadData(second, list)) {
        std::size_t total = 4 * records;
        for (const Bytes& b : list) total += b.size();
        FUZZ_CHECK(total <= Text(raw).size());
    } else {
        for (const Bytes& b : list) FUZZ_CHECK(b.empty());
    }

    // Round trip of the list just read (or of empty values).
    FUZZ_CHECK(MemoryStream::SeekToStart(stream));
    FUZZ_CHECK(MemoryStream::WriteData(stream, list));
    FUZZ_CHECK(MemoryStream::SeekToStart(stream));
    std::vector<Bytes> back(records);
    FUZZ_CHECK(MemoryStream::ReadData(stream, back));
    FUZZ_CHECK(back == list);

    MemoryStream::Close(stream);
    MemoryStream::Close(second);
    MemoryStream::Close(second);
    FUZZ_CHECK(MemoryStream::AtEnd(second));
    FUZZ_CHECK(!MemoryStream::SeekToStart(second));
    return 0;
}
