#include "instrument/PatchFiles.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument/ErrorReport.h"
#include "instrument/Instrument.h"
#include "instrument/Program.h"

namespace vl {

namespace {

constexpr std::size_t kPatchChunkSize = sizeof(ProgramChunk);
constexpr std::size_t kBankChunkSize = sizeof(BankChunk);
static_assert(kPatchHeaderSize + kPatchChunkSize == kPatchFileSize);
static_assert(kBankHeaderSize + kBankChunkSize == kBankFileSize);

void putBigEndian(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value >> 24);
    at[1] = static_cast<unsigned char>(value >> 16);
    at[2] = static_cast<unsigned char>(value >> 8);
    at[3] = static_cast<unsigned char>(value);
}

void putMagic(unsigned char* at, const char (&magic)[5]) { std::memcpy(at, magic, 4); }

// The header fields both containers share, bytes 0 .. 27.
void putCommonHeader(unsigned char* header, const char (&fxMagic)[5], std::uint32_t count) {
    putMagic(header + 0, "CcnK");
    putBigEndian(header + 4, 0); // byte size: written as 0 by this system
    putMagic(header + 8, fxMagic);
    putBigEndian(header + 12, 1); // format version
    putBigEndian(header + 16, static_cast<std::uint32_t>(kChunkId));
    putBigEndian(header + 20, 1); // fx version
    putBigEndian(header + 24, count);
}

// Hands the bytes from offset to the end of the file to setChunk. A file shorter than
// offset gives a negative size, which setChunk refuses before reading anything; the
// pointer stays inside the buffer either way. Sizes beyond the 32-bit range are clamped
// so they cannot wrap around to a valid chunk size.
bool passChunk(Instrument& instrument, std::vector<unsigned char>& bytes, std::size_t offset, bool isPreset) {
    const std::size_t n = bytes.size();
    unsigned char* start = bytes.data() + std::min(n, offset);
    const long long rest = static_cast<long long>(n) - static_cast<long long>(offset);
    const auto size = static_cast<VstInt32>(std::clamp<long long>(rest, INT32_MIN, INT32_MAX));
    return instrument.setChunk(start, size, isPreset) != 0;
}

bool loadFile(Instrument& instrument, const char* path, FileKind kind) {
    std::vector<unsigned char> bytes;
    if (readWholeFile(path, bytes) == 0) return false;
    if (kind == FileKind::patch) return passChunk(instrument, bytes, kPatchHeaderSize, true);
    const bool loaded = passChunk(instrument, bytes, kBankHeaderSize, false);
    // A bank read from a file always leaves program 0 selected, also when it was refused.
    instrument.setProgram(0);
    return loaded;
}

// Removes the temporary file of a save unless it was moved into place.
class TempFile {
public:
    ~TempFile() {
        if (file != nullptr) std::fclose(file);
        if (!path.empty()) fileaccess::removeFile(path.c_str());
    }
    std::FILE* file = nullptr;
    std::string path;
};

bool saveFile(Instrument& instrument, const char* path, FileKind kind) {
    const bool isPreset = kind == FileKind::patch;
    if (path == nullptr || *path == '\0') {
        showError(ErrorCode::openFailed);
        return false;
    }
    const std::string target = fileaccess::resolveTarget(path);
    TempFile temp;
    if (!fileaccess::canBeReplaced(target.c_str()) ||
        (temp.file = fileaccess::createBeside(target.c_str(), temp.path)) == nullptr) {
        showError(ErrorCode::openFailed);
        return false;
    }

    // Stores the edit buffer into the current slot first.
    void* data = nullptr;
    const VstInt32 size = instrument.getChunk(&data, isPreset);
    const std::size_t chunkSize = isPreset ? kPatchChunkSize : kBankChunkSize;
    if (data == nullptr || size < 0 || static_cast<std::size_t>(size) != chunkSize) {
        showError(ErrorCode::invalidFormat);
        return false;
    }
    const auto* chunk = static_cast<const unsigned char*>(data);

    unsigned char header[kBankHeaderSize] = {};
    std::size_t headerSize;
    if (isPreset) {
        putCommonHeader(header, "FPCh", kNumParameters);
        // The first 24 bytes of the stored name; bytes 52 .. 55 stay 0 so the 28-byte
        // name field is always terminated.
        std::memcpy(header + 28, chunk + offsetof(ProgramChunk, program) + offsetof(Program, name), 24);
        putBigEndian(header + 56, static_cast<std::uint32_t>(kPatchChunkSize));
        headerSize = kPatchHeaderSize;
    } else {
        putCommonHeader(header, "FBCh", kNumPrograms);
        putBigEndian(header + 156, static_cast<std::uint32_t>(kBankChunkSize));
        headerSize = kBankHeaderSize;
    }

    bool written = std::fwrite(header, 1, headerSize, temp.file) == headerSize &&
                   std::fwrite(chunk, 1, chunkSize, temp.file) == chunkSize;
    std::FILE* file = temp.file;
    temp.file = nullptr;
    written = fileaccess::finishFile(file) && written;
    if (!written || !fileaccess::replaceFile(temp.path.c_str(), target.c_str())) {
        showError(ErrorCode::writeFailed);
        return false;
    }
    temp.path.clear(); // it is the target now
    return true;
}

void copyText(char* field, std::size_t fieldSize, const char* text) {
    std::strncpy(field, text, fieldSize - 1);
    field[fieldSize - 1] = '\0';
}

// Copies the chosen path out of the request before the host may release it.
bool takeChosenPath(const VstFileSelect& selection, std::string& path) {
    if (selection.returnPath == nullptr) return false;
    const std::size_t limit = selection.sizeReturnPath > 0 ? static_cast<std::size_t>(selection.sizeReturnPath)
                                                           : kReturnPathSize;
    const void* end = std::memchr(selection.returnPath, '\0', limit);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - selection.returnPath)
                                   : limit;
    path.assign(selection.returnPath, length);
    return !path.empty();
}

} // namespace

