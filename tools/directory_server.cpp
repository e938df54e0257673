#include "directory_server.h"

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <httplib.h>

namespace qelvanto::tools {
namespace {

// cpp-httplib hands every accepted socket to its task queue once and then serves all the
// requests of that connection in the same task, so counting enqueues counts connections.
class CountingQueue final : public httplib::TaskQueue {
public:
    CountingQueue(std::size_t threads, std::atomic<std::size_t>& connections)
        : pool_(threads), connections_(connections) {}

    void enqueue(std::function<void()> fn) override {
        connections_.fetch_add(1, std::memory_order_relaxed);
        pool_.enqueue(std::move(fn));
    }
    void shutdown() override { pool_.shutdown(); }

private:
    httplib::ThreadPool pool_;
    std::atomic<std::size_t>& connections_;
};

void AppendNumber(std::string& out, const char* key, std::uint64_t value) {
    out += '"';
    out += key;
    out += "\":";
    out += std::to_string(value);
}

void AppendString(std::string& out, const char* key, const std::string& value) {
    out += '"';
    out += key;
    out += "\":\"";
    out += value;
    out += '"';
}

// cpp-httplib serves a kept-alive connection until its idle time-out, even after stop(). The
// sockets it accepted are the connected ones whose local port is the server's, so shutting
// those down lets it finish at once.
void ShutDownAcceptedSockets(int port) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    std::vector<int> fds;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') fds.push_back(std::atoi(entry->d_name));
    }
    ::closedir(dir);
    for (int fd : fds) {
        sockaddr_in local{}, peer{};
        socklen_t local_len = sizeof local, peer_len = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != port) {
            continue;
        }
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) continue;  // the listener
        ::shutdown(fd, SHUT_RDWR);
    }
}

}  // namespace

std::string FormatGroupRecord(const GroupRecord& r) {
    std::string out;
    out.reserve(256 + r.name.size() + r.nick.size());
    out += '{';
    AppendNumber(out, "groupNum", r.group_num);
    out += ',';
    AppendNumber(out, "ugroupId", r.ugroup_id);
    out += ',';
    AppendNumber(out, "ownerId", r.owner_id);
    out += ',';
    AppendNumber(out, "logoIndex", r.logo_index);
    out += ',';
    AppendNumber(out, "memberCount", r.member_count);
    out += ',';
    AppendString(out, "name", r.name);
    out += ",\"creator\":{";
    AppendNumber(out, "uid", r.uid);
    out += ',';
    AppendNumber(out, "imid", r.imid);
    out += ',';
    AppendString(out, "nick", r.nick);
    out += ',';
    AppendNumber(out, "logoIndex", r.creator_logo_index);
    out += ',';
    AppendNumber(out, "jifen", r.jifen);
    out += ",\"followed\":";
    out += r.followed;
    out += ',';
    AppendNumber(out, "age", r.age);
    out += "}}";
    return out;
}

GroupRecord GeneratedRecord(int page, int index) {
    const auto serial = static_cast<std::uint64_t>(page) * 1000 + static_cast<std::uint64_t>(index);
    GroupRecord r;
    r.group_num = 100000 + serial * 7;
    r.ugroup_id = 500000 + serial;
    r.owner_id = 900000 + serial * 3;
    r.logo_index = static_cast<std::uint32_t>(serial % 16);
    r.member_count = (serial * 37) % 999 + 1;
    r.name = "Group " + std::to_string(page) + "-" + std::to_string(index);
    r.uid = 700000 + serial;
    r.imid = 800000 + serial;
    r.nick = "owner" + std::to_string(serial);
    r.creator_logo_index = static_cast<std::uint32_t>(serial % 8);
    r.jifen = serial * 11 % 5000;
    r.age = static_cast<std::uint32_t>(18 + serial % 50);
    return r;
}

GroupRecord RealisticRecord(int page, int index, const std::string& keyword) {
    static const char* const kPrefixes[] = {"\u5feb\u4e50", "\u5317\u4eac", "\u9f99\u6e56",
                                            "\u9752\u6625", "\u6e38\u620f", "\u4e66\u53cb"};
    static const char* const kSuffixes[] = {"\u4ea4\u6d41\u7fa4", "\u540c\u57ce", "\u4ff1\u4e50\u90e8",
                                            "\u5927\u5bb6\u5ead", "\u7231\u597d\u8005"};
    GroupRecord r = GeneratedRecord(page, index);
    const auto serial = static_cast<std::uint64_t>(page) * 1000 + static_cast<std::uint64_t>(index);
    // UTF-8, as the directory sends it.
    std::string quoted_keyword;  // the keyword as a JSON string holds it
    for (char c : keyword) {
        if (c == '"' || c == '\\') quoted_keyword += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) quoted_keyword += c;
    }
    std::string name = std::string(kPrefixes[serial % 6]) + quoted_keyword + kSuffixes[(serial / 6) % 5] +
                       std::to_string(serial);
    switch (serial % 11) {
        case 3: name += "\\\"VIP\\\""; break;    // an escaped quote: the name is cut there
        case 5: name += "\\u2605"; break;           // a JSON escape shown as it stands
        case 7: name += "\xf0\x9f\x98\x80"; break;  // an emoji, beyond code page 936
        default: break;
    }
    r.name = std::move(name);
    r.nick = "\u7fa4\u4e3b" + std::to_string(serial % 97);
    // Mostly around the default minimum, now and then a large group.
    r.member_count = serial % 13 == 0 ? 2000 + serial % 1000 : 44 + (serial * 7) % 13;
    return r;
}

