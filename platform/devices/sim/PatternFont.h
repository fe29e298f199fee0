// The small bitmap font of the simulated pictures: 5x7 glyphs for capital letters, digits and
// some punctuation. Small letters are drawn as capitals, accented Latin letters as their base
// letter, anything else as '?'.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vidorra::devices::sim {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Seven rows, top first; bit 4 of a row is its leftmost column.
using Glyph = std::array<uint8_t, kGlyphHeight>;

const Glyph& GlyphFor(char c);

// The text as the font can draw it: UTF-8 in, one drawable character per letter out.
std::string Drawable(std::string_view utf8);

}  // namespace vidorra::devices::sim
