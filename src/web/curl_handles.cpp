#include "web/curl_handles.h"

#include <utility>

namespace qelvanto::web {

bool AppendHeader(HeaderList& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (!grown) return false;
    (void)list.release();  // curl_slist_append returned the same list, now one longer
    list.reset(grown);
    return true;
}

LockedShare::LockedShare(bool cookies) : handle_(curl_share_init()) {
    if (!handle_) return;
    CURLSH* share = handle_.get();
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &LockedShare::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &LockedShare::Unlock);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    if (cookies) curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
}

void LockedShare::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<LockedShare*>(self)->mutexes_[data].lock();
}

void LockedShare::Unlock(CURL*, curl_lock_data data, void* self) {
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<LockedShare*>(self)->mutexes_[data].unlock();
}

std::shared_ptr<CurlRuntime> CurlRuntime::Get() {
    // The static only holds one reference; exchanges hold their own, so the runtime outlives
    // the last exchange even when that one is still running while statics are destroyed.
    static const std::shared_ptr<CurlRuntime> runtime = std::make_shared<CurlRuntime>();
    return runtime;
}

// curl_global_init is thread-safe in the libcurl versions we build against and counts its
// calls, so it pairs with main()'s own call.
CurlRuntime::GlobalInit::GlobalInit() : ok(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

CurlRuntime::GlobalInit::~GlobalInit() {
    if (ok) curl_global_cleanup();
}

CurlRuntime::CurlRuntime() = default;
CurlRuntime::~CurlRuntime() = default;

std::optional<TransferSlot> CurlRuntime::Borrow() {
    {
        std::lock_guard lock(idle_mutex_);
        if (!idle_.empty()) {
            TransferSlot slot = std::move(idle_.back());
            idle_.pop_back();
            return slot;
        }
    }
    TransferSlot slot{MultiHandle(curl_multi_init()), EasyHandle(curl_easy_init())};
    if (!slot.multi || !slot.easy) return std::nullopt;
    return slot;
}

void CurlRuntime::GiveBack(TransferSlot slot) {
    std::lock_guard lock(idle_mutex_);
    if (idle_.size() < kMaxIdleSlots) idle_.push_back(std::move(slot));
}

}  // namespace qelvanto::web
