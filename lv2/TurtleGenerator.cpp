// Writes the bundle's Turtle files from the parameter and program tables and the port
// layout, at build time, so that what a host reads can never disagree with the binary.
//
//   velmorloom-lv2-ttl OUTPUT_DIR BINARY_FILE_NAME
//
// writes OUTPUT_DIR/manifest.ttl, velmorloom.ttl and presets.ttl.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "instrument/Parameters.h"
#include "instrument/Program.h"
#include "lv2/Lv2Ports.h"

namespace {

using namespace vl;
using namespace vl::lv2;

const char* const kPrefixes = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                              "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
                              "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
                              "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
                              "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                              "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
                              "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

std::string uri(const std::string& text) { return "<" + text + ">"; }

std::string presetUri(int program) { return uri(std::string(kPresetUriPrefix) + std::to_string(program)); }

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + "\"";
}

// Enough digits that the float read back is the very float written.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string s = text;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return s;
}

// "Attack Time" -> "attack_time".
std::string symbolOf(const char* name) {
    std::string s;
    for (const char* c = name; *c; ++c) {
        if (*c >= 'A' && *c <= 'Z') s += static_cast<char>(*c - 'A' + 'a');
        else if ((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9')) s += *c;
        else s += '_';
    }
    return s;
}

std::string manifest(const std::string& binary) {
    std::ostringstream t;
    t << kPrefixes;
    t << uri(kPluginUri) << "\n    a lv2:Plugin, lv2:InstrumentPlugin ;\n    lv2:binary " << uri(binary)
      << " ;\n    rdfs:seeAlso <velmorloom.ttl> .\n\n";
    t << uri(kUiUri) << "\n    a ui:X11UI ;\n    ui:binary " << uri(binary)
      << " ;\n    rdfs:seeAlso <velmorloom.ttl> .\n";
    for (int p = 0; p < kNumPrograms; ++p)
        t << "\n"
          << presetUri(p) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri) << " ;\n    rdfs:label "
          << quoted(factoryPrograms[p].name) << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
    return t.str();
}

std::string plugin() {
    const Program& first = factoryPrograms[0];
    std::ostringstream t;
    t << kPrefixes;
    t << uri(kPluginUri) << "\n"
      << "    a lv2:Plugin, lv2:InstrumentPlugin ;\n"
      << "    doap:name \"Velmor Loom\" ;\n"
      << "    doap:maintainer [ foaf:name \"Tarlowe\" ] ;\n"
      << "    lv2:minorVersion 1 ;\n"
      << "    lv2:microVersion 0 ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable, opts:options ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    ui:ui " << uri(kUiUri) << " ;\n"
      << "    lv2:port";
    for (int i = 0; i < kNumParameters; ++i) {
        t << (i == 0 ? " [\n" : " , [\n") << "        a lv2:InputPort, lv2:ControlPort ;\n"
          << "        lv2:index " << kFirstControlPort + i << " ;\n"
          << "        lv2:symbol \"" << symbolOf(parameterTable[i].name) << "\" ;\n"
          << "        lv2:name " << quoted(parameterTable[i].name) << " ;\n"
          << "        lv2:default " << number(first.values[i]) << " ;\n"
          << "        lv2:minimum " << number(parameterTable[i].minValue) << " ;\n"
          << "        lv2:maximum " << number(parameterTable[i].maxValue) << " ;\n"
          << "    ]";
    }
    t << " , [\n"
      << "        a lv2:InputPort, atom:AtomPort ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports midi:MidiEvent ;\n"
      << "        lv2:designation lv2:control ;\n"
      << "        lv2:index " << kMidiInPort << " ;\n"
      << "        lv2:symbol \"midi_in\" ;\n"
      << "        lv2:name \"MIDI In\" ;\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort, lv2:AudioPort ;\n"
      << "        lv2:index " << kLeftOutPort << " ;\n"
      << "        lv2:symbol \"out_left\" ;\n"
      << "        lv2:name \"Left\" ;\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort, lv2:AudioPort ;\n"
      << "        lv2:index " << kRightOutPort << " ;\n"
      << "        lv2:symbol \"out_right\" ;\n"
      << "        lv2:name \"Right\" ;\n"
      << "    ] .\n\n";
    t << uri(kUiUri) << "\n"
      << "    a ui:X11UI ;\n"
      << "    lv2:requiredFeature ui:parent, ui:idleInterface ;\n"
      << "    lv2:optionalFeature ui:resize, ui:touch, ui:noUserResize, "
         "<http://lv2plug.in/ns/ext/instance-access> ;\n"
      << "    lv2:extensionData ui:idleInterface .\n";
    return t.str();
}

std::string presets() {
    std::ostringstream t;
    t << kPrefixes;
    for (int p = 0; p < kNumPrograms; ++p) {
        t << presetUri(p) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri) << " ;\n    rdfs:label "
          << quoted(factoryPrograms[p].name) << " ;\n    lv2:port";
        for (int i = 0; i < kNumParameters; ++i)
            t << (i == 0 ? " [\n" : " , [\n") << "        lv2:symbol \"" << symbolOf(parameterTable[i].name)
              << "\" ;\n        pset:value " << number(factoryPrograms[p].values[i]) << "\n    ]";
        t << " .\n\n";
    }
    return t.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "velmorloom-lv2-ttl: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmorloom-lv2-ttl OUTPUT_DIR BINARY_FILE_NAME\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string binary = argv[2];
    const bool ok = writeFile(dir + "/manifest.ttl", manifest(binary)) &&
                    writeFile(dir + "/velmorloom.ttl", plugin()) && writeFile(dir + "/presets.ttl", presets());
    return ok ? 0 : 1;
}
