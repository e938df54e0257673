#include "text/memory_stream.h"

#include <atomic>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/print_text.h"

namespace qelvanto {

namespace {

namespace ms = MemoryStream;

// Opens a stream for one test and closes it at the end.
class StreamFixture : public testing::Test {
protected:
    void SetUp() override { stream_ = ms::Open(); }
    void TearDown() override { ms::Close(stream_); }

    std::vector<Text> ReadAllLines() {
        std::vector<Text> lines;
        for (int guard = 0; !ms::AtEnd(stream_) && guard < 1000; ++guard) {
            lines.push_back(ms::ReadLine(stream_));
        }
        return lines;
    }

    StreamHandle stream_ = 0;
};

using MemoryStreamRecords = StreamFixture;

std::vector<Bytes> SevenSlots() {
    return {Bytes(std::string_view("GET")),
            Bytes(std::string_view("http://h/x")),
            Bytes(),
            Bytes(std::string_view("a\0b", 3)),
            Bytes(std::string_view("\xd6\xd0")),
            Bytes(std::string(300, 'z')),
            Bytes(std::string_view(""))};
}

TEST_F(MemoryStreamRecords, SevenSlotsRoundTripAsLengthPrefixedRecords) {
    const std::vector<Bytes> written = SevenSlots();
    ASSERT_TRUE(ms::WriteData(stream_, written));
    EXPECT_TRUE(ms::AtEnd(stream_));
    ASSERT_TRUE(ms::SeekToStart(stream_));

    std::vector<Bytes> read(7, Bytes(std::string_view("old")));
    ASSERT_TRUE(ms::ReadData(stream_, read));
    EXPECT_EQ(read, written);
    EXPECT_TRUE(read[2].empty());
    EXPECT_TRUE(ms::AtEnd(stream_));

    // Nothing but the seven records: read from position 0, they end exactly at the end.
    std::vector<Bytes> extra(1);
    EXPECT_FALSE(ms::ReadData(stream_, extra));
}

TEST_F(MemoryStreamRecords, LengthIsLittleEndian) {
    ASSERT_TRUE(ms::WriteData(stream_, {Bytes(std::string(0x0102, 'q'))}));
    ASSERT_TRUE(ms::SeekToStart(stream_));
    // Reading the first two bytes as a line shows the prefix 0x02 0x01.
    const Text head = ms::ReadLine(stream_);
    ASSERT_GE(head.size(), 2u);
    EXPECT_EQ(head[0], 0x02);
    EXPECT_EQ(head[1], 0x01);
}

TEST_F(MemoryStreamRecords, ReadingMoreRecordsThanWrittenFailsAndKeepsPositionAndList) {
    ASSERT_TRUE(ms::WriteData(stream_, SevenSlots()));
    ASSERT_TRUE(ms::SeekToStart(stream_));
    std::vector<Bytes> one(1);
    ASSERT_TRUE(ms::ReadData(stream_, one));  // position now after the first record

    std::vector<Bytes> eight(8, Bytes(std::string_view("keep")));
    EXPECT_FALSE(ms::ReadData(stream_, eight));
    EXPECT_EQ(eight, std::vector<Bytes>(8, Bytes(std::string_view("keep"))));
    // The position stayed after the first record: the next six records still read.
    std::vector<Bytes> six(6);
    ASSERT_TRUE(ms::ReadData(stream_, six));
    EXPECT_EQ(six[0].view(), "http://h/x");
}

// A stream whose position stands at the start of `raw`, which may hold any bytes. The bytes
// are the body of a record behind a line feed; ReadLine steps over the short length prefix
// (no byte of which is a line feed or a lead byte) and that line feed.
StreamHandle OpenAtRawBytes(std::string_view raw) {
    const std::size_t body = raw.size() + 1;
    EXPECT_TRUE(body != 0x0A && body < 0x80);
    const StreamHandle s = ms::Open();
    EXPECT_TRUE(ms::WriteData(s, {Bytes("\n" + std::string(raw))}));
    EXPECT_TRUE(ms::SeekToStart(s));
    ms::ReadLine(s);
    return s;
}

TEST_F(MemoryStreamRecords, HostileLengthFieldsFailWithoutMoving) {
    struct Case {
        const char* name;
        std::string raw;
    };
    const Case cases[] = {
        {"AllOnes", std::string("\xff\xff\xff\xff" "abc", 7)},
        {"HighBitSet", std::string("\x00\x00\x00\x80" "abc", 7)},
        {"OneByteShort", std::string("\x04\x00\x00\x00" "abc", 7)},
        {"ShortPrefix", std::string("\x01\x00", 2)},
        {"SecondRecordShort", std::string("\x01\x00\x00\x00" "a" "\x09\x00\x00\x00" "b", 10)},
    };
    for (const Case& c : cases) {
        const StreamHandle s = OpenAtRawBytes(c.raw);
        std::vector<Bytes> list(2, Bytes(std::string_view("keep")));
        EXPECT_FALSE(ms::ReadData(s, list)) << c.name;
        EXPECT_EQ(list, std::vector<Bytes>(2, Bytes(std::string_view("keep")))) << c.name;
        EXPECT_FALSE(ms::AtEnd(s)) << c.name;
        ms::Close(s);
    }
    // The position really stayed: the raw bytes are still there to read.
    const StreamHandle s = OpenAtRawBytes("\xff\xff\xff\xff" "abc");
    std::vector<Bytes> one(1);
    EXPECT_FALSE(ms::ReadData(s, one));
    EXPECT_EQ(ms::ReadLine(s), Text("\xff\xff\xff\xff" "abc"));
    ms::Close(s);
}

TEST_F(MemoryStreamRecords, EmptyListReadsAndWritesNothing) {
    EXPECT_TRUE(ms::WriteData(stream_, {}));
    EXPECT_TRUE(ms::AtEnd(stream_));
    std::vector<Bytes> none;
    EXPECT_TRUE(ms::ReadData(stream_, none));
}

using MemoryStreamLines = StreamFixture;

TEST_F(MemoryStreamLines, SplitsAtLineFeedsAndDropsFinalCarriageReturn) {
    ASSERT_TRUE(ms::WriteText(stream_, Text("a\r\nb\n\nc")));
    ASSERT_TRUE(ms::SeekToStart(stream_));
    EXPECT_EQ(ReadAllLines(), (std::vector<Text>{"a", "b", "", "c"}));
    EXPECT_TRUE(ms::AtEnd(stream_));
    EXPECT_EQ(ms::ReadLine(stream_), Text());  // at the end: empty, position stays
    EXPECT_TRUE(ms::AtEnd(stream_));
}

TEST_F(MemoryStreamLines, LineCases) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<Text> lines;
    };
    const Case cases[] = {
        {"TrailingLineFeed", "a\n", {"a"}},
        {"OnlyLineFeeds", "\n\n", {"", ""}},
        {"CarriageReturnInsideKept", "a\rb\r\n", {"a\rb"}},
        {"OnlyLastCarriageReturnDropped", "a\r\r\n", {"a\r"}},
        // 0xC4 0x0A is one character, so that 0x0A ends no line.
        {"LineFeedAsSecondByte", "\xc4\nx\ny", {"\xc4\nx", "y"}},
        {"LeadByteAtEnd", "ab\xc4", {"ab\xc4"}},
        {"LeadByteBeforeFinalLineFeed", "ab\xc4\n", {"ab\xc4\n"}},
        {"SubstituteByteIsPlainByte", "a\x1a" "b\nc", {"a\x1a" "b", "c"}},
        {"HeaderBlock", "HTTP/1.1 200 OK\r\nSet-Cookie: a=b\r\n\r\n",
         {"HTTP/1.1 200 OK", "Set-Cookie: a=b", ""}},
    };
    for (const Case& c : cases) {
        const StreamHandle s = ms::Open();
        ASSERT_TRUE(ms::WriteText(s, Text(c.content)));
        ASSERT_TRUE(ms::SeekToStart(s));
        std::vector<Text> lines;
        for (int guard = 0; !ms::AtEnd(s) && guard < 100; ++guard) lines.push_back(ms::ReadLine(s));
        EXPECT_EQ(lines, c.lines) << c.name;
        ms::Close(s);
    }
}

