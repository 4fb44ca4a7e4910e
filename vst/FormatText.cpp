// Text tools of the frame: short fixed-width displays of numbers (at most 8 visible
// characters plus the terminating NUL).

#include <cmath>
#include <cstdio>
#include <cstring>

#include "vst/EffectFrame.h"

namespace vl {

namespace {

constexpr int kWidth = 8;
constexpr char kHuge[] = " Huge!  ";

void copyText(char* text, const char* source) { std::memcpy(text, source, std::strlen(source) + 1); }

} // namespace

void EffectFrame::formatLong(VstInt32 value, char* text) {
    if (!text) return;
    if (value < 100000000) {
        char scratch[16];
        std::snprintf(scratch, sizeof scratch, "%7d", static_cast<int>(value));
        scratch[kWidth] = '\0'; // cut after 8 characters
        copyText(text, scratch);
    } else {
        copyText(text, kHuge);
    }
}

void EffectFrame::formatDecibels(float value, char* text) {
    if (!text) return;
    if (value > 0.0f) formatFloat(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
    else copyText(text, "  -oo   ");
}

void EffectFrame::formatHertz(float samples, char* text) {
    if (!text) return;
    if (samples == 0.0f) formatFloat(0.0f, text);
    else formatFloat(getSampleRate() / samples, text);
}

void EffectFrame::formatMilliseconds(float samples, char* text) {
    if (!text) return;
    formatFloat(samples * 1000.0f / getSampleRate(), text);
}

// Digits are produced right to left, the integer part in front of the decimal point and
// then as many fraction digits as the 8-character width leaves.
void EffectFrame::formatFloat(float value, char* text) {
    if (!text) return;
    double v = value;
    if (std::isnan(v)) {
        copyText(text, "  NaN   ");
        return;
    }
    int count = 0;
    bool negative = false;
    if (v < 0.0) {
        v = -v;
        negative = true;
        count = 1;
    }
    if (v > (negative ? 9999999.0 : 99999999.0)) {
        copyText(text, kHuge);
        return;
    }

    // Integer part, built backwards from the end of a scratch buffer.
    char scratch[2 * kWidth + 2];
    char* head = scratch + sizeof scratch - 1;
    *head = '\0';
    *--head = '.';
    double whole = std::floor(v);
    *--head = static_cast<char>('0' + static_cast<int>(std::trunc(std::fmod(whole, 10.0))));
    double part = whole * 0.1;
    count += 2;
    while (part >= 1.0 && count < kWidth) {
        *--head = static_cast<char>('0' + static_cast<int>(std::trunc(std::fmod(part, 10.0))));
        part *= 0.1;
        ++count;
    }
    if (negative) *--head = '-';

    const int integerLength = static_cast<int>(scratch + sizeof scratch - 1 - head);
    std::memcpy(text, head, static_cast<std::size_t>(integerLength));
    if (count >= kWidth) {
        text[integerLength] = '\0';
        return;
    }

    // Fraction digits.
    const int n = kWidth - count;
    double m = std::fmod(v, 1.0) * std::pow(10.0, n);
    char* fraction = text + integerLength;
    for (int i = n - 1; i >= 0; --i) {
        if (!(m > 0.0)) {
            fraction[i] = '0';
        } else {
            fraction[i] = static_cast<char>('0' + static_cast<int>(std::trunc(std::fmod(m, 10.0))));
            m *= 0.1;
        }
    }
    fraction[n] = '\0';
}

} // namespace vl
