#pragma once

// A move-only owner of one handle of a C library, released with that library's free function.

#include <utility>

namespace qelvanto {

template <typename T, void (*Free)(T*)>
class COwner {
public:
    COwner() noexcept = default;
    explicit COwner(T* handle) noexcept : handle_(handle) {}
    ~COwner() { reset(); }

    COwner(const COwner&) = delete;
    COwner& operator=(const COwner&) = delete;
    COwner(COwner&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    COwner& operator=(COwner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }

    T* get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    // Releases the current handle (if any) and takes `handle`.
    void reset(T* handle = nullptr) noexcept {
        T* old = std::exchange(handle_, handle);
        if (old) Free(old);
    }

private:
    T* handle_ = nullptr;
};

}  // namespace qelvanto
