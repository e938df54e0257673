#pragma once

// Owners of libcurl handles and the process-wide state that HTTP exchanges share. Internal to
// src/web: nothing outside this folder includes curl.h.

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <curl/curl.h>

namespace qelvanto::web {

struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
struct ShareDeleter {
    void operator()(CURLSH* handle) const noexcept { curl_share_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using ShareHandle = std::unique_ptr<CURLSH, ShareDeleter>;
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// Appends a copy of `line`; false when libcurl could not allocate it (the list is unchanged).
bool AppendHeader(HeaderList& list, const char* line);

// An easy handle together with the multi handle that drives it. The multi handle keeps the
// connection cache, so the two travel together and a borrowed slot brings its open
// connections along.
struct TransferSlot {
    MultiHandle multi;
    EasyHandle easy;
};

// A CURLSH with one mutex per kind of shared data, as libcurl's locking callbacks expect.
// Not movable: libcurl holds a pointer to it.
class LockedShare {
public:
    // Shares the DNS cache and TLS sessions, and the cookie store when `cookies` is true.
    explicit LockedShare(bool cookies);
    LockedShare(const LockedShare&) = delete;
    LockedShare& operator=(const LockedShare&) = delete;

    CURLSH* get() const noexcept { return handle_.get(); }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void Unlock(CURL*, curl_lock_data data, void* self);

    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
    ShareHandle handle_;
};

// What every exchange of the process shares: the cookie store and DNS cache, and a few idle
// transfer slots whose connections are still open. Each exchange holds a shared_ptr to it, so
// an exchange that is still running while the process winds down keeps it alive.
class CurlRuntime {
public:
    static std::shared_ptr<CurlRuntime> Get();

    CurlRuntime();
    ~CurlRuntime();
    CurlRuntime(const CurlRuntime&) = delete;
    CurlRuntime& operator=(const CurlRuntime&) = delete;

    // Shares with the process-wide cookie store, and without it (same DNS cache kind).
    CURLSH* cookie_share() const noexcept { return with_cookies_.get(); }
    CURLSH* plain_share() const noexcept { return without_cookies_.get(); }

    // The most recently returned idle slot, or a new one; nothing when libcurl fails.
    std::optional<TransferSlot> Borrow();
    // Keeps the slot for the next exchange (up to a few), else frees it.
    void GiveBack(TransferSlot slot);

    static constexpr std::size_t kMaxIdleSlots = 4;

private:
    // First member, so libcurl's global state goes last.
    struct GlobalInit {
        GlobalInit();
        ~GlobalInit();
        bool ok;
    };

    GlobalInit global_;
    LockedShare with_cookies_{true};
    LockedShare without_cookies_{false};
    std::mutex idle_mutex_;
    std::vector<TransferSlot> idle_;  // last member: its easy handles use the shares
};

}  // namespace qelvanto::web
