#pragma once

namespace vl {

// Rotating unit vector used as a low-frequency oscillator: x = cos(theta), y = sin(theta),
// (c, s) = cos and sin of the rotation per sample.
struct Phasor {
    float x = 1.0f;
    float y = 0.0f;
    float c = 1.0f;
    float s = 0.0f;

    void step() {
        const float nx = x * c - y * s;
        const float ny = x * s + y * c;
        x = nx;
        y = ny;
    }
    void reset() {
        x = 1.0f;
        y = 0.0f;
    }
    // Rotation per sample of `angle` radians. The angle arrives in single precision; its
    // cosine and sine are evaluated in double and rounded once to float, which gives the
    // correctly rounded float on every platform's math library.
    void setRotation(float angle);
    // Pulls the vector back to unit length (run at the control tick).
    void renormalize() {
        const float g = 1.5f - 0.5f * (x * x + y * y);
        x = x * g;
        y = y * g;
    }
};

} // namespace vl
