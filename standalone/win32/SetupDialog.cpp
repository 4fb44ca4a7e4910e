#include "standalone/win32/SetupDialog.h"

#include <mmsystem.h>

#include <cstdio>
#include <string>
#include <vector>

#include "standalone/win32/AudioOutputStream.h"

namespace vl {

namespace {

constexpr int kDefaultLatency = 50;
constexpr float kDefaultTempo = 120.0f;

struct DialogState {
    SettingsValues values; // what OK stores; the caller's copy changes only on OK
    SettingsStore* store;
};

void addItem(HWND dialog, int control, const char* text) {
    SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Selects position (none when it is not in the list).
void select(HWND dialog, int control, int position) {
    SendDlgItemMessageA(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

// The selected position, or keep when nothing is selected.
int selected(HWND dialog, int control, int keep) {
    const LRESULT position = SendDlgItemMessageA(dialog, control, CB_GETCURSEL, 0, 0);
    return position == CB_ERR ? keep : static_cast<int>(position);
}

void fillChannels(HWND dialog, int control, const char* first, int channel) {
    addItem(dialog, control, first);
    for (int i = 1; i <= 16; ++i) addItem(dialog, control, std::to_string(i).c_str());
    select(dialog, control, channel + 1);
}

void fillControls(HWND dialog, const SettingsValues& values) {
    const UINT inputs = midiInGetNumDevs();
    for (UINT i = 0; i < inputs; ++i) {
        MIDIINCAPSA caps;
        if (midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR) addItem(dialog, kMidiInputList, caps.szPname);
    }
    select(dialog, kMidiInputList, values.midiInDevice);
    fillChannels(dialog, kInputChannelList, "all", values.inputChannel);

    const UINT outputs = midiOutGetNumDevs();
    for (UINT i = 0; i < outputs; ++i) {
        MIDIOUTCAPSA caps;
        if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR)
            addItem(dialog, kMidiOutputList, caps.szPname);
    }
    select(dialog, kMidiOutputList, values.midiOutDevice);
    fillChannels(dialog, kOutputChannelList, "none", values.outputChannel);

    for (const std::string& name : listAudioDevices()) addItem(dialog, kAudioDeviceList, name.c_str());
    select(dialog, kAudioDeviceList, values.audioDevice);

    int ratePosition = -1;
    for (int i = 0; i < static_cast<int>(std::size(kDialogSampleRates)); ++i) {
        addItem(dialog, kSampleRateList, std::to_string(kDialogSampleRates[i]).c_str());
        if (kDialogSampleRates[i] == values.sampleRate) ratePosition = i;
    }
    select(dialog, kSampleRateList, ratePosition);

    SetDlgItemInt(dialog, kLatencyBox, static_cast<UINT>(values.latency), FALSE);
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%.2f", static_cast<double>(values.tempo));
    SetDlgItemTextA(dialog, kTempoBox, tempo);
    CheckDlgButton(dialog, kPrimaryCheck, values.primary ? BST_CHECKED : BST_UNCHECKED);
}

void readControls(HWND dialog, SettingsValues& values) {
    values.midiInDevice = selected(dialog, kMidiInputList, values.midiInDevice);
    values.midiOutDevice = selected(dialog, kMidiOutputList, values.midiOutDevice);
    values.inputChannel = selected(dialog, kInputChannelList, values.inputChannel + 1) - 1;
    values.outputChannel = selected(dialog, kOutputChannelList, values.outputChannel + 1) - 1;
    values.audioDevice = selected(dialog, kAudioDeviceList, values.audioDevice);
    const int rate = selected(dialog, kSampleRateList, -1);
    if (rate >= 0 && rate < static_cast<int>(std::size(kDialogSampleRates)))
        values.sampleRate = kDialogSampleRates[rate];

    // A box without a number, or with one that is no usable block length, stores 50.
    BOOL numberRead = FALSE;
    const UINT latency = GetDlgItemInt(dialog, kLatencyBox, &numberRead, FALSE);
    values.latency = (numberRead && latency >= static_cast<UINT>(kMinLatency) &&
                      latency <= static_cast<UINT>(kMaxLatency))
                         ? static_cast<int>(latency)
                         : kDefaultLatency;

    char tempoText[16] = {};
    GetDlgItemTextA(dialog, kTempoBox, tempoText, sizeof tempoText);
    float tempo = 0.0f;
    values.tempo = (std::sscanf(tempoText, "%f", &tempo) == 1 && tempo > 0.0f && tempo <= kMaxTempo) ? tempo
                                                                                                     : kDefaultTempo;
    values.primary = IsDlgButtonChecked(dialog, kPrimaryCheck) == BST_CHECKED;
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
            auto* state = reinterpret_cast<DialogState*>(lParam);
            ShowWindow(dialog, SW_HIDE);
            fillControls(dialog, state->values);
            ShowWindow(dialog, SW_SHOW);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
            if (!state) return FALSE;
            if (LOWORD(wParam) == IDOK) {
                readControls(dialog, state->values);
                writeSettings(*state->store, state->values);
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
        }
    } catch (...) {
        EndDialog(dialog, 0);
        return TRUE;
    }
}

} // namespace

bool runSetupDialog(HINSTANCE module, HWND owner, SettingsValues& values, SettingsStore& store) {
    DialogState state{values, &store};
    const INT_PTR result = DialogBoxParamA(module, MAKEINTRESOURCEA(kSetupDialogId), owner, dialogProcedure,
                                           reinterpret_cast<LPARAM>(&state));
    if (result != 1) return false;
    values = state.values;
    return true;
}

} // namespace vl