TEST_F(MemoryStreamLines, ZeroByteDoesNotStopTheLoop) {
    // A record body holds zero bytes; read the whole stream, prefix included, as lines.
    ASSERT_TRUE(ms::WriteData(stream_, {Bytes(std::string_view("x\0y\nz\0", 6))}));
    ASSERT_TRUE(ms::SeekToStart(stream_));
    const std::vector<Text> lines = ReadAllLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], Text("z"));  // the text ends at the zero byte
    EXPECT_TRUE(ms::AtEnd(stream_));
}

TEST(MemoryStreamPositions, WritingOverwritesAtPositionAndExtends) {
    const StreamHandle s = ms::Open();
    ASSERT_TRUE(ms::WriteText(s, Text("hello world")));
    ASSERT_TRUE(ms::SeekToStart(s));
    ASSERT_TRUE(ms::WriteText(s, Text("J")));
    EXPECT_FALSE(ms::AtEnd(s));
    EXPECT_EQ(ms::ReadLine(s), Text("ello world"));
    ASSERT_TRUE(ms::WriteText(s, Text("!!")));
    ASSERT_TRUE(ms::SeekToStart(s));
    EXPECT_EQ(ms::ReadLine(s), Text("Jello world!!"));
    ASSERT_TRUE(ms::WriteText(s, Text()));  // empty text writes nothing and succeeds
    EXPECT_TRUE(ms::AtEnd(s));
    ms::Close(s);
}

