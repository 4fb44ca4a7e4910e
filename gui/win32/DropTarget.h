#pragma once
// File and text drops onto the panel window through OLE, and the OLE session that they
// need on the user-interface thread.

#include <windows.h>
#include <ole2.h>

namespace vl::win32 {

class DropHandler {
public:
    virtual ~DropHandler() = default;
    // kind 0: items holds count zero-terminated file names (shortcuts already resolved);
    // kind 1: items[0] points to the dropped text and count is the byte size of its block.
    // where is the cursor position in the window's coordinates. True when taken.
    virtual bool onNativeDrop(char** items, int count, int kind, POINT where) = 0;
};

// Replaces a shortcut file name (last extension ".lnk", any case) in the 1024-byte buffer
// by the short path of its target. Returns false, leaving the name as it was, when the
// name is not a shortcut or cannot be resolved.
bool resolveShortcut(char* name, int size);

class FileDropTarget final : public IDropTarget {
public:
    FileDropTarget(HWND window, DropHandler* handler);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL where, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;

    // After this no call reaches the handler (OLE may hold the object a little longer).
    void detach() { handler_ = nullptr; }
    // Targets that exist in this process (tests check that none is left behind).
    static long liveCount();

private:
    ~FileDropTarget();
    bool dropFiles(HDROP drop);
    bool dropText(HGLOBAL memory);

    LONG references_ = 0;
    bool accept_ = false;
    HWND window_;
    DropHandler* handler_;
};

// Registration of a window as drop target. The registration holds one reference to the
// target; a failed registration frees it and reports false.
class DropRegistration {
public:
    DropRegistration() = default;
    ~DropRegistration() { disable(); }
    DropRegistration(const DropRegistration&) = delete;
    DropRegistration& operator=(const DropRegistration&) = delete;

    bool enable(HWND window, DropHandler* handler);
    void disable();
    bool isEnabled() const { return target_ != nullptr; }

private:
    FileDropTarget* target_ = nullptr;
    HWND window_ = nullptr;
};

// OleInitialize on construction; OleUninitialize at destruction only when the
// initialisation succeeded, and only on the thread that made it.
class OleSession {
public:
    OleSession();
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    bool initialized() const { return initialized_; }

private:
    bool initialized_ = false;
    DWORD thread_ = 0;
};

} // namespace vl::win32
