#include "instrument/Program.h"

#include <cstring>

namespace vl {

Program freshProgram() {
    Program program{};
    std::memset(program.name, 'W', 24);
    for (int i = 0; i < kNumParameters; ++i) program.values[i] = parameterTable[i].defaultValue;
    return program;
}

const std::array<Program, kNumPrograms> factoryPrograms = {{
    {"String Ensemble", {1.0f, 0.1f, 0.3f, 0.4f, 0.3f, 0.4f, 0.4f, 0.25f, 0.6f, 0.95f, 0.35f, 0.35f, 0.5f}},
    {"Velmor Lead", {1.0f, 0.0f, 0.0f, 0.905f, 0.52f, 0.71f, 0.74f, 0.0f, 0.86f, 1.0f, 0.125f, 0.205f, 0.5f}},
    {"Faraway pad", {0.745f, 0.425f, 0.52f, 0.535f, 0.365f, 0.37f, 1.0f, 0.56f, 1.0f, 0.695f, 1.0f, 0.815f, 0.5f}},
    {"Velmor Flute", {1.0f, 0.015f, 0.035f, 0.0f, 0.77f, 0.245f, 0.405f, 0.0f, 0.0f, 0.0f, 0.115f, 0.1f, 0.5f}},
    {"Pad Lead", {1.0f, 0.0f, 0.125f, 0.69f, 0.105f, 0.62f, 0.4f, 0.7f, 0.6f, 0.9f, 0.35f, 0.26f, 0.5f}},
    {"Soft Pad", {1.0f, 0.195f, 0.0f, 0.35f, 1.0f, 0.12f, 0.96f, 1.0f, 0.52f, 1.0f, 1.0f, 0.07f, 0.5f}},
    {"Solo Strings", {1.0f, 0.3f, 0.095f, 1.0f, 0.27f, 0.24f, 0.0f, 0.195f, 1.0f, 0.1f, 0.35f, 0.26f, 0.5f}},
    {"Warm Strings", {1.0f, 0.205f, 0.61f, 0.19f, 0.335f, 0.65f, 0.44f, 0.0f, 0.6f, 0.365f, 0.505f, 0.485f, 0.5f}},
}};

void copyProgramName(char (&field)[kProgramNameSize], const char* source) {
    std::memset(field, 0, sizeof field);
    if (!source) return;
    std::size_t length = 0;
    while (length < kProgramNameSize - 1 && source[length] != '\0') ++length;
    std::memcpy(field, source, length);
}

void sanitizeProgram(Program& program) {
    program.name[kProgramNameSize - 1] = '\0';
    for (float& value : program.values) value = clampParameter(value);
}

} // namespace vl
