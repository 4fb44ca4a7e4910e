#pragma once
// An output file that appears only when complete: data goes to a uniquely named
// temporary file in the target's folder, which replaces the target on commit. Any
// failure, or destruction without commit, removes the temporary file.
#include <cstddef>
#include <cstdio>
#include <string>

namespace vl::render {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool open(const std::string& target, std::string& error);
    bool write(const void* data, std::size_t size, std::string& error);
    // Flushes, closes and renames over the target.
    bool commit(std::string& error);
    // Closes and deletes the temporary file (nothing happens to the target).
    void abandon();

    const std::string& temporaryPath() const { return temp_; }

private:
    std::FILE* file_ = nullptr;
    std::string target_;
    std::string temp_;
};

// Folder part of a path including its trailing separator ("" for a bare name).
std::string folderOf(const std::string& path);
// Name part of a path without its folder.
std::string baseNameOf(const std::string& path);
// "dir/song.mid" -> "song.wav" (in the current folder).
std::string defaultOutputFor(const std::string& midiPath);

} // namespace vl::render
