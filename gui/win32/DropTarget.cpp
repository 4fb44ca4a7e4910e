#include "gui/win32/DropTarget.h"

#include "gui/win32/Win32Input.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <new>

namespace vl::win32 {

namespace {

constexpr int nameSize = 1024;
LONG liveTargets = 0;

bool hasShortcutExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot) return false;
    return lstrcmpiA(dot, ".lnk") == 0;
}

POINT cursorInWindow(HWND window) {
    POINT where = cursorPosition();
    const POINT origin = windowOrigin(window);
    where.x -= origin.x;
    where.y -= origin.y;
    return where;
}

FORMATETC formatOf(CLIPFORMAT format) {
    FORMATETC description{};
    description.cfFormat = format;
    description.ptd = nullptr;
    description.dwAspect = DVASPECT_CONTENT;
    description.lindex = -1;
    description.tymed = TYMED_HGLOBAL;
    return description;
}

} // namespace

bool resolveShortcut(char* name, int size) {
    if (!name || size <= 0 || !hasShortcutExtension(name)) return false;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))) ||
        !link) {
        return false;
    }
    bool resolved = false;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) && file) {
        WCHAR wide[2048];
        if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 2048) > 0 && SUCCEEDED(file->Load(wide, STGM_READ)) &&
            SUCCEEDED(link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH | (500u << 16)))) {
            char target[nameSize];
            target[0] = '\0';
            if (link->GetPath(target, size < nameSize ? size : nameSize, nullptr, SLGP_SHORTPATH) == S_OK &&
                target[0] != '\0') {
                lstrcpynA(name, target, size);
                resolved = true;
            }
        }
        file->Release();
    }
    link->Release();
    return resolved;
}

FileDropTarget::FileDropTarget(HWND window, DropHandler* handler) : window_(window), handler_(handler) {
    InterlockedIncrement(&liveTargets);
}

FileDropTarget::~FileDropTarget() { InterlockedDecrement(&liveTargets); }

long FileDropTarget::liveCount() { return liveTargets; }

HRESULT STDMETHODCALLTYPE FileDropTarget::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FileDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE FileDropTarget::Release() {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) {
    accept_ = false;
    if (data) {
        FORMATETC text = formatOf(CF_TEXT);
        FORMATETC files = formatOf(CF_HDROP);
        accept_ = data->QueryGetData(&text) == S_OK || data->QueryGetData(&files) == S_OK;
    }
    return DragOver(keys, where, effect);
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    // Only ever a copy: a source told "move" would delete what was dragged.
    *effect = accept_ && handler_ && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::DragLeave() {
    accept_ = false;
    return S_OK;
}

bool FileDropTarget::dropFiles(HDROP drop) {
    const UINT total = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (total == 0 || total > 65536) return false;
    char** names = new (std::nothrow) char*[total];
    if (!names) return false;
    int count = 0;
    for (UINT i = 0; i < total; ++i) {
        char name[nameSize];
        if (DragQueryFileA(drop, i, name, nameSize) == 0) continue; // unreadable: skipped
        name[nameSize - 1] = '\0';
        resolveShortcut(name, nameSize);
        char* copy = new (std::nothrow) char[nameSize];
        if (!copy) continue;
        lstrcpynA(copy, name, nameSize);
        names[count++] = copy;
    }
    bool taken = false;
    if (count > 0 && handler_) taken = handler_->onNativeDrop(names, count, 0, cursorInWindow(window_));
    for (int i = 0; i < count; ++i) delete[] names[i];
    delete[] names;
    return taken;
}

bool FileDropTarget::dropText(HGLOBAL memory) {
    bool taken = false;
    char* text = static_cast<char*>(GlobalLock(memory));
    if (!text) return false;
    const SIZE_T size = GlobalSize(memory);
    if (size != 0 && handler_) {
        char* items[1] = {text};
        const int count = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
        taken = handler_->onNativeDrop(items, count, 1, cursorInWindow(window_));
    }
    GlobalUnlock(memory);
    return taken;
}

HRESULT STDMETHODCALLTYPE FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    bool taken = false;
    try {
        if (data && handler_) {
            FORMATETC text = formatOf(CF_TEXT);
            FORMATETC files = formatOf(CF_HDROP);
            STGMEDIUM medium{};
            bool isText = true;
            HRESULT got = data->GetData(&text, &medium);
            if (FAILED(got) || medium.tymed != TYMED_HGLOBAL) {
                if (SUCCEEDED(got)) ReleaseStgMedium(&medium);
                isText = false;
                medium = STGMEDIUM{};
                got = data->GetData(&files, &medium);
                if (SUCCEEDED(got) && medium.tymed != TYMED_HGLOBAL) {
                    ReleaseStgMedium(&medium);
                    got = E_FAIL;
                }
            }
            if (SUCCEEDED(got)) {
                if (medium.hGlobal) {
                    taken = isText ? dropText(medium.hGlobal) : dropFiles(static_cast<HDROP>(medium.hGlobal));
                }
                // Through the release object when the source gave one, else GlobalFree.
                ReleaseStgMedium(&medium);
            }
        }
    } catch (...) {
        taken = false;
    }
    if (effect) *effect = taken ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    DragLeave();
    return S_OK;
}

bool DropRegistration::enable(HWND window, DropHandler* handler) {
    if (target_) return true;
    if (!window) return false;
    auto* target = new (std::nothrow) FileDropTarget(window, handler);
    if (!target) return false;
    target->AddRef(); // our reference
    if (FAILED(RegisterDragDrop(window, target))) {
        target->detach();
        target->Release(); // frees it: nobody else holds it
        return false;
    }
    target_ = target;
    window_ = window;
    return true;
}

void DropRegistration::disable() {
    if (!target_) return;
    target_->detach();
    if (IsWindow(window_)) RevokeDragDrop(window_);
    target_->Release();
    target_ = nullptr;
    window_ = nullptr;
}

OleSession::OleSession() {
    const HRESULT result = OleInitialize(nullptr);
    // S_FALSE: already initialised on this thread; the call still counts and is undone.
    initialized_ = SUCCEEDED(result);
    thread_ = GetCurrentThreadId();
}

OleSession::~OleSession() {
    if (initialized_ && GetCurrentThreadId() == thread_) OleUninitialize();
}

} // namespace vl::win32
