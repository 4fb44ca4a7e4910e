// vl-factory-bank: writes the eight factory programs as a bank file (.fxb), the file
// that is installed beside the programs for users who want the factory sounds back.
//     vl-factory-bank OUTPUT.fxb
#include <cstdio>
#include <exception>

#include "instrument/Instrument.h"
#include "instrument/PatchFiles.h"

namespace {

VstIntPtr VSTCALLBACK noHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vl-factory-bank OUTPUT.fxb\n");
        return 2;
    }
    try {
        vl::Instrument instrument(&noHost);
        if (vl::saveBankFile(instrument, argv[1])) return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vl-factory-bank: %s\n", e.what());
    }
    std::fprintf(stderr, "vl-factory-bank: cannot write %s\n", argv[1]);
    return 1;
}