std::size_t readWholeFile(const char* path, std::vector<unsigned char>& bytes) {
    bytes.clear();
    std::FILE* file = fileaccess::openForReading(path);
    if (file == nullptr) {
        showError(ErrorCode::openFailed);
        return 0;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size <= 0) { // size unknown, or an empty file
        std::fclose(file);
        showError(ErrorCode::readFailed);
        return 0;
    }
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::exception&) {
        std::fclose(file);
        bytes.clear();
        showError(ErrorCode::outOfMemory);
        return 0;
    }
    std::rewind(file);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (got != bytes.size()) {
        bytes.clear();
        showError(ErrorCode::readFailed);
        return 0;
    }
    return got;
}

bool loadPatchFile(Instrument& instrument, const char* path) {
    try {
        return loadFile(instrument, path, FileKind::patch);
    } catch (const std::exception&) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
}

bool loadBankFile(Instrument& instrument, const char* path) {
    try {
        return loadFile(instrument, path, FileKind::bank);
    } catch (const std::exception&) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
}

bool savePatchFile(Instrument& instrument, const char* path) {
    try {
        return saveFile(instrument, path, FileKind::patch);
    } catch (const std::exception&) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
}

bool saveBankFile(Instrument& instrument, const char* path) {
    try {
        return saveFile(instrument, path, FileKind::bank);
    } catch (const std::exception&) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
}

void fillFileSelection(VstFileSelect& selection, VstFileType& type, FileKind kind, FileCommand command) {
    const bool bank = kind == FileKind::bank;
    const bool load = command == FileCommand::load;
    std::memset(&type, 0, sizeof type);
    copyText(type.name, sizeof type.name, bank ? "FX Banks" : "FX Patches");
    copyText(type.macType, sizeof type.macType, bank ? ".fxb" : ".fxp");
    const char* extension = bank ? "fxb" : "fxp";
    copyText(type.dosType, sizeof type.dosType, extension);
    copyText(type.unixType, sizeof type.unixType, extension);
    copyText(type.mimeType1, sizeof type.mimeType1, extension);
    copyText(type.mimeType2, sizeof type.mimeType2, extension);

    std::memset(&selection, 0, sizeof selection);
    selection.command = load ? kVstFileLoad : kVstFileSave;
    selection.type = kVstFileType;
    selection.nbFileTypes = 1;
    selection.fileTypes = &type;
    copyText(selection.title, sizeof selection.title,
             bank ? (load ? "Load FX Bank" : "Save FX Bank") : (load ? "Load FX Patch" : "Save FX Patch"));
    selection.initialPath = nullptr;
    selection.returnPath = static_cast<char*>(std::calloc(kReturnPathSize, 1));
    selection.sizeReturnPath = selection.returnPath != nullptr ? kReturnPathSize : 0;
}

bool prepareReturnPath(VstFileSelect* selection) {
    if (selection == nullptr) return false;
    if (selection->returnPath == nullptr) {
        selection->returnPath = static_cast<char*>(std::calloc(kReturnPathSize, 1));
        if (selection->returnPath == nullptr) {
            selection->sizeReturnPath = 0;
            showError(ErrorCode::outOfMemory);
            return false;
        }
        selection->sizeReturnPath = kReturnPathSize;
    }
    if (selection->sizeReturnPath <= 0) return false;
    return true;
}

bool chooseFile(Instrument& instrument, FileKind kind, FileCommand command, void* ownerWindow, std::string& path) {
    path.clear();
    VstFileType type;
    VstFileSelect selection;
    fillFileSelection(selection, type, kind, command);
    if (selection.returnPath == nullptr) {
        showError(ErrorCode::outOfMemory);
        return false;
    }
    char* const ownBuffer = selection.returnPath;
    bool chosen = false;
    try {
        if (instrument.canHostDo("openFileSelector") == 1) {
            chosen = instrument.openFileSelector(&selection) && takeChosenPath(selection, path);
            // Always, chosen or not; the host may release the return path here.
            instrument.closeFileSelector(&selection);
        } else {
            chosen = chooseFileFallback(&selection, ownerWindow) && takeChosenPath(selection, path);
        }
    } catch (const std::exception&) {
        showError(ErrorCode::outOfMemory);
        chosen = false;
    }
    // A host that released the buffer cleared the field; one that put a buffer of its own
    // there keeps it.
    if (selection.returnPath == ownBuffer) std::free(ownBuffer);
    selection.returnPath = nullptr;
    if (!chosen) path.clear();
    return chosen;
}

bool Instrument::loadPatch(void* ownerWindow) {
    std::string path;
    return chooseFile(*this, FileKind::patch, FileCommand::load, ownerWindow, path) &&
           loadPatchFile(*this, path.c_str());
}

bool Instrument::savePatch(void* ownerWindow) {
    std::string path;
    return chooseFile(*this, FileKind::patch, FileCommand::save, ownerWindow, path) &&
           savePatchFile(*this, path.c_str());
}

bool Instrument::loadBank(void* ownerWindow) {
    std::string path;
    return chooseFile(*this, FileKind::bank, FileCommand::load, ownerWindow, path) && loadBankFile(*this, path.c_str());
}

bool Instrument::saveBank(void* ownerWindow) {
    std::string path;
    return chooseFile(*this, FileKind::bank, FileCommand::save, ownerWindow, path) && saveBankFile(*this, path.c_str());
}

} // namespace vl
