#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// The full description a CTextFont is built from, field for field the logical font of the
// desktop the program was first drawn on, so that callers keep speaking its terms: a negative
// height is a character height in pixels (the font's size proper), a positive one a cell
// height (a line: ascent and descent), 0 the default size; weights run from 1 to 1000 with 400 normal and 700 bold.
//
// Escapement, orientation, the two precisions, the character set and the quality are kept
// and copied but change nothing here: text is Unicode throughout, rotated text is drawn by
// the caller, and smoothing is the desktop's choice.
struct LogFont {
    static constexpr int Normal = 400;
    static constexpr int Bold = 700;
    static constexpr uint8_t DefaultCharSet = 1;
    static constexpr uint8_t DefaultPrecision = 0;
    static constexpr uint8_t ProofQuality = 2;
    // Pitch in the low two bits, family in the high four.
    static constexpr uint8_t FixedPitch = 0x01;
    static constexpr uint8_t VariablePitch = 0x02;
    static constexpr uint8_t FamilyDontCare = 0x00;
    static constexpr uint8_t FamilyRoman = 0x10;
    static constexpr uint8_t FamilySwiss = 0x20;
    static constexpr uint8_t FamilyModern = 0x30;
    static constexpr uint8_t FamilyScript = 0x40;
    static constexpr uint8_t FamilyDecorative = 0x50;

    int height = -12;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = Normal;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = DefaultCharSet;
    uint8_t outPrecision = DefaultPrecision;
    uint8_t clipPrecision = DefaultPrecision;
    uint8_t quality = ProofQuality;
    uint8_t pitchAndFamily = VariablePitch | FamilyRoman;
    std::string faceName = "Times New Roman";

    bool operator==(const LogFont& other) const
    {
        return height == other.height && width == other.width && escapement == other.escapement &&
               orientation == other.orientation && weight == other.weight && italic == other.italic &&
               underline == other.underline && strikeOut == other.strikeOut && charSet == other.charSet &&
               outPrecision == other.outPrecision && clipPrecision == other.clipPrecision &&
               quality == other.quality && pitchAndFamily == other.pitchAndFamily && faceName == other.faceName;
    }
    bool operator!=(const LogFont& other) const { return !(*this == other); }
};

} // namespace orvane