TEST(MemoryStreamHandles, ClosedOrUnknownHandleIsHarmless) {
    const StreamHandle s = ms::Open();
    ASSERT_TRUE(ms::WriteText(s, Text("abc")));
    ms::Close(s);
    ms::Close(s);  // twice: nothing happens
    for (const StreamHandle h : {s, StreamHandle{0}, ~StreamHandle{0}}) {
        EXPECT_TRUE(ms::AtEnd(h));
        EXPECT_FALSE(ms::SeekToStart(h));
        EXPECT_FALSE(ms::WriteText(h, Text("x")));
        EXPECT_FALSE(ms::WriteData(h, {Bytes(std::string_view("x"))}));
        std::vector<Bytes> list(2, Bytes(std::string_view("keep")));
        EXPECT_FALSE(ms::ReadData(h, list));
        EXPECT_EQ(list, std::vector<Bytes>(2, Bytes(std::string_view("keep"))));
        EXPECT_EQ(ms::ReadLine(h), Text());
    }
}

TEST(MemoryStreamHandles, HandlesAreNeverReused) {
    const StreamHandle a = ms::Open();
    ms::Close(a);
    const StreamHandle b = ms::Open();
    EXPECT_NE(a, b);
    EXPECT_NE(b, StreamHandle{0});
    // Writing through the old handle must not reach the new stream.
    EXPECT_FALSE(ms::WriteText(a, Text("x")));
    EXPECT_TRUE(ms::AtEnd(b));
    ms::Close(b);
}

TEST(MemoryStreamHandles, UsableFromAnotherThread) {
    const StreamHandle s = ms::Open();
    ASSERT_TRUE(ms::WriteData(s, {Bytes(std::string_view("request"))}));
    ASSERT_TRUE(ms::SeekToStart(s));
    std::vector<Bytes> seen;
    std::thread worker([s, &seen] {
        std::vector<Bytes> in(1);
        if (!ms::ReadData(s, in)) return;
        seen = in;
        ms::SeekToStart(s);
        ms::WriteData(s, {Bytes(std::string_view("answer")), in[0]});
    });
    worker.join();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].view(), "request");
    ASSERT_TRUE(ms::SeekToStart(s));
    std::vector<Bytes> back(2);
    ASSERT_TRUE(ms::ReadData(s, back));
    EXPECT_EQ(back[0].view(), "answer");
    EXPECT_EQ(back[1].view(), "request");
    ms::Close(s);
}

TEST(MemoryStreamHandles, WriterOnAnotherThreadSurvivesClose) {
    // A thread that keeps writing while the owner closes the stream neither crashes nor
    // reaches any other stream; once closed, its writes fail.
    const StreamHandle s = ms::Open();
    std::atomic<bool> closed{false};
    std::atomic<bool> failed_after_close{false};
    std::thread writer([&] {
        for (;;) {
            const bool was_closed = closed.load();
            const bool ok = ms::WriteData(s, {Bytes(std::string_view("chunk"))});
            if (was_closed && !ok) {
                failed_after_close = true;
                return;
            }
        }
    });
    ms::Close(s);
    closed = true;
    writer.join();
    EXPECT_TRUE(failed_after_close.load());
    EXPECT_TRUE(ms::AtEnd(s));
}

TEST(MemoryStreamHandles, StreamsOpenedOnManyThreadsAreDistinct) {
    std::vector<StreamHandle> handles(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        threads.emplace_back([&handles, i] {
            handles[i] = ms::Open();
            ms::WriteText(handles[i], Text(std::to_string(i)));
        });
    }
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < handles.size(); ++i) {
        ASSERT_TRUE(ms::SeekToStart(handles[i]));
        EXPECT_EQ(ms::ReadLine(handles[i]), Text(std::to_string(i)));
        ms::Close(handles[i]);
    }
}

}  // namespace
}  // namespace qelvanto
