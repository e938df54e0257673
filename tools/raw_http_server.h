#pragma once

// A loopback HTTP server on plain POSIX sockets for tests that must see the request exactly as
// it arrived (header lines in their order, the request line of a proxy request) or answer in
// ways a well-behaved server never does (stalls, resets, endless bodies, odd headers).

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelvanto::tools {

struct RawRequest {
    std::string head;  // request line and header lines, each ended by CRLF, then the empty line
    std::string body;  // Content-Length bytes after the head

    std::string RequestLine() const;
    // The header lines without their CRLF, in the order received.
    std::vector<std::string> HeaderLines() const;
};

class RawConnection {
public:
    explicit RawConnection(int fd) : fd_(fd) {}
    // Writes all of `bytes`; false once the peer has gone or the server is stopping.
    bool Send(std::string_view bytes);
    // Ends the connection after the handler returns, with a FIN.
    void Close() { close_ = true; }
    // Ends the connection after the handler returns with a TCP reset.
    void Reset() { reset_ = true; }
    // Blocks until the client closes its end or the server stops, reading and dropping
    // whatever else arrives.
    void WaitForPeerClose();
    int fd() const { return fd_; }
    bool closing() const { return close_ || reset_; }
    bool resetting() const { return reset_; }

private:
    int fd_;
    bool close_ = false;
    bool reset_ = false;
};

// Called for every request; after it returns the connection serves the next request unless
// the handler closed or reset it.
using RawHandler = std::function<void(const RawRequest&, RawConnection&)>;

// "HTTP/1.1 <status>\r\nContent-Length: N\r\n<extra>\r\n<body>" where extra holds whole lines.
std::string RawResponse(std::string_view status, std::string_view body,
                        std::string_view extra_header_lines = {});

class RawHttpServer {
public:
    explicit RawHttpServer(RawHandler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    bool Start();  // 127.0.0.1, ephemeral port
    void Stop();   // closes every connection and releases every stalled handler
    int port() const;
    std::string Url(std::string_view path = "/") const;  // "http://127.0.0.1:PORT" + path

    std::size_t ConnectionCount() const;
    std::vector<RawRequest> Requests() const;
    RawRequest LastRequest() const;

    // For handlers: blocks until Release() or Stop(); false when the server is stopping.
    bool WaitForRelease();
    void Release();
    // For handlers that pace their answer: blocks for `duration` or until Stop(); false when
    // the server is stopping.
    bool WaitFor(std::chrono::milliseconds duration);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// A loopback port that nothing listens on (bound once, then released), for refused
// connections.
int ClosedLoopbackPort();

}  // namespace qelvanto::tools
