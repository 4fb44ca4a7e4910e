#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "platform/Notice.h"

namespace vltest {

namespace {

void captureNotice(const char* caption, const char* text) {
    notices().push_back(std::string(caption ? caption : "(null)") + ": " + (text ? text : "(null)"));
}

std::atomic<unsigned> folderSerial{0};

} // namespace

std::vector<std::string>& notices() {
    static std::vector<std::string> captured;
    return captured;
}

void clearNotices() { notices().clear(); }

std::string errorNotice(const char* text) { return std::string("Velmor Loom Error: ") + text; }

HostScript& host() {
    static HostScript script;
    return script;
}

VstIntPtr VSTCALLBACK scriptedHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    HostScript& script = host();
    switch (opcode) {
    case audioMasterCanDo:
        return ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), "openFileSelector") == 0 &&
                       script.canOpenFileSelector
                   ? 1
                   : 0;
    case audioMasterOpenFileSelector: {
        auto* selection = static_cast<VstFileSelect*>(ptr);
        ++script.openCalls;
        script.openedWith = selection;
        script.openedTitle = selection->title;
        script.openedCommand = selection->command;
        if (!script.chooses) return 0;
        if (selection->returnPath == nullptr ||
            script.chosenPath.size() >= static_cast<std::size_t>(selection->sizeReturnPath))
            return 0;
        std::memcpy(selection->returnPath, script.chosenPath.c_str(), script.chosenPath.size() + 1);
        return 1;
    }
    case audioMasterCloseFileSelector: {
        auto* selection = static_cast<VstFileSelect*>(ptr);
        ++script.closeCalls;
        script.closedWith = selection;
        if (script.releasesReturnPath) {
            std::free(selection->returnPath);
            selection->returnPath = nullptr;
        }
        return 1;
    }
    default:
        return 0;
    }
}

State stateOf(const ProbeInstrument& instrument) {
    State state{};
    for (int i = 0; i < vl::kNumPrograms; ++i) state.bank[i] = instrument.slot(i);
    state.edit = instrument.edit();
    state.current = const_cast<ProbeInstrument&>(instrument).getProgram();
    return state;
}

bool sameProgram(const vl::Program& a, const vl::Program& b) {
    return std::strncmp(a.name, b.name, vl::kProgramNameSize) == 0 &&
           std::memcmp(a.values, b.values, sizeof a.values) == 0;
}

::testing::AssertionResult sameState(const State& a, const State& b) {
    for (int i = 0; i < vl::kNumPrograms; ++i)
        if (!sameProgram(a.bank[i], b.bank[i])) return ::testing::AssertionFailure() << "slot " << i << " differs";
    if (!sameProgram(a.edit, b.edit)) return ::testing::AssertionFailure() << "edit buffer differs";
    if (a.current != b.current)
        return ::testing::AssertionFailure() << "current program " << a.current << " vs " << b.current;
    return ::testing::AssertionSuccess();
}

Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::uint32_t bigEndianAt(const Bytes& bytes, std::size_t offset) {
    return std::uint32_t(bytes.at(offset)) << 24 | std::uint32_t(bytes.at(offset + 1)) << 16 |
           std::uint32_t(bytes.at(offset + 2)) << 8 | std::uint32_t(bytes.at(offset + 3));
}

std::uint32_t littleEndianAt(const Bytes& bytes, std::size_t offset) {
    return std::uint32_t(bytes.at(offset)) | std::uint32_t(bytes.at(offset + 1)) << 8 |
           std::uint32_t(bytes.at(offset + 2)) << 16 | std::uint32_t(bytes.at(offset + 3)) << 24;
}

float littleEndianFloatAt(const Bytes& bytes, std::size_t offset) {
    const std::uint32_t bits = littleEndianAt(bytes, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string textAt(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, length);
}

void FileTest::SetUp() {
    std::random_device entropy;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = std::filesystem::temp_directory_path() /
             ("vl-patchfiles-" + std::string(info->name()) + "-" + std::to_string(entropy()) + "-" +
              std::to_string(folderSerial++));
    std::filesystem::create_directories(folder);
    clearNotices();
    host() = HostScript{};
    vl::setNoticeSink(captureNotice);
}

void FileTest::TearDown() {
    vl::setNoticeSink(nullptr);
    std::error_code ignored;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(folder, ignored);
}

std::vector<std::string> FileTest::folderListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vltest
