#pragma once
// The few operating-system services the renderer needs. Paths are UTF-8 everywhere;
// the Windows side converts them to UTF-16. Implemented in SystemIoPosix.cpp or
// SystemIoWin32.cpp, the only files of the renderer that include platform headers.
#include <cstdio>
#include <string>
#include <vector>

namespace vl::render::sys {

// The program's arguments as UTF-8 (on Windows taken from the wide command line).
std::vector<std::string> arguments(int argc, char** argv);

// Opens an existing file for binary reading; null on failure (errno describes it).
std::FILE* openForReading(const std::string& path);

// Creates a new file for binary writing, failing if the name exists already.
// null on failure; alreadyExists tells the two cases apart.
std::FILE* createNew(const std::string& path, bool& alreadyExists);

// Moves from over to, replacing an existing file. false with a message on failure.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);

// Deletes a file; false if it could not be deleted.
bool removeFile(const std::string& path);

// true when the path names an existing directory.
bool isDirectory(const std::string& path);

// Whether standard error is a terminal (for the progress display).
bool stderrIsTerminal();

// Number identifying this process, for unique temporary names.
unsigned long processId();

// Text of the last system error (errno on POSIX).
std::string lastErrorText();

} // namespace vl::render::sys
