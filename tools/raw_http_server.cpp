#include "raw_http_server.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qelvanto::tools {
namespace {

std::size_t ContentLength(std::string_view head) {
    std::size_t pos = 0;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string_view::npos) break;
        std::string_view line = head.substr(pos, end - pos);
        pos = end + 2;
        constexpr std::string_view kName = "content-length:";
        if (line.size() < kName.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < kName.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(line[i])) != kName[i]) match = false;
        }
        if (!match) continue;
        std::size_t value = 0;
        for (char c : line.substr(kName.size())) {
            if (c >= '0' && c <= '9') value = value * 10 + static_cast<std::size_t>(c - '0');
        }
        return std::min<std::size_t>(value, std::size_t{1} << 30);
    }
    return 0;
}

}  // namespace

std::string RawRequest::RequestLine() const { return head.substr(0, head.find("\r\n")); }

std::vector<std::string> RawRequest::HeaderLines() const {
    std::vector<std::string> lines;
    std::size_t pos = head.find("\r\n");
    if (pos == std::string::npos) return lines;
    pos += 2;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string::npos || end == pos) break;
        lines.push_back(head.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

bool RawConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void RawConnection::WaitForPeerClose() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0 || (n < 0 && errno == EINTR)) continue;
        return;
    }
}

std::string RawResponse(std::string_view status, std::string_view body,
                        std::string_view extra_header_lines) {
    std::string out = "HTTP/1.1 ";
    out += status;
    out += "\r\nContent-Length: ";
    out += std::to_string(body.size());
    out += "\r\n";
    out += extra_header_lines;
    out += "\r\n";
    out += body;
    return out;
}

struct RawHttpServer::Impl {
    RawHandler handler;
    int listen_fd = -1;
    int port = 0;
    std::thread acceptor;

    mutable std::mutex mutex;
    std::condition_variable released_cv;
    bool stopping = false;
    std::uint64_t release_generation = 0;
    std::vector<std::thread> connections;
    std::size_t accepted = 0;
    std::vector<int> open_fds;
    std::vector<RawRequest> requests;

    void AcceptLoop() {
        for (;;) {
            const int fd = ::accept(listen_fd, nullptr, nullptr);
            if (fd < 0) {
                if (errno == EINTR) continue;
                return;
            }
            std::lock_guard lock(mutex);
            if (stopping) {
                ::close(fd);
                return;
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            open_fds.push_back(fd);
            ++accepted;
            connections.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        std::string buffer;
        RawConnection connection(fd);
        char chunk[16384];
        for (;;) {
            std::size_t head_end;
            while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) return Finish(fd, false);
                buffer.append(chunk, static_cast<std::size_t>(n));
            }
            RawRequest request;
            request.head = buffer.substr(0, head_end + 4);
            const std::size_t body_length = ContentLength(request.head);
            while (buffer.size() < head_end + 4 + body_length) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) return Finish(fd, false);
                buffer.append(chunk, static_cast<std::size_t>(n));
            }
            request.body = buffer.substr(head_end + 4, body_length);
            buffer.erase(0, head_end + 4 + body_length);
            {
                std::lock_guard lock(mutex);
                requests.push_back(request);
            }
            handler(request, connection);
            if (connection.closing()) return Finish(fd, connection.resetting());
        }
    }

    void Finish(int fd, bool reset) {
        std::lock_guard lock(mutex);
        auto it = std::find(open_fds.begin(), open_fds.end(), fd);
        if (it == open_fds.end()) return;  // Stop() owns it now
        open_fds.erase(it);
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(fd);
    }
};

RawHttpServer::RawHttpServer(RawHandler handler) : impl_(std::make_shared<Impl>()) {
    impl_->handler = std::move(handler);
}

RawHttpServer::~RawHttpServer() { Stop(); }

bool RawHttpServer::Start() {
    if (impl_->listen_fd >= 0) return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return false;
    }
    impl_->listen_fd = fd;
    impl_->port = ntohs(addr.sin_port);
    impl_->acceptor = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
    return true;
}

void RawHttpServer::Stop() {
    if (impl_->listen_fd < 0) return;
    std::vector<std::thread> threads;
    std::vector<int> fds;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping) return;
        impl_->stopping = true;
        fds = std::move(impl_->open_fds);
        impl_->open_fds.clear();
    }
    impl_->released_cv.notify_all();
    ::shutdown(impl_->listen_fd, SHUT_RDWR);
    for (int fd : fds) ::shutdown(fd, SHUT_RDWR);
    impl_->acceptor.join();
    {
        std::lock_guard lock(impl_->mutex);
        threads = std::move(impl_->connections);
    }
    for (auto& t : threads) t.join();
    for (int fd : fds) ::close(fd);
    ::close(impl_->listen_fd);
}

int RawHttpServer::port() const { return impl_->port; }

std::string RawHttpServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + std::string(path);
}

std::size_t RawHttpServer::ConnectionCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->accepted;
}

std::vector<RawRequest> RawHttpServer::Requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

RawRequest RawHttpServer::LastRequest() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests.empty() ? RawRequest{} : impl_->requests.back();
}

bool RawHttpServer::WaitForRelease() {
    std::unique_lock lock(impl_->mutex);
    const auto generation = impl_->release_generation;
    impl_->released_cv.wait(lock, [&] {
        return impl_->stopping || impl_->release_generation != generation;
    });
    return !impl_->stopping;
}

bool RawHttpServer::WaitFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(impl_->mutex);
    return !impl_->released_cv.wait_for(lock, duration, [&] { return impl_->stopping; });
}

void RawHttpServer::Release() {
    {
        std::lock_guard lock(impl_->mutex);
        ++impl_->release_generation;
    }
    impl_->released_cv.notify_all();
}

int ClosedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace qelvanto::tools
