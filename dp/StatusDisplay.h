// Where the master shows its state text: the windowed program's status edit,
// or anything else that can show a text in a colour.
#pragma once

#include <cstdint>
#include <string>

struct TStatusColour {
    bool windowText = true;  // the system's window-text colour; the RGB below is then unused
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    static constexpr TStatusColour WindowText() { return {}; }
    static constexpr TStatusColour Navy() { return {false, 0, 0, 128}; }
    static constexpr TStatusColour Maroon() { return {false, 128, 0, 0}; }
    friend bool operator==(const TStatusColour&, const TStatusColour&) = default;
};

class TStatusDisplay {
public:
    virtual ~TStatusDisplay() = default;
    // Shows `text` in the font colour `colour`.
    virtual void ShowStatus(const std::string& text, const TStatusColour& colour) = 0;
};
