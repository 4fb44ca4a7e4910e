#include "standalone/StandaloneApp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument/ErrorReport.h"
#include "platform/Notice.h"
#ifdef VL_WITH_PANEL
#include "instrument/InstrumentEditor.h"
#endif
#include "vst/EditorBase.h"

namespace vl {

std::atomic<StandaloneApp*> theApp{nullptr};

std::uint32_t millisecondClock() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

StandaloneApp::StandaloneApp(AppShell& appShell, const SettingsValues& values)
    : Instrument(&standaloneHostCallback), settings(values), shell(appShell), rate(values.sampleRate) {
    // The program uses the instrument whatever its panel managed to load.
    editorReady = true;
}

StandaloneApp::~StandaloneApp() {
    // The audio thread ends first: it idles the panel and appends to the recorder.
    closeDevices();
    if (EditorBase* panel = getEditor()) panel->close();
    finishRecording();
    StandaloneApp* self = this;
    theApp.compare_exchange_strong(self, nullptr);
}

void StandaloneApp::panelControlChanged(int tag, float value) {
    if (tag == kSettingsButtonTag) {
        if (value != 0.0f) return;
        SettingsValues edited = settings;
        if (shell.runSetupDialog(edited)) {
            settings = edited;
            shell.openDevices(*this);
        }
    } else if (tag == kRecordButtonTag) {
        toggleRecording();
    }
}

void StandaloneApp::closeDevices() {
    if (audio) audio->stop();
    audio.reset();
    midiInput.reset();
    midi.reset();
}

void StandaloneApp::installDevices(std::unique_ptr<AudioOutput> newAudio, std::unique_ptr<MidiPorts> newMidi,
                                   std::unique_ptr<MidiInput> newInput) {
    closeDevices();
    audio = std::move(newAudio);
    midi = std::move(newMidi);
    midiInput = std::move(newInput);
    if (audio) rate.store(audio->sampleRate(), std::memory_order_relaxed);
}

bool StandaloneApp::startDevices() {
    if (!audio) return false;
    setSampleRate(static_cast<float>(audio->sampleRate()));
    return audio->start();
}

// The record switch is a panel control, not a parameter: the panel is told directly.
void StandaloneApp::switchRecordButtonOff() {
#ifdef VL_WITH_PANEL
    if (InstrumentEditor* panel = getPanel()) panel->setParameter(kRecordButtonTag, 0.0f);
#endif
}

void StandaloneApp::toggleRecording() {
    if (recorder.recording()) {
        finishRecording();
        return;
    }
    VstFileType type{};
    std::strcpy(type.name, "WAV Files");
    std::strcpy(type.macType, ".wav");
    std::strcpy(type.dosType, "wav");
    std::strcpy(type.unixType, "wav");
    std::strcpy(type.mimeType1, "wav");
    std::strcpy(type.mimeType2, "wav");
    VstFileSelect selection{};
    selection.command = kVstFileSave;
    selection.type = kVstFileType;
    selection.nbFileTypes = 1;
    selection.fileTypes = &type;
    std::strcpy(selection.title, "Save WAV File");
    selection.returnPath = static_cast<char*>(std::calloc(1024, 1));
    selection.sizeReturnPath = 1024;
    if (!selection.returnPath) {
        showError(ErrorCode::outOfMemory);
        switchRecordButtonOff();
        return;
    }
    // The path is copied before the selector is closed: closing releases its buffer.
    std::string path;
    if (openFileSelector(&selection) && selection.returnPath && selection.returnPath[0] != '\0')
        path.assign(selection.returnPath, strnlen(selection.returnPath, 1024));
    closeFileSelector(&selection);
    std::free(selection.returnPath);
    selection.returnPath = nullptr;
    if (path.empty() || !startRecording(path)) switchRecordButtonOff();
}

bool StandaloneApp::startRecording(const std::string& path) {
    RecorderOptions options;
    options.format = recordFormat;
    std::unique_ptr<WavRecorder> next(
        new (std::nothrow) WavRecorder(path, static_cast<std::uint32_t>(currentSampleRate()), std::move(options)));
    if (!next) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
    if (!next->isOpen()) {
        showError(ErrorCode::openFailed);
        return false;
    }
    if (!next->headerWritten()) showError(ErrorCode::writeFailed);
    finishRecorder(recorder.exchange(std::move(next)));
    return true;
}

bool StandaloneApp::finishRecording() { return finishRecorder(recorder.exchange(nullptr)); }

bool StandaloneApp::finishRecorder(std::unique_ptr<WavRecorder> done) {
    if (!done) return true;
    const bool ok = done->finish();
    if (!ok) showError(ErrorCode::writeFailed);
    if (done->lostFrames() > 0)
        showNotice(kErrorCaption, lostRecordingText(done->lostFrames(), done->sampleRate()).c_str());
    return ok;
}

std::string lostRecordingText(std::uint64_t frames, std::uint32_t rate) {
    char text[80];
    std::snprintf(text, sizeof text, "Recording lost %.2f s: the disk was too slow",
                  rate ? double(frames) / double(rate) : 0.0);
    return text;
}

void StandaloneApp::handleUiNotice() {
    uiNoticePending.store(false, std::memory_order_release);
    if (EditorBase* panel = getEditor()) panel->idle();
}

void StandaloneApp::postUiNoticeOnce() {
    if (!uiNoticePending.exchange(true, std::memory_order_acq_rel)) shell.postUiNotice();
}

VstIntPtr VSTCALLBACK standaloneHostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float) {
    StandaloneApp* app = theApp.load(std::memory_order_acquire);
    if (!app) return 1;
    try {
        switch (opcode) {
        case audioMasterAutomate:
            return 1;
        case audioMasterVersion:
            return 2;
        case audioMasterIdle:
            if (EditorBase* panel = app->getEditor()) panel->idle();
            return 1;
        case audioMasterGetTime: {
            VstTimeInfo& info = app->timeInfo;
            info.flags = 0;
            if (value & kVstTempoValid) {
                info.tempo = static_cast<double>(app->settings.tempo);
                info.flags = kVstTempoValid;
            }
            return reinterpret_cast<VstIntPtr>(&info);
        }
        case audioMasterProcessEvents: {
            const auto* events = static_cast<const VstEvents*>(ptr);
            MidiPorts* ports = app->midiPorts();
            if (app->settings.outputChannel != -1 && ports && events && events->numEvents > 0 && events->events[0]) {
                const auto* midi = reinterpret_cast<const VstMidiEvent*>(events->events[0]);
                ports->sendControlChange(static_cast<unsigned char>(midi->midiData[1]),
                                         static_cast<unsigned char>(midi->midiData[2]));
            }
            return 1;
        }
        case audioMasterCanDo:
            return 1;
        case audioMasterUpdateDisplay:
            return 1;
        case audioMasterOpenFileSelector:
            return ptr ? (app->appShell().chooseFile(static_cast<VstFileSelect*>(ptr)) ? 1 : 0) : 0;
        case audioMasterCloseFileSelector:
            if (auto* selection = static_cast<VstFileSelect*>(ptr)) {
                std::free(selection->returnPath);
                selection->returnPath = nullptr;
            }
            return 1;
        default:
            return 0;
        }
    } catch (...) {
        return 0;
    }
}

