#include "resources/BitmapResources.h"

#include <windows.h>

namespace vl {

// The bitmaps are resources of the module that holds this code (see velmorloom.rc and
// vl_add_bitmap_resources in the folder's CMakeLists.txt).
const unsigned char* findBitmapResource(int id, std::size_t* size) {
    if (size) *size = 0;
    if (id <= 0 || id > 0xFFFF) return nullptr;
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&findBitmapResource), &module)) {
        return nullptr;
    }
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (!info) return nullptr;
    HGLOBAL handle = LoadResource(module, info);
    if (!handle) return nullptr;
    const void* data = LockResource(handle);
    if (!data) return nullptr;
    if (size) *size = SizeofResource(module, info);
    return static_cast<const unsigned char*>(data);
}

} // namespace vl
