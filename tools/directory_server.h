#pragma once

// A loopback stand-in for the group directory's search endpoint. It serves
// "/group/search/<page>" on 127.0.0.1 with generated pages of group records in the JSONP shape
// the endpoint answers with, and counts what it sees. Tests, benchmarks and the demo run it
// in-process; tools/directory_main.cpp serves it from the command line.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelvanto::tools {

// One group record, written out member by member in the order the endpoint uses.
struct GroupRecord {
    std::uint64_t group_num = 0;
    std::uint64_t ugroup_id = 0;
    std::uint64_t owner_id = 0;
    std::uint32_t logo_index = 0;
    std::uint64_t member_count = 0;
    std::string name;  // UTF-8, written between quotes as it stands (escape it yourself)
    std::uint64_t uid = 0;
    std::uint64_t imid = 0;
    std::string nick;  // UTF-8, as name
    std::uint32_t creator_logo_index = 0;
    std::uint64_t jifen = 0;
    std::string followed = "false";
    std::uint32_t age = 0;
};

// {"groupNum":..,...,"creator":{...,"age":..}} without white space.
std::string FormatGroupRecord(const GroupRecord& record);

// The default record at `index` (0-based) of page `page`: ASCII names, numbers that differ
// from record to record, member counts spread over 1..999.
GroupRecord GeneratedRecord(int page, int index);

// A record as a real directory might hold it for `keyword`: Chinese names built around the
// keyword, now and then an escaped quote, a \u escape or an emoji in the name, and member
// counts that cluster around the tool's default minimum of 50.
GroupRecord RealisticRecord(int page, int index, const std::string& keyword);

// What the server received: the page asked for (-1 when the path held none that fits) and the
// keyword decoded from the query.
struct ReceivedRequest {
    int page = -1;
    std::string keyword;
    std::string target;
};

struct DirectoryOptions {
    // Pages 0 .. pages-1 hold records; every later page holds none.
    int pages = 3;
    int records_per_page = 20;
    // Added before every answer (the wait ends at once when the server stops).
    std::chrono::milliseconds latency{0};
    // Makes the record at (page, index) for the keyword of the request (UTF-8, decoded from
    // the query). Empty: GeneratedRecord.
    std::function<GroupRecord(int page, int index, const std::string& keyword)> make_record;
    // Replaces the whole body of a page when set (hostile and odd answers).
    std::function<std::string(int page, const std::string& keyword)> make_body;
};

// groupCallback({"retcode":0,"result":{"groups":[...]}}) for one page.
std::string GroupPageBody(int page, const std::string& keyword, const DirectoryOptions& options);

class DirectoryServer {
public:
    explicit DirectoryServer(DirectoryOptions options = {});
    ~DirectoryServer();
    DirectoryServer(const DirectoryServer&) = delete;
    DirectoryServer& operator=(const DirectoryServer&) = delete;

    // Binds 127.0.0.1 on `port` (0: an ephemeral one) and starts serving. False when the
    // port cannot be bound.
    bool Start(int port = 0);
    // Stops serving and releases every stalled request. Safe to call twice.
    void Stop();

    int port() const;
    // "http://127.0.0.1:PORT/group/search/"
    std::string BaseUrl() const;

    std::size_t RequestCount() const;
    // Every request so far, in the order they arrived.
    std::vector<ReceivedRequest> Requests() const;
    // Accepted TCP connections; requests that share a kept-alive connection count once.
    std::size_t ConnectionCount() const;
    // The request target ("/group/search/0?callback=...") and header lines
    // ("Name: value\r\n", ordered by name) of the latest request.
    std::string LastRequestTarget() const;
    std::string LastRequestHeaders() const;

    // While stalled, every request waits until ReleaseStalled() or Stop().
    void SetStalled(bool stalled);
    void ReleaseStalled();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qelvanto::tools
