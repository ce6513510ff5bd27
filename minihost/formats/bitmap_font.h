#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A 5 x 7 pixel font of our own for labels in pictures minihost draws:
// printable ASCII, and a hollow box for every other byte.
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;

// Whether pixel (x, y) of the byte's glyph is set; x 0..4, y 0..6 from the top.
bool GlyphPixel(unsigned char c, int x, int y);

// Draws text with its top-left corner at (x, y) into 8-bit RGB samples,
// clipped to the image.
void DrawLabel(std::vector<uint8_t>* rgb, int width, int height, int x, int y, const std::string& text,
              const uint8_t colour[3]);

// Text in lines of at most perLine glyphs, broken at blanks where it can be.
// Text that needs more than maxLines lines (2 or more) keeps its first
// maxLines - 1 lines and, on the last, its end after "..": names that begin
// alike most often differ at their ends ("... 3x3", "... 5x5").
std::vector<std::string> WrapLabel(const std::string& text, size_t perLine, size_t maxLines);
