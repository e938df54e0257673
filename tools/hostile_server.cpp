#include "hostile_server.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <utility>

#include "directory_server.h"
#include "raw_http_server.h"

namespace qelvanto::tools {
namespace {

constexpr std::string_view kPageStart = "groupCallback({\"retcode\":0,\"result\":{\"groups\":[";
constexpr std::string_view kPageEnd = "]}})";
constexpr std::string_view kScriptType = "Content-Type: text/javascript; charset=utf-8\r\n";
constexpr std::size_t kHugeHeaderBytes = std::size_t{10} << 20;
constexpr std::size_t kHugeNearRecordBytes = std::size_t{32} << 20;
constexpr std::size_t kPiece = std::size_t{64} << 10;

// The page number of "/group/search/<page>?...", or -1 for any other target.
int PageOf(const RawRequest& request) {
    const std::string line = request.RequestLine();
    constexpr std::string_view kPath = "/group/search/";
    const auto at = line.find(kPath);
    if (at == std::string::npos) return -1;
    int page = 0;
    bool digits = false;
    for (std::size_t i = at + kPath.size(); i < line.size() && line[i] >= '0' && line[i] <= '9';
         ++i) {
        page = std::min(page * 10 + (line[i] - '0'), 1'000'000);
        digits = true;
    }
    return digits ? page : -1;
}

// A page prefix holding records 0..count-1 whole and followed by a comma, so the next record
// would start right there.
std::string PagePrefix(int count) {
    std::string out(kPageStart);
    for (int i = 0; i < count; ++i) {
        out += HostileRecord(i);
        out += ',';
    }
    return out;
}

// A record that misses the record pattern in one detail each, chosen by `variant`.
std::string NearRecord(int index, int variant) {
    GroupRecord r = GeneratedRecord(0, index);
    r.member_count = 500;
    std::string text = FormatGroupRecord(r);
    auto replace = [&text](std::string_view from, std::string_view to) {
        const auto at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
    };
    switch (variant % 5) {
        case 0:
            replace("\"memberCount\":500", "\"memberCount\":\"500\"");
            break;  // quoted count
        case 1:
            replace("\"ownerId\":", "\"ownerId\": ");
            break;  // white space
        case 2:
            replace("\"creator\":{", "\"creater\":{");
            break;  // misspelt key
        case 3:
            replace("\"ugroupId\":", "\"ugroupID\":\"x");
            break;  // not a number
        default:
            replace(",\"age\":", ",\"age\":-");
            break;  // a sign
    }
    return text;
}

std::string BinaryBody() {
    std::string out;
    out.reserve(4096);
    std::uint32_t x = 2463534242u;
    for (int i = 0; i < 4096; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out.push_back(static_cast<char>(x & 0xFF));
    }
    out[17] = '\0';
    out.replace(100, 4, "\xff\xfe\xc3\x28");  // bytes that are never UTF-8
    return out;
}

}  // namespace

std::string_view HostileModeName(HostileMode mode) {
    switch (mode) {
        case HostileMode::kNoAnswer:
            return "no-answer";
        case HostileMode::kEmptyReply:
            return "empty-reply";
        case HostileMode::kHeadersThenStall:
            return "headers-then-stall";
        case HostileMode::kDrip:
            return "drip";
        case HostileMode::kResetMidBody:
            return "reset-mid-body";
        case HostileMode::kEndlessBody:
            return "endless-body";
        case HostileMode::kHugeHeaders:
            return "huge-headers";
        case HostileMode::kRedirectLoop:
            return "redirect-loop";
        case HostileMode::kBrokenChunked:
            return "broken-chunked";
        case HostileMode::kCutChunked:
            return "cut-chunked";
        case HostileMode::kHtmlPage:
            return "html-page";
        case HostileMode::kBinaryBody:
            return "binary-body";
        case HostileMode::kNearRecords:
            return "near-records";
        case HostileMode::kHugeNearRecords:
            return "huge-near-records";
        case HostileMode::kHugePage:
            return "huge-page";
    }
    return "unknown";
}

std::vector<HostileMode> AllHostileModes() {
    return {
        HostileMode::kNoAnswer,    HostileMode::kEmptyReply,      HostileMode::kHeadersThenStall,
        HostileMode::kDrip,        HostileMode::kResetMidBody,    HostileMode::kEndlessBody,
        HostileMode::kHugeHeaders, HostileMode::kRedirectLoop,    HostileMode::kBrokenChunked,
        HostileMode::kCutChunked,  HostileMode::kHtmlPage,        HostileMode::kBinaryBody,
        HostileMode::kNearRecords, HostileMode::kHugeNearRecords, HostileMode::kHugePage};
}

std::string HostileRecord(int index) {
    GroupRecord r = GeneratedRecord(0, index);
    // Every fourth group stands exactly at a minimum of 50 and is not kept.
    r.member_count = index % 4 == 3 ? 50 : 51 + static_cast<std::uint64_t>(index % 900);
    return FormatGroupRecord(r);
}

std::string HostilePageBody(int count) {
    std::string out(kPageStart);
    out.reserve(out.size() + static_cast<std::size_t>(std::max(count, 0)) * 300 + kPageEnd.size());
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        out += HostileRecord(i);
    }
    out += kPageEnd;
    return out;
}

