// The settings in the registry key of the current user, and the setup dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "standalone/StandaloneSettings.h"
#include "standalone/win32/RegistryStore.h"
#include "standalone/win32/SetupDialog.h"

namespace {

void deleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, vl::kRegistryKeyPath); }

// Raw access to the key, as another program (or an older version) would leave it.
void putRaw(const char* name, DWORD type, const void* bytes, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, vl::kRegistryKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(bytes), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string getRaw(const char* name, DWORD& type) {
    char text[256] = {};
    DWORD size = sizeof text - 1;
    type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, vl::kRegistryKeyPath, name, RRF_RT_ANY, &type, text, &size) != ERROR_SUCCESS)
        return "<missing>";
    return std::string(text);
}

vl::SettingsValues readBack() {
    vl::RegistryStore store;
    std::vector<std::string> warnings;
    return vl::readSettings(store, warnings);
}

class Settings : public testing::Test {
protected:
    void SetUp() override { deleteKey(); }
    void TearDown() override { deleteKey(); }
};

TEST_F(Settings, FreshUserGetsTheDefaults) {
    vl::RegistryStore store;
    EXPECT_TRUE(store.isOpen());
    std::vector<std::string> warnings;
    const vl::SettingsValues values = vl::readSettings(store, warnings);
    EXPECT_EQ(values, vl::SettingsValues{});
    EXPECT_EQ(values.midiInDevice, 0);
    EXPECT_EQ(values.inputChannel, 0);
    EXPECT_EQ(values.outputChannel, 0);
    EXPECT_EQ(values.latency, 50);
    EXPECT_FALSE(values.primary);
    EXPECT_EQ(values.sampleRate, 44100);
    EXPECT_EQ(values.tempo, 120.0f);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(Settings, AllNineValuesRoundTripAsText) {
    vl::SettingsValues values;
    values.midiInDevice = 3;
    values.midiOutDevice = 2;
    values.inputChannel = -1;
    values.outputChannel = 15;
    values.audioDevice = 1;
    values.latency = 125;
    values.primary = true;
    values.sampleRate = 96000;
    values.tempo = 98.5f;
    {
        vl::RegistryStore store;
        vl::writeSettings(store, values);
    }
    EXPECT_EQ(readBack(), values);

    const struct {
        const char* name;
        const char* text;
    } stored[] = {
        {"midiInDevice", "3"},   {"midiOutDevice", "2"},  {"inputChannel", "-1"},
        {"outputChannel", "15"}, {"audioDevice", "1"},    {"latency", "125"},
        {"primary", "Yes"},      {"sampleRate", "96000"}, {"tempo", "98.5"},
    };
    for (const auto& s : stored) {
        DWORD type = 0;
        EXPECT_EQ(getRaw(s.name, type), s.text) << s.name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << s.name;
    }
    values.tempo = 120.0f;
    values.primary = false;
    {
        vl::RegistryStore store;
        vl::writeSettings(store, values);
    }
    DWORD type = 0;
    EXPECT_EQ(getRaw("tempo", type), "120.");
    EXPECT_EQ(getRaw("primary", type), "No");
}

TEST_F(Settings, BadStoredValuesReadAsTheirDefaults) {
    const DWORD number = 100;
    putRaw("latency", REG_DWORD, &number, sizeof number); // not text
    putRaw("sampleRate", REG_EXPAND_SZ, "48000", 6); // text, but not REG_SZ
    putRaw("primary", REG_SZ, "yes", 4); // only "Yes" is true
    putRaw("inputChannel", REG_SZ, "16", 3); // outside -1..15
    putRaw("outputChannel", REG_SZ, "-2", 3);
    putRaw("midiInDevice", REG_SZ, "-1", 3); // negative position
    putRaw("audioDevice", REG_SZ, "abc", 4);
    putRaw("tempo", REG_SZ, "fast", 5);
    putRaw("midiOutDevice", REG_SZ, "7", 1); // stored without its NUL
    const vl::SettingsValues values = readBack();
    vl::SettingsValues expected;
    expected.midiOutDevice = 7;
    EXPECT_EQ(values, expected);

    // A long value is read with room for its end, whatever its length.
    const std::string longText(300, '9');
    putRaw("midiOutDevice", REG_SZ, longText.data(), static_cast<DWORD>(longText.size()));
    vl::RegistryStore store;
    const auto text = store.readString("midiOutDevice");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, longText);
    EXPECT_FALSE(store.readString("missing").has_value());
    store.writeString("midiOutDevice", std::nullopt);
    EXPECT_FALSE(store.readString("midiOutDevice").has_value());
}

// ---- The dialog ----

HWND waitForDialog() {
    for (int i = 0; i < 200; ++i) {
        HWND dialog = FindWindowA(reinterpret_cast<LPCSTR>(32770), "Setup");
        if (dialog && IsWindowVisible(dialog)) return dialog;
        Sleep(25);
    }
    return nullptr;
}

