#include "standalone/linux/SetupDialog.h"

#include <chrono>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

#include "gui/Canvas.h"
#include "gui/Controls.h"
#include "gui/RootView.h"
#include "gui/ToolkitEditor.h"
#include "standalone/linux/MainWindow.h"
#include "vst/EffectFrame.h"

namespace vl::linuxapp {
namespace {

constexpr Color kBack{214, 217, 200, 0};
constexpr Color kFieldBack{246, 246, 238, 0};
constexpr Color kText{30, 34, 24, 0};
constexpr Color kFrame{96, 104, 80, 0};
constexpr Color kButtonBack{188, 196, 166, 0};
constexpr int kWidth = 400, kHeight = 246;

enum Tag { kAudioTag = 1, kDeviceTag, kRateTag, kLatencyTag, kSourceTag, kChannelTag, kFormatTag, kCancelTag, kOkTag };

// A text of its own in a filled, framed cell.
class Caption : public ValueLabel {
public:
    Caption(const Rect& r, std::string t, int32_t align, bool framed) : ValueLabel(r, nullptr, 0), text(std::move(t)) {
        setFont(3);
        setFontColor(kText);
        setBackColor(framed ? kFieldBack : kBack);
        setFrameColor(framed ? kFrame : kBack);
        setAlignment(align);
        setMouseEnabled(false);
    }
    void draw(Canvas& canvas) override { drawText(canvas, text.c_str(), nullptr); }

protected:
    std::string text;
};

// A push button: reports a click to its listener.
class PushButton : public Caption {
public:
    PushButton(const Rect& r, ValueListener* l, int32_t t, std::string label) : Caption(r, std::move(label), 1, true) {
        setListener(l);
        setTag(t);
        setBackColor(kButtonBack);
        setMouseEnabled(true);
    }
    void onMouseDown(Canvas& canvas, Point&) override {
        if (canvas.getButtonState() & kLeftButton) notify(canvas);
    }
};

// One of a few texts; a click shows the next one (with Shift the previous one).
class ChoiceBox : public Caption {
public:
    ChoiceBox(const Rect& r, ValueListener* l, int32_t t, std::vector<std::string> o, int selected)
        : Caption(r, "", 0, true), options(std::move(o)), index(selected) {
        setListener(l);
        setTag(t);
        setMouseEnabled(true);
    }
    void draw(Canvas& canvas) override {
        const std::string shown = options[std::size_t(index)] + "  >";
        drawText(canvas, shown.c_str(), nullptr);
    }
    void onMouseDown(Canvas& canvas, Point&) override {
        const ButtonState state = canvas.getButtonState();
        if (!(state & kLeftButton)) return;
        const int n = int(options.size());
        index = (state & kShift) ? (index + n - 1) % n : (index + 1) % n;
        setDirty(true);
        notify(canvas);
    }
    const std::string& chosen() const { return options[std::size_t(index)]; }

private:
    std::vector<std::string> options;
    int index;
};

// The frame the dialog's editor registers with: the dialog belongs to no instrument.
class DialogFrame : public EffectFrame {
public:
    DialogFrame() : EffectFrame(nullptr, 0, 0) {}
    void process(float**, float**, VstInt32) override {}
};

class SetupEditor : public ToolkitEditor, public ValueListener {
public:
    SetupEditor(DialogFrame* frame, const SettingsValues& v, const LinuxSettings& l)
        : ToolkitEditor(frame), values(v), linux(l) {
        rect = ERect{0, 0, kHeight, kWidth};
    }
    ~SetupEditor() override { close(); }

