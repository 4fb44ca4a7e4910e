// Thousands of random but interface-legal host calls: every opcode 0..80 with buffers of
// the right kind, parameter values inside and outside 0..1 (NaN and infinities included),
// programs -5..20, sample rates 8000..192000, block sizes 0..8192, random MIDI bytes and
// random chunk bytes. Built under AddressSanitizer and UBSan this finds any read or write
// outside a buffer; natively it checks that nothing crashes and the output stays finite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "TestSupport.h"
#include "platform/Notice.h"

namespace {

using vltest::quietHost;

int refusals = 0;
void countNotice(const char*, const char*) { ++refusals; }

struct Events {
    static constexpr int kMax = 32;
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[kMax] = {};
    VstMidiEvent storage[kMax] = {};
};

class Abuser {
public:
    explicit Abuser(unsigned seed) : random(seed), buffer(64 * 1024), left(8192), right(8192) {}

    float anyValue() {
        switch (pick(8)) {
        case 0:
            return std::numeric_limits<float>::quiet_NaN();
        case 1:
            return std::numeric_limits<float>::infinity();
        case 2:
            return -std::numeric_limits<float>::infinity();
        case 3:
            return uniform(-10.0f, 10.0f);
        case 4:
            return uniform(-1.0e30f, 1.0e30f);
        default:
            return uniform(0.0f, 1.0f);
        }
    }

    int pick(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }
    float uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); }

    void fillEvents() {
        events.numEvents = pick(Events::kMax + 1);
        for (int i = 0; i < events.numEvents; ++i) {
            VstMidiEvent& e = events.storage[i];
            e = VstMidiEvent{};
            e.type = pick(10) == 0 ? kVstSysExType : kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = pick(20) == 0 ? -pick(100) : pick(9000);
            for (int b = 0; b < 4; ++b) e.midiData[b] = static_cast<char>(random());
            events.events[i] = reinterpret_cast<VstEvent*>(&e);
        }
    }

    // One dispatcher call. Answers false when the instance was closed.
    bool call(AEffect* effect) {
        const VstInt32 opcode = pick(81);
        VstInt32 index = pick(40) - 8;
        VstIntPtr value = pick(40) - 8;
        float opt = anyValue();
        void* ptr = buffer.data();
        std::fill(buffer.begin(), buffer.end(), 0);
        void* chunkAddress = nullptr;
        ERect* rect = nullptr;
        std::vector<unsigned char> chunk;

        switch (opcode) {
        case effClose:
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
            return false;
        case effSetProgram:
            value = pick(26) - 5;
            break;
        case effSetSampleRate:
            opt = uniform(8000.0f, 192000.0f);
            break;
        case effSetBlockSize:
            value = pick(8193);
            blockSize = static_cast<int>(value);
            break;
        case effSetBlockSizeAndSampleRate:
            value = pick(8193);
            blockSize = static_cast<int>(value);
            opt = uniform(8000.0f, 192000.0f);
            break;
        case effMainsChanged:
            value = pick(2);
            break;
        case effSetProgramName:
        case effString2Parameter:
        case effCanDo: {
            const int length = pick(60);
            for (int i = 0; i < length; ++i)
                buffer[static_cast<std::size_t>(i)] = static_cast<unsigned char>(32 + pick(95));
            break;
        }
        case effProcessEvents:
            fillEvents();
            ptr = &events;
            break;
        case effEditGetRect:
            ptr = &rect;
            break;
        case effGetChunk:
            ptr = &chunkAddress;
            break;
        case effSetChunk: {
            const int size = pick(1001);
            chunk.resize(static_cast<std::size_t>(size) + 1);
            for (auto& b : chunk) b = static_cast<unsigned char>(random());
            // Often a well-formed header, so that the loading paths are reached too.
            if (size >= 8 && pick(2)) {
                const unsigned char head[8] = {'R', 'M', 'L', 'V', static_cast<unsigned char>(pick(3)), 0, 0, 0};
                std::memcpy(chunk.data(), head, 8);
            }
            if (pick(3) == 0) chunk.resize(pick(2) ? 89 : 653);
            index = pick(2);
            value = static_cast<VstIntPtr>(chunk.size() - 1);
            if (pick(4) == 0) value = index ? 88 : 652;
            if (static_cast<std::size_t>(value) > chunk.size()) chunk.resize(static_cast<std::size_t>(value));
            ptr = chunk.data();
            break;
        }
        case effSetSpeakerArrangement:
            value = 0; // the input arrangement travels as a pointer in value
            break;
        case effEditKeyDown:
        case effEditKeyUp:
            opt = static_cast<float>(pick(256));
            break;
        default:
            break;
        }
        effect->dispatcher(effect, opcode, index, value, ptr, opt);
        if (opcode == effGetChunk && chunkAddress) {
            const auto* bytes = static_cast<const unsigned char*>(chunkAddress);
            checksum += bytes[0]; // the chunk stays readable
        }
        return true;
    }

    void render(AEffect* effect) {
        const int frames = pick(std::min(blockSize, 2048) + 1);
        float* outputs[2] = {left.data(), right.data()};
        if (pick(2)) effect->processReplacing(effect, nullptr, outputs, frames);
        else effect->process(effect, nullptr, outputs, frames);
        for (int i = 0; i < frames; ++i) {
            if (!std::isfinite(left[static_cast<std::size_t>(i)]) || !std::isfinite(right[static_cast<std::size_t>(i)]))
                finite = false;
        }
        if (pick(2)) std::fill(left.begin(), left.end(), 0.0f), std::fill(right.begin(), right.end(), 0.0f);
    }

    std::mt19937 random;
    std::vector<unsigned char> buffer;
    std::vector<float> left, right;
    Events events;
    int blockSize = 1024;
    bool finite = true;
    unsigned checksum = 0;
};

} // namespace

TEST(HostAbuse, RandomLegalCallsNeverCrashOrProduceNonFiniteOutput) {
    vl::NoticeSink previous = vl::setNoticeSink(countNotice);
    Abuser abuser(20240611);
    int instances = 0;
    for (int round = 0; round < 6000;) {
        vl::Instrument* instrument = new vl::Instrument(quietHost);
        ASSERT_TRUE(instrument->editorReady);
        ++instances;
        AEffect* effect = instrument->getAeffect();
        bool open = true;
        while (open && round < 6000) {
            ++round;
            const int action = abuser.pick(10);
            if (action < 6) {
                open = abuser.call(effect);
            } else if (action < 8) {
                abuser.render(effect);
            } else if (action == 8) {
                effect->setParameter(effect, abuser.pick(20) - 3, abuser.anyValue());
            } else {
                const float v = effect->getParameter(effect, abuser.pick(20) - 3);
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f);
            }
        }
        if (open) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    vl::setNoticeSink(previous);
    EXPECT_TRUE(abuser.finite);
    EXPECT_GT(instances, 1);
    EXPECT_GT(refusals, 0);
}