std::string GroupPageBody(int page, const std::string& keyword, const DirectoryOptions& options) {
    if (options.make_body) return options.make_body(page, keyword);
    std::string body = "groupCallback({\"retcode\":0,\"result\":{\"groups\":[";
    if (page >= 0 && page < options.pages) {
        for (int i = 0; i < options.records_per_page; ++i) {
            if (i > 0) body += ',';
            body += FormatGroupRecord(options.make_record ? options.make_record(page, i, keyword)
                                                          : GeneratedRecord(page, i));
        }
    }
    body += "]}})";
    return body;
}

struct DirectoryServer::Impl {
    explicit Impl(DirectoryOptions o) : options(std::move(o)) {}

    DirectoryOptions options;
    httplib::Server server;
    std::thread listener;
    int port = 0;
    std::atomic<std::size_t> requests{0};
    std::atomic<std::size_t> connections{0};

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool stalled = false;
    std::uint64_t release_generation = 0;
    std::string last_target;
    std::string last_headers;
    std::vector<ReceivedRequest> received;

    // Waits for the added latency and any stall; false when the server is stopping.
    bool Hold() {
        std::unique_lock lock(mutex);
        if (options.latency.count() > 0) {
            wake.wait_for(lock, options.latency, [&] { return stopping; });
        }
        const auto generation = release_generation;
        wake.wait(lock, [&] { return stopping || !stalled || release_generation != generation; });
        return !stopping;
    }

    void Serve(const httplib::Request& req, httplib::Response& res) {
        requests.fetch_add(1, std::memory_order_relaxed);
        const std::string page_text = req.matches[1];
        int page = -1;
        if (page_text.size() <= 9) page = std::stoi(page_text);
        const std::string keyword = req.get_param_value("name");
        {
            std::string headers;
            for (const auto& [name, value] : req.headers) {
                if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                    name == "LOCAL_PORT") {
                    continue;  // added by cpp-httplib, not sent by the client
                }
                headers += name + ": " + value + "\r\n";
            }
            std::lock_guard lock(mutex);
            last_target = req.target;
            last_headers = std::move(headers);
            received.push_back(ReceivedRequest{page, keyword, req.target});
        }
        if (!Hold()) {
            res.status = 503;
            return;
        }
        res.set_content(GroupPageBody(page, keyword, options), "application/javascript; charset=utf-8");
    }
};

DirectoryServer::DirectoryServer(DirectoryOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {
    auto* impl = impl_.get();
    impl->server.new_task_queue = [impl] {
        const std::size_t threads = std::max(8u, std::thread::hardware_concurrency());
        return new CountingQueue(threads, impl->connections);
    };
    // Clients that keep their connection should keep it for as long as they like.
    impl->server.set_keep_alive_max_count(std::size_t{1} << 30);
    impl->server.set_tcp_nodelay(true);
    impl->server.Get(R"(/group/search/(\d+))",
                     [impl](const httplib::Request& req, httplib::Response& res) { impl->Serve(req, res); });
}

DirectoryServer::~DirectoryServer() { Stop(); }

bool DirectoryServer::Start(int port) {
    if (impl_->listener.joinable()) return true;
    if (port == 0) {
        impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
        if (impl_->port <= 0) return false;
    } else {
        if (!impl_->server.bind_to_port("127.0.0.1", port)) return false;
        impl_->port = port;
    }
    impl_->listener = std::thread([impl = impl_.get()] { impl->server.listen_after_bind(); });
    // stop() is a no-op until the listen loop runs, so Stop() right after Start() would hang.
    while (!impl_->server.is_running()) std::this_thread::yield();
    return true;
}

void DirectoryServer::Stop() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    if (impl_->listener.joinable()) {
        impl_->server.stop();
        ShutDownAcceptedSockets(impl_->port);
        impl_->listener.join();  // returns once the workers have finished their connections
    }
}

int DirectoryServer::port() const { return impl_->port; }

std::string DirectoryServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + "/group/search/";
}

std::size_t DirectoryServer::RequestCount() const { return impl_->requests.load(); }
std::vector<ReceivedRequest> DirectoryServer::Requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::size_t DirectoryServer::ConnectionCount() const { return impl_->connections.load(); }

std::string DirectoryServer::LastRequestTarget() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->last_target;
}

std::string DirectoryServer::LastRequestHeaders() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->last_headers;
}

void DirectoryServer::SetStalled(bool stalled) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stalled = stalled;
    }
    impl_->wake.notify_all();
}

void DirectoryServer::ReleaseStalled() {
    {
        std::lock_guard lock(impl_->mutex);
        ++impl_->release_generation;
    }
    impl_->wake.notify_all();
}

}  // namespace qelvanto::tools
