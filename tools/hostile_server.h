#pragma once

// A loopback group directory that misbehaves on purpose. Page 0 of "/group/search/" gets the
// answer of the chosen mode; every later page gets a well-formed page without records, so a
// run that goes on past page 0 ends on page 1. Tests and the hostile benchmark run it
// in-process.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelvanto::tools {

enum class HostileMode {
    kNoAnswer,          // accepts the connection, reads the request, never writes a byte
    kEmptyReply,        // closes the connection without a byte of answer
    kHeadersThenStall,  // status and headers, part of a page with records, then nothing
    kDrip,              // a page written one byte a second
    kResetMidBody,      // some whole records, then a TCP reset in the middle of the body
    kEndlessBody,       // a body without length that never ends
    kHugeHeaders,       // 10 MB of header lines before a page with records
    kRedirectLoop,      // every request of page 0 is sent to another address of page 0
    kBrokenChunked,     // one good chunk of whole records, then a chunk size that is no number
    kCutChunked,        // a chunk that announces more than it brings before the close
    kHtmlPage,          // an HTML error page with status 200
    kBinaryBody,        // bytes that are not UTF-8, NULs among them
    kNearRecords,       // records that miss the pattern by one detail each
    kHugeNearRecords,   // 48 MiB of one record whose name never closes
    kHugePage,          // one page of 100,000 records
};

std::string_view HostileModeName(HostileMode mode);
std::vector<HostileMode> AllHostileModes();

struct HostileOptions {
    // Whole records that page 0 carries in the modes that bring records; kHugePage uses
    // huge_page_records.
    int records = 5;
    int huge_page_records = 100'000;
    // Delay between two bytes of kDrip.
    int drip_interval_ms = 1000;
};

// The record at `index` of a hostile page: GeneratedRecord(0, index) with a member count of
// 100 + index, so every one of them is above a minimum of 50.
std::string HostileRecord(int index);
// groupCallback({...,"groups":[ records 0..count-1 ]}) as the endpoint writes it.
std::string HostilePageBody(int count);
// The number in "groupNum" of HostileRecord(index), as text.
std::string HostileGroupNumber(int index);

class HostileServer {
  public:
    explicit HostileServer(HostileMode mode, HostileOptions options = {});
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    bool Start();  // 127.0.0.1, ephemeral port
    // Ends every stalled or endless answer and joins the server's threads. Safe to call twice.
    void Stop();

    // "http://127.0.0.1:PORT/group/search/"
    std::string BaseUrl() const;
    HostileMode mode() const;

    // Requests seen, of every page, and those of pages after page 0.
    std::size_t RequestCount() const;
    std::size_t LaterPageRequests() const;
    std::size_t ConnectionCount() const;
    // Bytes the server managed to hand to its sockets, over all answers.
    std::uint64_t BytesSent() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qelvanto::tools