void renderBlock(std::int16_t* samples, std::int32_t frames) {
    if (!samples || frames <= 0) return;
    StandaloneApp* app = theApp.load(std::memory_order_acquire);
    if (!app) {
        std::memset(samples, 0, sizeof(std::int16_t) * 2 * static_cast<std::size_t>(frames));
        return;
    }
    if (MidiPorts* ports = app->midiPorts()) app->processEvents(ports->exchangeLists(millisecondClock()));
    app->processInterleaved16(samples, frames);
    app->recorderSlot().append(samples, frames);
    app->postUiNoticeOnce();
}

void renderBlock(float* left, float* right, std::int32_t frames) {
    if (!left || !right || frames <= 0) return;
    StandaloneApp* app = theApp.load(std::memory_order_acquire);
    if (!app) {
        std::memset(left, 0, sizeof(float) * static_cast<std::size_t>(frames));
        std::memset(right, 0, sizeof(float) * static_cast<std::size_t>(frames));
        return;
    }
    if (MidiPorts* ports = app->midiPorts()) app->processEvents(ports->exchangeLists(millisecondClock()));
    float* outputs[2] = {left, right};
    app->processReplacing(nullptr, outputs, frames);
    app->recorderSlot().append(left, right, frames);
    app->postUiNoticeOnce();
}

} // namespace vl
