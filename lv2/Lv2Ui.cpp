// The panel as an LV2 UI in an X11 parent window, drawn by the same editor as in the
// VST 2 plug-in and driven through the same editor requests (effEditOpen, effEditIdle,
// effEditClose).
//
// With instance access the panel is the plug-in instance's own: programs, names and files
// work as in the VST 2 plug-in. Without it the UI builds an Instrument of its own (it
// renders nothing) and mirrors the 13 control ports into it, so the panel still shows and
// sets the parameters; its program buttons then send the program's values to the ports.
//
// Either way a knob move reaches the host as a port write between the touch of the
// gesture's start and end, and programs or names changed on the panel bring the ports up
// to the instrument's values.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include "instrument/Instrument.h"
#if VL_WITH_PANEL
#include "instrument/InstrumentEditor.h"
#endif
#include "lv2/HostBridge.h"
#include "lv2/Lv2Plugin.h"
#include "lv2/Lv2Ports.h"

// Xlib last: its macros clash with names above.
#include <X11/Xlib.h>

namespace vl::lv2 {

namespace {

std::vector<Window> childrenOf(Display* display, Window parent) {
    std::vector<Window> out;
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &up, &list, &count)) {
        out.assign(list, list + count);
        if (list) XFree(list);
    }
    return out;
}

class PanelUi : public HostBridge {
public:
    ~PanelUi() override {
        if (target && open) target->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        if (shared) shared->detachUi(this);
        if (own) {
            attachBridge(*own, nullptr);
            EffectFrame* frame = own;
            delete frame;
        }
    }

    bool start(LV2UI_Write_Function writeFunction, LV2UI_Controller controllerHandle,
               const LV2_Feature* const* features, LV2UI_Widget* widget) {
        write = writeFunction;
        controller = controllerHandle;
        const void* parentFeature = findFeature(features, LV2_UI__parent);
        if (!parentFeature) return false;
        const auto parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentFeature));
        touchFeature = static_cast<const LV2UI_Touch*>(findFeature(features, LV2_UI__touch));

        // A second UI on the same instance gets an instrument of its own, as without access.
        shared = PluginInstance::fromHandle(const_cast<void*>(findFeature(features, LV2_INSTANCE_ACCESS_URI)));
        if (shared && !shared->attachUi(this)) shared = nullptr;
        if (shared) {
            target = &shared->instrument();
        } else {
            own = new (std::nothrow) Instrument(&bridgeCallback);
            if (!own || !own->editorReady) return false;
            attachBridge(*own, this);
            target = own;
        }
        for (int i = 0; i < kNumParameters; ++i) portValue[i] = target->getParameter(i);

        // The editor makes its child window in the parent; that window is the widget.
        Display* display = XOpenDisplay(nullptr);
        const std::vector<Window> before = display ? childrenOf(display, parent) : std::vector<Window>{};
        open = target->dispatcher(effEditOpen, 0, 0, const_cast<void*>(parentFeature), 0.0f) == 1;
        if (!open) {
            if (display) XCloseDisplay(display);
            return false;
        }
        Window panelWindow = parent;
        if (display) {
            XSync(display, False);
            for (Window w : childrenOf(display, parent))
                if (std::find(before.begin(), before.end(), w) == before.end()) panelWindow = w;
            XCloseDisplay(display);
        }
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(panelWindow));
        if (const auto* resize = static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize)))
            resize->ui_resize(resize->handle, kPanelWidth, kPanelHeight);
        return true;
    }

    // A control port's value from the host (automation, presets, another UI).
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        if (port >= static_cast<std::uint32_t>(kNumParameters) || format != 0 || size != sizeof(float) || !buffer)
            return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        portValue[port] = value;
        if (value == target->getParameter(static_cast<VstInt32>(port))) return;
        if (own) {
            own->setParameter(static_cast<VstInt32>(port), value);
        } else {
#if VL_WITH_PANEL
            // The instance applies it at its next block; the knob shows it now.
            if (InstrumentEditor* panel = target->getPanel()) panel->setParameter(static_cast<VstInt32>(port), value);
#endif
        }
    }

    int idle() {
        target->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
        const bool changed = shared ? shared->takeDisplayChange() : ownDisplayDirty;
        ownDisplayDirty = false;
        if (changed) followInstrument();
        return 0;
    }

    void automate(int index, float value) override {
        if (index < 0 || index >= kNumParameters) return;
        portValue[index] = value;
        write(controller, static_cast<std::uint32_t>(index), sizeof value, 0, &value);
    }

    void touch(int index, bool grabbed) override {
        if (index < 0 || index >= kNumParameters || !touchFeature) return;
        touchFeature->touch(touchFeature->handle, static_cast<std::uint32_t>(index), grabbed);
    }

    // Only ever called on this UI's own instrument, from its thread.
    void displayChanged() override { ownDisplayDirty = true; }

private:
    // A program was selected or loaded on the panel: the ports take its values.
    void followInstrument() {
        for (int i = 0; i < kNumParameters; ++i) {
            const float value = target->getParameter(i);
            if (value == portValue[i]) continue;
            portValue[i] = value;
            write(controller, static_cast<std::uint32_t>(i), sizeof value, 0, &value);
        }
    }

    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touchFeature = nullptr;
    PluginInstance* shared = nullptr; // the plug-in instance, with instance access
    Instrument* own = nullptr; // the UI's own instrument, without it
    Instrument* target = nullptr; // whose editor is shown
    bool open = false;
    bool ownDisplayDirty = false;
    float portValue[kNumParameters] = {};
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        auto* ui = new (std::nothrow) PanelUi;
        if (!ui) return nullptr;
        if (!widget || !write || !ui->start(write, controller, features, widget)) {
            delete ui;
            return nullptr;
        }
        return ui;
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    try {
        delete static_cast<PanelUi*>(handle);
    } catch (...) {
    }
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    try {
        static_cast<PanelUi*>(handle)->portEvent(port, size, format, buffer);
    } catch (...) {
    }
}

int idle(LV2UI_Handle handle) {
    try {
        return static_cast<PanelUi*>(handle)->idle();
    } catch (...) {
        return 1;
    }
}

const LV2UI_Idle_Interface idleInterface = {idle};

const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    return nullptr;
}

const LV2UI_Descriptor uiDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace

} // namespace vl::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &vl::lv2::uiDescriptor : nullptr;
}
