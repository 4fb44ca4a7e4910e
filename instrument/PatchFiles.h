#pragma once
// Patch files (.fxp, one program) and bank files (.fxb, all eight programs).
//
// Both are the standard opaque-chunk program and bank containers: a big-endian header
// followed by the chunk that getChunk hands to a host, written byte for byte.
//
//   patch, 148 bytes: "CcnK", 0, "FPCh", 1, id, 1, 13, name (24 bytes), 0, 88, chunk (88 bytes)
//   bank,  812 bytes: "CcnK", 0, "FBCh", 1, id, 1, 8, 128 zero bytes, 652, chunk (652 bytes)
//
// Readers ignore the header: the chunk starts at byte 60 (patch) or 160 (bank) and runs
// to the end of the file; setChunk checks its size, id and version.
//
// Every failure is shown through showError and answered false. A save writes a new file
// beside the target and moves it into place only when all of it reached the disk, so a
// failed save leaves the previous file as it was. No file stays open between operations.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vst/VstAbi.h"

namespace vl {

class Instrument;

inline constexpr std::size_t kPatchHeaderSize = 60;
inline constexpr std::size_t kBankHeaderSize = 160;
inline constexpr std::size_t kPatchFileSize = 148;
inline constexpr std::size_t kBankFileSize = 812;
inline constexpr int kReturnPathSize = 1024;

enum class FileKind { patch, bank };
enum class FileCommand { load, save };

// Reads a whole regular file into bytes (resized to its length). Answers the number of
// bytes read; 0 after a failure, which was shown: "Error opening file" (missing, not a
// regular file, cannot be opened), "Error reading file" (size unknown, short read, empty
// file), "Out of memory". The file is opened read-only and closed before returning.
std::size_t readWholeFile(const char* path, std::vector<unsigned char>& bytes);

// Loads a patch into the current program slot and re-selects it. True when loaded.
bool loadPatchFile(Instrument& instrument, const char* path);

// Loads a bank into all eight slots; program 0 is selected afterwards whenever the file
// could be read, also when its chunk was refused. True when the chunk was loaded.
bool loadBankFile(Instrument& instrument, const char* path);

// Store the current program (edit buffer first) as a patch, or all programs as a bank.
bool savePatchFile(Instrument& instrument, const char* path);
bool saveBankFile(Instrument& instrument, const char* path);

// Fills a file-selector request for one kind and command. The return path is a new
// zero-filled buffer of kReturnPathSize bytes from std::malloc (null when that failed);
// whoever releases it uses std::free. type must outlive the request.
void fillFileSelection(VstFileSelect& selection, VstFileType& type, FileKind kind, FileCommand command);

// Lets the user choose a file: through the host's file selector when the host can do
// "openFileSelector" (closeFileSelector always follows), otherwise through
// chooseFileFallback owned by ownerWindow. True with the path when one was chosen.
// The request's return path is released in every case.
bool chooseFile(Instrument& instrument, FileKind kind, FileCommand command, void* ownerWindow, std::string& path);

// The platform's own open or save dialog for a request; writes the chosen path into the
// return path (allocating one of kReturnPathSize bytes with std::malloc when missing).
// True when a file was chosen. Where the platform has no dialog it chooses nothing, as a
// cancelled dialog does.
bool chooseFileFallback(VstFileSelect* selection, void* ownerWindow);

// For the fallback dialogs: makes sure the request has a return path to write into,
// allocating one of kReturnPathSize bytes with std::calloc when it has none ("Out of
// memory" when that fails). False when there is no request or no room for a path.
bool prepareReturnPath(VstFileSelect* selection);

// Platform file operations behind the functions above (one implementation per platform).
namespace fileaccess {

// Opens an existing regular file for binary reading; null for anything else.
std::FILE* openForReading(const char* path);

// The file a save to path really replaces (the target of a symbolic link).
std::string resolveTarget(const char* path);

// False when target exists but is not a regular file (a folder, a device).
bool canBeReplaced(const char* target);

// Creates a new empty file with a unique name in target's folder, open for binary
// writing; its name goes to tempPath. Null when it cannot be created.
std::FILE* createBeside(const char* target, std::string& tempPath);

// Flushes, commits to the disk and closes; false when any of that failed. The file is
// closed in every case.
bool finishFile(std::FILE* file);

// Moves from over to, replacing an existing file.
bool replaceFile(const char* from, const char* to);

void removeFile(const char* path);

} // namespace fileaccess

} // namespace vl