std::string itemText(HWND dialog, int control, int index) {
    char text[256] = {};
    if (SendDlgItemMessageA(dialog, control, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text)) == CB_ERR) return "";
    return text;
}

int itemCount(HWND dialog, int control) {
    return static_cast<int>(SendDlgItemMessageA(dialog, control, CB_GETCOUNT, 0, 0));
}

int selection(HWND dialog, int control) {
    return static_cast<int>(SendDlgItemMessageA(dialog, control, CB_GETCURSEL, 0, 0));
}

TEST_F(Settings, SetupDialogShowsAndStoresTheSettings) {
    vl::SettingsValues values;
    values.midiInDevice = 4; // no such device here: nothing selected, kept on OK
    values.inputChannel = 2;
    values.outputChannel = -1;
    values.sampleRate = 48000;
    values.latency = 80;
    values.tempo = 133.0f;
    vl::RegistryStore store;
    bool ok = false;
    vl::SettingsValues edited = values;
    std::thread runner([&] { ok = vl::runSetupDialog(GetModuleHandleA(nullptr), nullptr, edited, store); });

    HWND dialog = waitForDialog();
    ASSERT_NE(dialog, nullptr);
    // Controls as the settings fill them.
    EXPECT_EQ(itemCount(dialog, vl::kInputChannelList), 17);
    EXPECT_EQ(itemText(dialog, vl::kInputChannelList, 0), "all");
    EXPECT_EQ(itemText(dialog, vl::kInputChannelList, 16), "16");
    EXPECT_EQ(selection(dialog, vl::kInputChannelList), 3);
    EXPECT_EQ(itemText(dialog, vl::kOutputChannelList, 0), "none");
    EXPECT_EQ(selection(dialog, vl::kOutputChannelList), 0);
    ASSERT_EQ(itemCount(dialog, vl::kSampleRateList), 5);
    const char* rates[] = {"44100", "48000", "64000", "88200", "96000"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(itemText(dialog, vl::kSampleRateList, i), rates[i]);
    EXPECT_EQ(selection(dialog, vl::kSampleRateList), 1);
    EXPECT_EQ(itemText(dialog, vl::kAudioDeviceList, 0), "Primary Sound Driver");
    EXPECT_EQ(selection(dialog, vl::kAudioDeviceList), 0);
    EXPECT_EQ(selection(dialog, vl::kMidiInputList), CB_ERR);
    char text[32] = {};
    GetDlgItemTextA(dialog, vl::kLatencyBox, text, sizeof text);
    EXPECT_STREQ(text, "80");
    GetDlgItemTextA(dialog, vl::kTempoBox, text, sizeof text);
    EXPECT_STREQ(text, "133.00");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, vl::kTempoBox)));
    EXPECT_EQ(IsDlgButtonChecked(dialog, vl::kPrimaryCheck), static_cast<UINT>(BST_UNCHECKED));

    // The user picks "all", 96000 Hz, primary, and clears the latency box.
    SendDlgItemMessageA(dialog, vl::kInputChannelList, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, vl::kOutputChannelList, CB_SETCURSEL, 5, 0);
    SendDlgItemMessageA(dialog, vl::kSampleRateList, CB_SETCURSEL, 4, 0);
    CheckDlgButton(dialog, vl::kPrimaryCheck, BST_CHECKED);
    SetDlgItemTextA(dialog, vl::kLatencyBox, "");
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    runner.join();

    ASSERT_TRUE(ok);
    EXPECT_EQ(edited.inputChannel, -1);
    EXPECT_EQ(edited.outputChannel, 4);
    EXPECT_EQ(edited.sampleRate, 96000);
    EXPECT_TRUE(edited.primary);
    EXPECT_EQ(edited.latency, 50);
    EXPECT_EQ(edited.midiInDevice, 4);
    EXPECT_EQ(edited.tempo, 133.0f);
    DWORD type = 0;
    EXPECT_EQ(getRaw("inputChannel", type), "-1");
    EXPECT_EQ(getRaw("latency", type), "50");
    EXPECT_EQ(getRaw("midiInDevice", type), "4");
    EXPECT_EQ(readBack(), edited);
}

TEST_F(Settings, SetupDialogCancelChangesNothing) {
    vl::SettingsValues values;
    vl::SettingsValues edited = values;
    vl::RegistryStore store;
    bool ok = true;
    std::thread runner([&] { ok = vl::runSetupDialog(GetModuleHandleA(nullptr), nullptr, edited, store); });
    HWND dialog = waitForDialog();
    ASSERT_NE(dialog, nullptr);
    SendDlgItemMessageA(dialog, vl::kSampleRateList, CB_SETCURSEL, 4, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    runner.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(edited, values);
    DWORD type = 0;
    EXPECT_EQ(getRaw("sampleRate", type), "<missing>");
}

} // namespace