std::string HostileGroupNumber(int index) {
    return std::to_string(GeneratedRecord(0, index).group_num);
}

struct HostileServer::Impl {
    HostileMode mode;
    HostileOptions options;
    std::atomic<std::size_t> later_page_requests{0};
    std::atomic<std::size_t> redirect_hops{0};
    std::atomic<std::uint64_t> bytes_sent{0};
    std::unique_ptr<RawHttpServer> server;

    Impl(HostileMode m, HostileOptions o) : mode(m), options(o) {}

    bool Send(RawConnection& c, std::string_view bytes) {
        while (!bytes.empty()) {
            const std::string_view piece = bytes.substr(0, kPiece);
            if (!c.Send(piece)) return false;
            bytes_sent.fetch_add(piece.size(), std::memory_order_relaxed);
            bytes.remove_prefix(piece.size());
        }
        return true;
    }

    // Waits until the peer has taken every byte written, so a reset that follows cannot
    // discard data still queued on this side.
    void WaitUntilTaken(RawConnection& c) {
        for (int i = 0; i < 200; ++i) {
            int unsent = 0;
            if (::ioctl(c.fd(), SIOCOUTQ, &unsent) != 0 || unsent == 0) return;
            if (!server->WaitFor(std::chrono::milliseconds(10))) return;
        }
    }

