#pragma once
// Runs the built velmorloom-render executable the way a user does and captures its exit
// status, standard output and standard error.
#include <string>
#include <vector>

namespace vl::render::test {

struct ToolRun {
    int status = -1; // exit status; -1 if the program could not be started or crashed
    std::string out;
    std::string err;
};

// Path of the executable under test (given to the test program at build time).
std::string toolPath();

// Runs the tool with args in folder workDir (the current folder when empty). A non-zero
// fileSizeLimit caps the size of any file the tool writes (POSIX only), so that its
// writes fail the way they do on a full disk.
ToolRun runTool(const std::vector<std::string>& args, const std::string& workDir = std::string(),
                long fileSizeLimit = 0);

} // namespace vl::render::test
