// The program's bitmap resources: the button glyphs, drawn here as rows of palette letters so
// that each picture can be read and changed in the source.
#include <array>
#include <cstring>

#include "runtime/SysUtils.h"
#include "ui/Graphics.h"

namespace dravello {

namespace {

struct PaletteEntry {
  char key;
  TRGBA color;
};

// '.' is transparent; every other letter one opaque colour.
constexpr PaletteEntry kPalette[] = {
    {'.', {0, 0, 0, 0}},         {'k', {0, 0, 0, 255}},       {'s', {96, 96, 96, 255}},
    {'l', {192, 192, 192, 255}}, {'w', {255, 255, 255, 255}}, {'g', {0, 150, 0, 255}},
    {'G', {96, 210, 96, 255}},   {'r', {200, 0, 0, 255}},     {'R', {250, 110, 110, 255}},
    {'y', {250, 210, 40, 255}},  {'o', {190, 140, 20, 255}},  {'p', {235, 130, 160, 255}},
    {'t', {230, 190, 140, 255}}, {'b', {30, 70, 200, 255}},
};

constexpr int kGlyphSize = 16;

struct Picture {
  const char* name;
  std::array<const char*, kGlyphSize> rows;
};

constexpr Picture kPictures[] = {
    {"PLUS",
     {"................",
      "................",
      "......kkkk......",
      "......kGgk......",
      "......kGgk......",
      "......kGgk......",
      "..kkkkkGgkkkkk..",
      "..kGGGGGgGGGGk..",
      "..kggggggggggk..",
      "..kkkkkGgkkkkk..",
      "......kGgk......",
      "......kGgk......",
      "......kGgk......",
      "......kkkk......",
      "................",
      "................"}},
    {"MINUS",
     {"................",
      "................",
      "................",
      "................",
      "................",
      "................",
      "..kkkkkkkkkkkk..",
      "..kRRRRRRRRRRk..",
      "..krrrrrrrrrrk..",
      "..kkkkkkkkkkkk..",
      "................",
      "................",
      "................",
      "................",
      "................",
      "................"}},
    {"EDIT",
     {"................",
      "...........kk...",
      "..........kppk..",
      ".........kpppk..",
      "........kykppk..",
      ".......kyyyk....",
      "......kyyyk.....",
      ".....kyyyk......",
      "....kyyyk.......",
      "...kyyyk........",
      "...ktyk.........",
      "..kttk..........",
      "..kkk...........",
      "..k.............",
      "................",
      "................"}},
    {"RUN",
     {"................",
      "...kk...........",
      "...kGk..........",
      "...kGgk.........",
      "...kGggk........",
      "...kGgggk.......",
      "...kGggggk......",
      "...kGgggggk.....",
      "...kGgggggk.....",
      "...kGggggk......",
      "...kGgggk.......",
      "...kGggk........",
      "...kGgk.........",
      "...kGk..........",
      "...kk...........",
      "................"}},
    {"OK",
     {"................",
      "................",
      "............kk..",
      "...........kGk..",
      "..........kGgk..",
      ".........kGgk...",
      "..kk....kGgk....",
      ".kGgk..kGgk.....",
      ".kgggkkGgk......",
      "..kgggGgk.......",
      "...kgggk........",
      "....kgk.........",
      ".....k..........",
      "................",
      "................",
      "................"}},
    {"CANCEL",
     {"................",
      "................",
      "..kk........kk..",
      ".kRrk......kRrk.",
      ".krrrk....krrrk.",
      "..krrrk..krrrk..",
      "...krrrkkrrrk...",
      "....krrrrrrk....",
      "....krrrrrrk....",
      "...krrrkkrrrk...",
      "..krrrk..krrrk..",
      ".krrrk....krrrk.",
      ".krrk......krrk.",
      "..kk........kk..",
      "................",
      "................"}},
    {"FOLDER",
     {"................",
      "................",
      "..kkkkk.........",
      ".kyyyyyk........",
      ".kyyyyyykkkkkkk.",
      ".kyyyyyyyyyyyyk.",
      ".kykkkkkkkkkkkkk",
      ".kykwyyyyyyyyyok",
      ".kkwyyyyyyyyyok.",
      ".kkyyyyyyyyyyok.",
      ".kwyyyyyyyyyok..",
      ".kyyyyyyyyyyok..",
      ".koooooooooook..",
      ".kkkkkkkkkkkkk..",
      "................",
      "................"}},
};

const Picture* FindPicture(std::string_view name) {
  for (const Picture& p : kPictures)
    if (SameTextAscii(p.name, name)) return &p;
  return nullptr;
}

TRGBA PaletteColor(char key) {
  for (const PaletteEntry& e : kPalette)
    if (e.key == key) return e.color;
  // A letter missing from the palette is a drawing mistake in this file; the resource test
  // catches it, and at run time it shows as a magenta dot rather than a failure.
  return TRGBA{255, 0, 255, 255};
}

}  // namespace

std::unique_ptr<TBitmap> LoadBitmapResource(std::string_view name) {
  const Picture* picture = FindPicture(name);
  if (!picture) throw EResNotFound(Format("Resource %s not found", {std::string(name)}));
  auto bitmap = std::make_unique<TBitmap>(kGlyphSize, kGlyphSize);
  for (int y = 0; y < kGlyphSize; ++y) {
    const char* row = picture->rows[static_cast<size_t>(y)];
    size_t len = std::strlen(row);
    for (int x = 0; x < kGlyphSize; ++x) {
      TRGBA c = static_cast<size_t>(x) < len ? PaletteColor(row[x]) : TRGBA{};
      uint8_t* p = &bitmap->pixels_[static_cast<size_t>(y * kGlyphSize + x) * 4];
      p[0] = c.R;
      p[1] = c.G;
      p[2] = c.B;
      p[3] = c.A;
    }
  }
  bitmap->resourceName_ = picture->name;
  return bitmap;
}

std::vector<std::string> BitmapResourceNames() {
  std::vector<std::string> names;
  for (const Picture& p : kPictures) names.emplace_back(p.name);
  return names;
}

}  // namespace dravello