    void Handle(const RawRequest& request, RawConnection& c) {
        const int page = PageOf(request);
        if (page != 0) {
            if (page > 0) later_page_requests.fetch_add(1, std::memory_order_relaxed);
            Send(c, RawResponse("200 OK", HostilePageBody(0), kScriptType));
            return;
        }
        const std::string records_page = HostilePageBody(options.records);
        const std::string prefix = PagePrefix(options.records);
        switch (mode) {
            case HostileMode::kNoAnswer:
                server->WaitForRelease();
                c.Close();
                return;
            case HostileMode::kEmptyReply:
                c.Close();
                return;
            case HostileMode::kHeadersThenStall: {
                const std::string head = "HTTP/1.1 200 OK\r\n" + std::string(kScriptType) +
                                         "Content-Length: " + std::to_string(records_page.size()) +
                                         "\r\n\r\n";
                if (Send(c, head) && Send(c, records_page.substr(0, records_page.size() / 2))) {
                    server->WaitForRelease();
                }
                c.Close();
                return;
            }
            case HostileMode::kDrip: {
                const std::string head = "HTTP/1.1 200 OK\r\n" + std::string(kScriptType) +
                                         "Content-Length: " + std::to_string(records_page.size()) +
                                         "\r\n\r\n";
                if (!Send(c, head)) return c.Close();
                for (char byte : records_page) {
                    if (!Send(c, std::string_view(&byte, 1))) break;
                    if (!server->WaitFor(std::chrono::milliseconds(options.drip_interval_ms)))
                        break;
                }
                c.Close();
                return;
            }
            case HostileMode::kResetMidBody: {
                // The length announces one record more than is written, and half of that one
                // is on the wire when the connection is reset.
                const std::string whole = PagePrefix(options.records + 1);
                const std::string cut =
                    whole.substr(0, prefix.size() + (whole.size() - prefix.size()) / 2);
                const std::string head =
                    "HTTP/1.1 200 OK\r\n" + std::string(kScriptType) +
                    "Content-Length: " + std::to_string(whole.size() + kPageEnd.size()) +
                    "\r\n\r\n";
                if (Send(c, head) && Send(c, cut)) WaitUntilTaken(c);
                c.Reset();
                return;
            }
            case HostileMode::kEndlessBody: {
                std::string head =
                    "HTTP/1.1 200 OK\r\n" + std::string(kScriptType) + "Connection: close\r\n\r\n";
                head += kPageStart;
                if (!Send(c, head)) return c.Close();
                std::string filler;
                while (filler.size() < kPiece)
                    filler += "{\"groupNum\":\"filler\",\"padding\":\"0123456789\"},\n";
                while (Send(c, filler)) {
                }
                c.Close();
                return;
            }
            case HostileMode::kHugeHeaders: {
                std::string head = "HTTP/1.1 200 OK\r\n" + std::string(kScriptType);
                const std::string value(1000, 'h');
                char name[32];
                for (int i = 0; head.size() < kHugeHeaderBytes; ++i) {
                    std::snprintf(name, sizeof name, "X-Filler-%06d: ", i);
                    head += name;
                    head += value;
                    head += "\r\n";
                }
                head += "Content-Length: " + std::to_string(records_page.size()) + "\r\n\r\n";
                if (Send(c, head)) Send(c, records_page);
                c.Close();
                return;
            }
            case HostileMode::kRedirectLoop: {
                const std::size_t hop = redirect_hops.fetch_add(1, std::memory_order_relaxed) + 1;
                // Every hop names a new address, so only a count of hops can end the loop.
                Send(c,
                     RawResponse("302 Found", "",
                                 "Location: /group/search/0?hop=" + std::to_string(hop) + "\r\n"));
                return;
            }
            case HostileMode::kBrokenChunked:
            case HostileMode::kCutChunked: {
                char size[32];
                std::snprintf(size, sizeof size, "%zx\r\n", prefix.size());
                std::string out = "HTTP/1.1 200 OK\r\n" + std::string(kScriptType) +
                                  "Transfer-Encoding: chunked\r\n\r\n" + size + prefix + "\r\n";
                if (mode == HostileMode::kBrokenChunked) {
                    out += "zz\r\n" + HostileRecord(options.records) + "\r\n0\r\n\r\n";
                } else {
                    out += "1000\r\n" + HostileRecord(options.records).substr(0, 40);
                }
                if (Send(c, out)) WaitUntilTaken(c);
                c.Close();
                return;
            }
            case HostileMode::kHtmlPage:
                Send(c,
                     RawResponse(
                         "200 OK",
                         "<!DOCTYPE html><html><head><title>503 Service Unavailable</title></head>"
                         "<body><h1>Service Unavailable</h1><p>groupNum memberCount name</p>"
                         "</body></html>",
                         "Content-Type: text/html\r\n"));
                return;
            case HostileMode::kBinaryBody:
                Send(c, RawResponse("200 OK", BinaryBody(),
                                    "Content-Type: application/octet-stream\r\n"));
                return;
            case HostileMode::kNearRecords: {
                // One record a line: on a single line the lazy groups of the pattern would
                // reach into the next record and take the pair for one record.
                std::string body(kPageStart);
                for (int i = 0; i < 10; ++i) body += (i ? ",\n" : "\n") + NearRecord(i, i);
                body += kPageEnd;
                Send(c, RawResponse("200 OK", body, kScriptType));
                return;
            }
            case HostileMode::kHugeNearRecords: {
                // One line of near-records: the lazy groups of the pattern may run to the end
                // of the line from every candidate start.
                std::string body(kPageStart);
                body.reserve(kHugeNearRecordBytes + 4096);
                for (int i = 0; body.size() < kHugeNearRecordBytes; ++i) {
                    body += NearRecord(i, 2);
                    body += ',';
                }
                body += kPageEnd;
                Send(c, RawResponse("200 OK", body, kScriptType));
                return;
            }
            case HostileMode::kHugePage: {
                const std::string body = HostilePageBody(options.huge_page_records);
                Send(c, RawResponse("200 OK", body, kScriptType));
                return;
            }
        }
    }
};

HostileServer::HostileServer(HostileMode mode, HostileOptions options)
    : impl_(std::make_unique<Impl>(mode, options)) {
    impl_->server = std::make_unique<RawHttpServer>(
        [impl = impl_.get()](const RawRequest& request, RawConnection& c) {
            impl->Handle(request, c);
        });
}

HostileServer::~HostileServer() { Stop(); }

bool HostileServer::Start() { return impl_->server->Start(); }

void HostileServer::Stop() { impl_->server->Stop(); }

std::string HostileServer::BaseUrl() const { return impl_->server->Url("/group/search/"); }

HostileMode HostileServer::mode() const { return impl_->mode; }

std::size_t HostileServer::RequestCount() const { return impl_->server->Requests().size(); }

std::size_t HostileServer::LaterPageRequests() const {
    return impl_->later_page_requests.load(std::memory_order_relaxed);
}

std::size_t HostileServer::ConnectionCount() const { return impl_->server->ConnectionCount(); }

std::uint64_t HostileServer::BytesSent() const {
    return impl_->bytes_sent.load(std::memory_order_relaxed);
}

}  // namespace qelvanto::tools
