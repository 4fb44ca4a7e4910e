// The panel's shared pictures: counted across instruments, loaded once, given back only by
// the editors that took them, and an instance without all of them is refused.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/Picture.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentEditor.h"
#include "platform/Notice.h"
#include "tests/support/HostRecorder.h"

namespace {

using vltest::quietHost;

std::vector<std::string>& notices() {
    static std::vector<std::string> list;
    return list;
}
void capture(const char* caption, const char* text) { notices().push_back(std::string(caption) + ": " + text); }

using vl::InstrumentEditor;

TEST(SharedPictures, CountedAcrossInstrumentsAndLoadedAgainAfterTheLast) {
    ASSERT_EQ(InstrumentEditor::editorCount(), 0);
    for (int slot = 0; slot < InstrumentEditor::kPictureCount; ++slot)
        EXPECT_EQ(InstrumentEditor::sharedPicture(slot), nullptr);
    auto first = std::make_unique<vl::Instrument>(quietHost);
    ASSERT_TRUE(first->editorReady);
    const struct {
        int slot, id, width, height;
    } expected[] = {
        {0, 134, 727, 301}, {1, 166, 37, 2442}, {2, 165, 48, 3168}, {3, 145, 43, 50},
        {6, 152, 43, 50},   {7, 157, 19, 36},   {14, 164, 19, 36},  {15, 168, 10, 110},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.slot);
        vl::Picture* p = InstrumentEditor::sharedPicture(e.slot);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->getResourceId(), e.id);
        EXPECT_EQ(InstrumentEditor::sharedPictureId(e.slot), e.id);
        EXPECT_EQ(p->width, e.width);
        EXPECT_EQ(p->height, e.height);
        EXPECT_EQ(p->getRefCount(), 1);
    }
    vl::Picture* background = InstrumentEditor::sharedPicture(0);
    auto second = std::make_unique<vl::Instrument>(quietHost);
    EXPECT_EQ(InstrumentEditor::editorCount(), 2);
    EXPECT_EQ(InstrumentEditor::sharedPicture(0), background); // shared, not loaded again
    EXPECT_EQ(background->getRefCount(), 2);
    // open panels hold references of their own; closing gives them back
    ASSERT_EQ(second->getPanel()->open(nullptr), 1);
    EXPECT_GT(background->getRefCount(), 2);
    second->getPanel()->close();
    EXPECT_EQ(background->getRefCount(), 2);
    first.reset();
    EXPECT_EQ(InstrumentEditor::editorCount(), 1);
    EXPECT_EQ(background->getRefCount(), 1);
    second.reset();
    EXPECT_EQ(InstrumentEditor::editorCount(), 0);
    for (int slot = 0; slot < InstrumentEditor::kPictureCount; ++slot)
        EXPECT_EQ(InstrumentEditor::sharedPicture(slot), nullptr);
}

TEST(SharedPictures, AMissingBitmapRefusesTheInstanceAndReleasesOnlyWhatItTook) {
    notices().clear();
    const vl::NoticeSink previousSink = vl::setNoticeSink(capture);
    auto holder = std::make_unique<vl::Instrument>(quietHost); // holds every picture once
    ASSERT_TRUE(holder->editorReady);
    for (int slot : {2, 0, 15}) { // large knob, background, digits
        SCOPED_TRACE(slot);
        notices().clear();
        const int32_t id = InstrumentEditor::replacePictureId(slot, 999); // no such bitmap
        // with the pictures all shared the missing one is never loaded: release the holder's
        // first, so that this instance must load them itself
        holder.reset();
        auto refused = std::make_unique<vl::Instrument>(quietHost);
        EXPECT_FALSE(refused->editorReady);
        EXPECT_EQ(refused->getPanel(), nullptr);
        EXPECT_EQ(refused->getEditor(), nullptr);
        EXPECT_EQ(refused->getAeffect()->flags & effFlagsHasEditor, 0);
        EXPECT_EQ(notices(), std::vector<std::string>{"Velmor Loom Error: Bitmap could not be loaded"});
        EXPECT_EQ(InstrumentEditor::editorCount(), 0);
        refused.reset();
        InstrumentEditor::replacePictureId(slot, id);
        // the refused editor gave back every picture it took, the failed one included, so
        // the next instance loads them afresh
        for (int slot = 0; slot < InstrumentEditor::kPictureCount; ++slot)
            EXPECT_EQ(InstrumentEditor::sharedPicture(slot), nullptr) << slot;
        holder = std::make_unique<vl::Instrument>(quietHost);
        EXPECT_TRUE(holder->editorReady);
    }
    vl::setNoticeSink(previousSink);
}

} // namespace
