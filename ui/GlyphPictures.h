// The pictures of the program's bitmap resources, as rows of palette letters so that each one can be
// read and changed here. Plain data without any other header of the program: the program turns it
// into bitmaps (Resources.cpp), and the Windows build's resource generator
// (tools/windows/glyphres.cpp, a program of the build machine) into .bmp and .ico files.
#pragma once

#include <array>
#include <cstdint>

namespace dravello::glyphs {

struct GlyphColor {
  uint8_t R = 0, G = 0, B = 0, A = 0;
};

struct PaletteEntry {
  char key;
  GlyphColor color;
};

// '.' is transparent; every other letter one opaque colour.
inline constexpr PaletteEntry kPalette[] = {
    {'.', {0, 0, 0, 0}},         {'k', {0, 0, 0, 255}},      {'s', {96, 96, 96, 255}},   {'l', {192, 192, 192, 255}},
    {'w', {255, 255, 255, 255}}, {'g', {0, 150, 0, 255}},    {'G', {96, 210, 96, 255}},  {'r', {200, 0, 0, 255}},
    {'R', {250, 110, 110, 255}}, {'y', {250, 210, 40, 255}}, {'o', {190, 140, 20, 255}}, {'p', {235, 130, 160, 255}},
    {'t', {230, 190, 140, 255}}, {'b', {30, 70, 200, 255}},
};

inline constexpr int kGlyphSize = 16;

struct Picture {
  const char* name;
  std::array<const char*, kGlyphSize> rows;
};

inline constexpr Picture kPictures[] = {
    {"PLUS",
     {"................", "................", "......kkkk......", "......kGgk......", "......kGgk......",
      "......kGgk......", "..kkkkkGgkkkkk..", "..kGGGGGgGGGGk..", "..kggggggggggk..", "..kkkkkGgkkkkk..",
      "......kGgk......", "......kGgk......", "......kGgk......", "......kkkk......", "................",
      "................"}},
    {"MINUS",
     {"................", "................", "................", "................", "................",
      "................", "..kkkkkkkkkkkk..", "..kRRRRRRRRRRk..", "..krrrrrrrrrrk..", "..kkkkkkkkkkkk..",
      "................", "................", "................", "................", "................",
      "................"}},
    {"EDIT",
     {"................", "...........kk...", "..........kppk..", ".........kpppk..", "........kykppk..",
      ".......kyyyk....", "......kyyyk.....", ".....kyyyk......", "....kyyyk.......", "...kyyyk........",
      "...ktyk.........", "..kttk..........", "..kkk...........", "..k.............", "................",
      "................"}},
    {"RUN",
     {"................", "...kk...........", "...kGk..........", "...kGgk.........", "...kGggk........",
      "...kGgggk.......", "...kGggggk......", "...kGgggggk.....", "...kGgggggk.....", "...kGggggk......",
      "...kGgggk.......", "...kGggk........", "...kGgk.........", "...kGk..........", "...kk...........",
      "................"}},
    {"OK",
     {"................", "................", "............kk..", "...........kGk..", "..........kGgk..",
      ".........kGgk...", "..kk....kGgk....", ".kGgk..kGgk.....", ".kgggkkGgk......", "..kgggGgk.......",
      "...kgggk........", "....kgk.........", ".....k..........", "................", "................",
      "................"}},
    {"CANCEL",
     {"................", "................", "..kk........kk..", ".kRrk......kRrk.", ".krrrk....krrrk.",
      "..krrrk..krrrk..", "...krrrkkrrrk...", "....krrrrrrk....", "....krrrrrrk....", "...krrrkkrrrk...",
      "..krrrk..krrrk..", ".krrrk....krrrk.", ".krrk......krrk.", "..kk........kk..", "................",
      "................"}},
    {"FOLDER",
     {"................", "................", "..kkkkk.........", ".kyyyyyk........", ".kyyyyyykkkkkkk.",
      ".kyyyyyyyyyyyyk.", ".kykkkkkkkkkkkkk", ".kykwyyyyyyyyyok", ".kkwyyyyyyyyyok.", ".kkyyyyyyyyyyok.",
      ".kwyyyyyyyyyok..", ".kyyyyyyyyyyok..", ".koooooooooook..", ".kkkkkkkkkkkkk..", "................",
      "................"}},
};

// The program's icon, drawn at the glyphs' size: a document box with a green arrow into it.
inline constexpr Picture kIcon = {"MAINICON",
                                  {"................", "....kkkkkkkk....", "....kGGGGGGk....", "....kGggggGk....",
                                   "....kGggggGk....", "..kkkGggggGkkk..", "...kGggggggGk...", "kkkkkGggggGkkkkk",
                                   "kllllkGggGklwwlk", "klwwwlkGGklwwwlk", "klwwwwlkklwwwwlk", "klbbbbbbbbbbbblk",
                                   "klbbbbbbbbbbbblk", "klllllllllllllsk", "kssssssssssssssk", "kkkkkkkkkkkkkkkk"}};

// The colour of a palette letter; a letter missing from the palette (a drawing mistake, which
// the resource test catches) shows as magenta.
constexpr GlyphColor PaletteColor(char key) {
  for (const PaletteEntry& e : kPalette)
    if (e.key == key) return e.color;
  return GlyphColor{255, 0, 255, 255};
}

}  // namespace dravello::glyphs
