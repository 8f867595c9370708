// Small scoped owners for Win32 handles: each closes what it holds on every path.
#pragma once
#include <windows.h>

#include <utility>

// A kernel file handle (INVALID_HANDLE_VALUE when empty).
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(HANDLE h) : h_(h) {}
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    TFileHandle(TFileHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    TFileHandle& operator=(TFileHandle&& o) noexcept
    {
        if (this != &o) { Close(); h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE); }
        return *this;
    }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }
    // Closes now; returns false when CloseHandle reports a failure (the handle is gone either way).
    bool Close()
    {
        if (!Valid()) return true;
        const BOOL ok = CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// Restores the process error mode when it leaves scope.
class TErrorModeScope {
public:
    explicit TErrorModeScope(UINT mode) : old_(SetErrorMode(mode)) {}
    ~TErrorModeScope() { SetErrorMode(old_); }
    TErrorModeScope(const TErrorModeScope&) = delete;
    TErrorModeScope& operator=(const TErrorModeScope&) = delete;

private:
    UINT old_;
};
