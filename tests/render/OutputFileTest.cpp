#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/render/OutputFile.h"

namespace vl::render {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vl-render-out-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string contents(const fs::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeFile(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

    fs::path dir;
};

TEST_F(OutputFileTest, CommitReplacesTargetAndLeavesNothingElse) {
    const fs::path target = dir / "out.wav";
    writeFile(target, "old contents");
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.open(target.string(), error)) << error;
    EXPECT_EQ(fs::path(out.temporaryPath()).parent_path(), dir);
    EXPECT_EQ(contents(target), "old contents"); // untouched until commit
    ASSERT_TRUE(out.write("new", 3, error));
    ASSERT_TRUE(out.write(" data", 5, error));
    EXPECT_EQ(entries().size(), 2u);
    ASSERT_TRUE(out.commit(error)) << error;
    EXPECT_EQ(contents(target), "new data");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.wav"});
}

TEST_F(OutputFileTest, AbandonAndDestructionRemoveTheTemporaryFile) {
    const fs::path target = dir / "keep.wav";
    writeFile(target, "keep");
    {
        OutputFile out;
        std::string error;
        ASSERT_TRUE(out.open(target.string(), error));
        ASSERT_TRUE(out.write("partial", 7, error));
        out.abandon();
        EXPECT_EQ(entries(), std::vector<std::string>{"keep.wav"});
    }
    {
        OutputFile out;
        std::string error;
        ASSERT_TRUE(out.open((dir / "new.wav").string(), error));
        ASSERT_TRUE(out.write("partial", 7, error));
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"keep.wav"});
    EXPECT_EQ(contents(target), "keep");
}

TEST_F(OutputFileTest, TwoWritersGetDistinctTemporaryNames) {
    OutputFile a, b;
    std::string error;
    ASSERT_TRUE(a.open((dir / "same.wav").string(), error));
    ASSERT_TRUE(b.open((dir / "same.wav").string(), error));
    EXPECT_NE(a.temporaryPath(), b.temporaryPath());
}

TEST_F(OutputFileTest, UnwritablePlacesFailCleanly) {
    OutputFile out;
    std::string error;
    EXPECT_FALSE(out.open((dir / "missing" / "x.wav").string(), error));
    EXPECT_FALSE(error.empty());
    fs::create_directories(dir / "folder");
    error.clear();
    EXPECT_FALSE(out.open((dir / "folder").string(), error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(out.write("x", 1, error));
    EXPECT_FALSE(out.commit(error));
    EXPECT_EQ(entries(), std::vector<std::string>{"folder"});
}

TEST(OutputNames, DefaultOutputIsTheBaseNameInTheCurrentFolder) {
    EXPECT_EQ(defaultOutputFor("song.mid"), "song.wav");
    EXPECT_EQ(defaultOutputFor("dir/sub/Song.MID"), "Song.wav");
    EXPECT_EQ(defaultOutputFor("dir.d/song"), "song.wav");
    EXPECT_EQ(defaultOutputFor("a.b.midi"), "a.b.wav");
    EXPECT_EQ(defaultOutputFor(".hidden"), ".hidden.wav");
    EXPECT_EQ(folderOf("a/b/c.wav"), "a/b/");
    EXPECT_EQ(folderOf("c.wav"), "");
    EXPECT_EQ(baseNameOf("a/b/c.wav"), "c.wav");
#ifdef _WIN32
    EXPECT_EQ(defaultOutputFor("C:\\music\\tune.mid"), "tune.wav");
#endif
}

} // namespace
} // namespace vl::render
