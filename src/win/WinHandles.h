// The small scoped owners of the library, in one place: kernel handles, COM interfaces and shell
// memory, device contexts, GDI objects and their selection, image lists, hooks, the error mode.
// Each releases what it holds on every path, also when an exception passes, and owners declared
// one after another release in reverse order.
//
// What belongs here is generic: an owner knows a handle type and the call that gives it back, and
// nothing of the library. The scopes in App.h stay with the application object: they save and
// restore the application's own state (its owner window, its cursor, the thread's windows it
// disabled), not a handle.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

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

// A directory listing of FindFirstFileA (INVALID_HANDLE_VALUE when empty); FindClose on every path.
class TFindHandle {
public:
    TFindHandle() = default;
    explicit TFindHandle(HANDLE h) : h_(h) {}
    ~TFindHandle()
    {
        if (Valid()) FindClose(h_);
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }

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

// A COM interface pointer (null when empty); Release once on every path.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    explicit TComPtr(T* p) : p_(p) {}
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    // For the creating call's out parameter; whatever was held is released first.
    T** Out()
    {
        Reset();
        return &p_;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset()
    {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// Memory from a COM task allocator (a buffer or an item-identifier list from the shell), freed
// with the same allocator, which must outlive this owner.
class TShellMemory {
public:
    TShellMemory(IMalloc* allocator, void* p) : allocator_(allocator), p_(p) {}
    ~TShellMemory()
    {
        if (p_) allocator_->Free(p_);
    }
    TShellMemory(const TShellMemory&) = delete;
    TShellMemory& operator=(const TShellMemory&) = delete;
    void* Get() const { return p_; }

private:
    IMalloc* allocator_;
    void* p_;
};

// A window's device context (the screen's for a null window), from GetDC, given back with ReleaseDC.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~TWindowDC()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A memory device context compatible with another (the screen's for null), deleted with DeleteDC.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~TMemoryDC()
    {
        if (dc_) DeleteDC(dc_);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HDC dc_;
};

// The device context of one WM_PAINT, between BeginPaint and EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &ps_)) {}
    ~TPaintDC() { EndPaint(window_, &ps_); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// A GDI object (bitmap, brush, pen, font, region), deleted with DeleteObject. It must no longer be
// selected into a device context by then: declare its TSelection after it.
template <typename T>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(T object) : object_(object) {}
    ~TGdiObject()
    {
        if (object_) DeleteObject(object_);
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    T Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T object_ = nullptr;
};

// Selects a GDI object into a device context for one scope, then selects back what it replaced.
class TSelection {
public:
    TSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~TSelection()
    {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// An image list, destroyed with ImageList_Destroy.
class TImageList {
public:
    TImageList() = default;
    explicit TImageList(HIMAGELIST list) : list_(list) {}
    ~TImageList() { Reset(); }
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    HIMAGELIST Get() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }
    void Reset(HIMAGELIST list = nullptr)
    {
        if (list_) ImageList_Destroy(list_);
        list_ = list;
    }

private:
    HIMAGELIST list_ = nullptr;
};

// A hook from SetWindowsHookEx, removed with UnhookWindowsHookEx.
class TWindowsHook {
public:
    explicit TWindowsHook(HHOOK hook) : hook_(hook) {}
    ~TWindowsHook() { Reset(); }
    TWindowsHook(const TWindowsHook&) = delete;
    TWindowsHook& operator=(const TWindowsHook&) = delete;
    void Reset()
    {
        if (hook_) UnhookWindowsHookEx(std::exchange(hook_, nullptr));
    }

private:
    HHOOK hook_;
};
