#include "standalone/win32/RegistryStore.h"

#include <vector>

namespace vl {

namespace {
// Longer values are not settings of this program.
constexpr DWORD kMaxValueBytes = 4096;
} // namespace

RegistryStore::RegistryStore(const char* keyPath) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    char keyClass[] = "VelmorLoom Config";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &opened, &disposition) == ERROR_SUCCESS) {
        key = opened;
    }
}

RegistryStore::~RegistryStore() { close(); }

void RegistryStore::close() {
    if (key) {
        RegCloseKey(key);
        key = nullptr;
    }
}

std::optional<std::string> RegistryStore::readString(const std::string& valueName) {
    if (!key) return std::nullopt;
    const char* name = valueName.c_str();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ || size > kMaxValueBytes) return std::nullopt;
    try {
        // One byte more than the value: a value stored without its NUL still ends.
        std::vector<char> bytes(size + 1, '\0');
        DWORD read = size;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &read) !=
                ERROR_SUCCESS ||
            type != REG_SZ || read > size) {
            return std::nullopt;
        }
        bytes[read] = '\0';
        return std::string(bytes.data());
    } catch (...) {
        return std::nullopt;
    }
}

void RegistryStore::writeString(const std::string& name, const std::optional<std::string>& text) {
    if (!key) return;
    if (!text) {
        RegDeleteValueA(key, name.c_str());
        return;
    }
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                   static_cast<DWORD>(text->size() + 1));
}

} // namespace vl
