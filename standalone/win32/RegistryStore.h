#pragma once
// One open key of the current user's registry, holding text values.
//
// A store whose key could not be created or opened holds none: every read then finds
// nothing and every write does nothing.
#include <windows.h>

#include <optional>
#include <string>

#include "standalone/StandaloneSettings.h"

namespace vl {

inline constexpr const char* kRegistryKeyPath = "Software\\Tarlowe\\VelmorLoom";

class RegistryStore : public SettingsStore {
public:
    // Creates or opens keyPath under HKEY_CURRENT_USER.
    explicit RegistryStore(const char* keyPath = kRegistryKeyPath);
    ~RegistryStore() override; // close
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    bool isOpen() const { return key != nullptr; }
    void close();

    // The value's text: nothing when the key or the value is missing, the value is not
    // of type REG_SZ, or reading it fails. The text ends at its first NUL; a value stored
    // without one is read in full all the same.
    std::optional<std::string> readString(const std::string& name) override;
    // Stores text as REG_SZ with its terminating NUL; nothing deletes the value.
    void writeString(const std::string& name, const std::optional<std::string>& text) override;

private:
    HKEY key = nullptr;
};

} // namespace vl
