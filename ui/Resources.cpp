// The program's bitmap resources: the button glyphs, from their pictures in GlyphPictures.h.
#include <array>
#include <cstring>

#include "runtime/SysUtils.h"
#include "ui/GlyphPictures.h"
#include "ui/Graphics.h"

namespace dravello {

namespace {

using glyphs::kGlyphSize;
using glyphs::kPictures;
using glyphs::Picture;

const Picture* FindPicture(std::string_view name) {
  for (const Picture& p : kPictures)
    if (SameTextAscii(p.name, name)) return &p;
  return nullptr;
}

TRGBA PaletteColor(char key) {
  const glyphs::GlyphColor c = glyphs::PaletteColor(key);
  return TRGBA{c.R, c.G, c.B, c.A};
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