    VstInt32 open(void* window) override {
        ToolkitEditor::open(window);
        root = new (std::nothrow) RootView(Rect{0, 0, kWidth, kHeight}, window, this);
        if (!root) return 0;
        add(new Caption(Rect{0, 0, kWidth, kHeight}, "", 0, false));
        int y = 14;
        auto row = [&](const char* label) {
            add(new Caption(Rect{14, y, 134, y + 20}, label, 0, false));
            const int top = y;
            y += 28;
            return top;
        };
        int top = row("Audio");
        const char* audios[] = {"auto", "jack", "alsa"};
        int audioIndex = 0;
        for (int i = 0; i < 3; ++i)
            if (linux.audio == audios[i]) audioIndex = i;
        audio = new ChoiceBox(Rect{140, top, 250, top + 20}, this, kAudioTag, {"auto", "jack", "alsa"}, audioIndex);
        add(audio);
        top = row("ALSA device");
        device = field(Rect{140, top, 386, top + 20}, kDeviceTag, linux.alsaDevice);
        top = row("Sample rate");
        std::vector<std::string> rates;
        int rateIndex = -1;
        for (int r : kDialogSampleRates) {
            if (r == values.sampleRate) rateIndex = int(rates.size());
            rates.push_back(std::to_string(r));
        }
        if (rateIndex < 0) { // a stored rate the list does not offer stays selectable
            rates.insert(rates.begin(), std::to_string(values.sampleRate));
            rateIndex = 0;
        }
        rate = new ChoiceBox(Rect{140, top, 250, top + 20}, this, kRateTag, rates, rateIndex);
        add(rate);
        top = row("Latency (ms)");
        latency = field(Rect{140, top, 200, top + 20}, kLatencyTag, std::to_string(values.latency));
        top = row("MIDI source");
        source = field(Rect{140, top, 386, top + 20}, kSourceTag, linux.midiIn);
        top = row("Input channel");
        std::vector<std::string> channels{"all"};
        for (int c = 1; c <= 16; ++c) channels.push_back(std::to_string(c));
        channel = new ChoiceBox(Rect{140, top, 210, top + 20}, this, kChannelTag, channels, values.inputChannel + 1);
        add(channel);
        top = row("Recording");
        format = new ChoiceBox(Rect{140, top, 250, top + 20}, this, kFormatTag, {"16-bit", "float"},
                               linux.recordFormat == "float" ? 1 : 0);
        add(format);
        add(new PushButton(Rect{196, kHeight - 40, 286, kHeight - 14}, this, kCancelTag, "Cancel"));
        add(new PushButton(Rect{296, kHeight - 40, 386, kHeight - 14}, this, kOkTag, "OK"));
        return 1;
    }

    void close() override {
        if (root) {
            RootView* old = root;
            root = nullptr;
            old->release();
        }
        ToolkitEditor::close();
    }

    void valueChanged(Canvas& canvas, Widget* control) override {
        auto* widget = dynamic_cast<ValueWidget*>(control);
        if (!widget) return;
        if (widget->getTag() == kOkTag) {
            collect();
            result = 1;
        } else if (widget->getTag() == kCancelTag) {
            result = 0;
        }
        widget->update(canvas);
    }

    int result = -1; // 1 OK, 0 Cancel, -1 still open
    SettingsValues values;
    LinuxSettings linux;

private:
    void add(Widget* widget) {
        if (widget && root) root->addView(widget);
    }
    TextField* field(const Rect& r, int tag, const std::string& text) {
        auto* f = new TextField(r, this, tag, text.c_str(), nullptr, 0);
        f->setFont(3);
        f->setFontColor(kText);
        f->setBackColor(kFieldBack);
        f->setFrameColor(kFrame);
        f->setAlignment(0);
        add(f);
        return f;
    }
    static std::string textOf(TextField* f) {
        char text[TextField::kTextSize] = {};
        f->getText(text, sizeof text);
        return text;
    }
    void collect() {
        linux.audio = audio->chosen();
        const std::string name = textOf(device);
        linux.alsaDevice = name.empty() ? "default" : name;
        linux.midiIn = textOf(source);
        parseInt(rate->chosen(), values.sampleRate);
        int ms = 0;
        values.latency = parseInt(textOf(latency), ms) && ms >= kMinLatency && ms <= kMaxLatency ? ms : 50;
        values.inputChannel = channel->chosen() == "all" ? -1 : std::stoi(channel->chosen()) - 1;
        linux.recordFormat = format->chosen() == "float" ? "float" : "16";
    }

    ChoiceBox* audio = nullptr;
    ChoiceBox* rate = nullptr;
    ChoiceBox* channel = nullptr;
    ChoiceBox* format = nullptr;
    TextField* device = nullptr;
    TextField* latency = nullptr;
    TextField* source = nullptr;
};

} // namespace

bool runSetupDialog(SettingsValues& values, LinuxSettings& linux, const std::function<bool()>& poll) {
    DialogFrame frame;
    SetupEditor editor(&frame, values, linux);
    MainWindow window;
    std::string error;
    if (!window.create("Setup", 120, 120, kWidth, kHeight, error)) return false;
    if (!editor.open(reinterpret_cast<void*>(window.nativeWindow()))) return false;
    while (editor.result < 0) {
        pollfd fd{window.fd(), POLLIN, 0};
        ::poll(&fd, 1, 20);
        if (!window.handleEvents() || !poll()) break; // closed, or the program is quitting
        editor.idle();
    }
    editor.close();
    if (editor.result != 1) return false;
    values = editor.values;
    linux = editor.linux;
    return true;
}

} // namespace vl::linuxapp
