// One thread renders with MIDI the way a host's audio thread does, while another changes
// programs, Voices, Brightness, parameters, names and chunks the way its user interface
// does. Built under ThreadSanitizer this finds any unguarded shared state; natively it
// checks that the output stays finite throughout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

using Events = vltest::EventList<16>;
using vltest::quietHost;

} // namespace

TEST(Concurrency, RenderingWhileTheUserInterfaceChangesEverything) {
    vl::Instrument instrument(quietHost);
    ASSERT_TRUE(instrument.editorReady);
    AEffect* effect = instrument.getAeffect();
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<bool> finite{true};

    std::thread audio([&] {
        std::mt19937 random(1);
        Events events;
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        while (!stop.load()) {
            events.clear();
            for (int i = 0; i < 4; ++i) {
                const int kind = static_cast<int>(random() % 10);
                const int delta = static_cast<int>(random() % 256);
                if (kind < 5)
                    events.add(delta, 0x90, 30 + static_cast<int>(random() % 70), 1 + static_cast<int>(random() % 127));
                else if (kind < 7) events.add(delta, 0x80, 30 + static_cast<int>(random() % 70), 0);
                else if (kind == 7)
                    events.add(delta, 0xB0, 40 + static_cast<int>(random() % 10), static_cast<int>(random() % 128));
                else if (kind == 8)
                    events.add(delta, 0xB0, 96 + static_cast<int>(random() % 2), 7 + static_cast<int>(random() % 42));
                else events.add(delta, 0xC0, static_cast<int>(random() % 10), 0);
            }
            effect->dispatcher(effect, effProcessEvents, 0, 0, events.get(), 0.0f);
            effect->processReplacing(effect, nullptr, outputs, 256);
            for (int i = 0; i < 256; ++i) {
                if (!std::isfinite(left[i]) || !std::isfinite(right[i])) finite = false;
            }
            ++blocks;
        }
    });

    std::mt19937 random(2);
    std::vector<unsigned char> savedBank, savedPreset;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    long changes = 0;
    while (std::chrono::steady_clock::now() < until) {
        switch (random() % 9) {
        case 0:
            effect->dispatcher(effect, effSetProgram, 0, static_cast<VstIntPtr>(random() % 8), nullptr, 0.0f);
            break;
        case 1:
            effect->setParameter(effect, vl::kVoices, static_cast<float>(random() % 1000) / 999.0f);
            break;
        case 2:
            effect->setParameter(effect, vl::kBrightness, static_cast<float>(random() % 1000) / 999.0f);
            break;
        case 3: {
            void* data = nullptr;
            const bool preset = random() % 2;
            const VstIntPtr size = effect->dispatcher(effect, effGetChunk, preset, 0, &data, 0.0f);
            auto& target = preset ? savedPreset : savedBank;
            target.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
            break;
        }
        case 4:
            if (!savedBank.empty()) {
                std::vector<unsigned char> copy = savedBank;
                effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f);
            }
            break;
        case 5:
            if (!savedPreset.empty()) {
                std::vector<unsigned char> copy = savedPreset;
                effect->dispatcher(effect, effSetChunk, 1, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f);
            }
            break;
        case 6: {
            const int index = static_cast<int>(random() % 13);
            effect->setParameter(effect, index, static_cast<float>(random() % 1000) / 999.0f);
            char text[64];
            effect->dispatcher(effect, effGetParamDisplay, index, 0, text, 0.0f);
            (void)effect->getParameter(effect, index);
            break;
        }
        case 7: {
            char name[32];
            std::snprintf(name, sizeof name, "Take %ld", changes);
            effect->dispatcher(effect, effSetProgramName, 0, 0, name, 0.0f);
            char back[64];
            effect->dispatcher(effect, effGetProgramName, 0, 0, back, 0.0f);
            effect->dispatcher(effect, effGetProgramNameIndexed, static_cast<VstInt32>(random() % 8), 0, back, 0.0f);
            effect->dispatcher(effect, effCopyProgram, static_cast<VstInt32>(random() % 8), 0, nullptr, 0.0f);
            break;
        }
        default:
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, random() % 2 ? 44100.0f : 48000.0f);
            break;
        }
        ++changes;
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(finite.load());
    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(changes, 100);
}

// MIDI program changes arrive on the audio thread while the user interface asks for the
// current program (as the panel and the host do): the answer is always one of the
// programs, and after the last block it is the last program received.
TEST(Concurrency, ProgramChangesOnTheAudioThreadWhileTheInterfaceReadsTheProgram) {
    vl::Instrument instrument(quietHost);
    AEffect* effect = instrument.getAeffect();
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    const VstInt32 programs = effect->numPrograms;

    std::atomic<bool> started{false};
    constexpr int kBlocks = 400;
    int lastSent = -1;
    std::thread audio([&] {
        Events events;
        std::vector<float> left(64), right(64);
        float* outputs[2] = {left.data(), right.data()};
        for (int block = 0; block < kBlocks; ++block) {
            events.clear();
            lastSent = (block * 3 + 1) % programs;
            events.add(block % 64, 0xC0, lastSent, 0);
            effect->dispatcher(effect, effProcessEvents, 0, 0, events.get(), 0.0f);
            effect->processReplacing(effect, nullptr, outputs, 64);
            started = true;
        }
    });
    while (!started.load()) std::this_thread::yield();
    long reads = 0, outOfRange = 0;
    for (; reads < 20000; ++reads) {
        const VstIntPtr program = effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
        if (program < 0 || program >= programs) ++outOfRange;
    }
    audio.join();
    EXPECT_EQ(outOfRange, 0) << "of " << reads << " reads";
    EXPECT_EQ(effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f), lastSent);
}
