// glyphres: writes the program's pictures (ui/GlyphPictures.h) as Windows resource files, for the
// resource compiler of the Windows build. A program of the build machine, not of the target.
//
//   glyphres OUTPUT_DIR
//
// Writes OUTPUT_DIR/NAME.bmp for every glyph (32 bits per pixel, the alpha channel in the fourth
// byte, rows bottom-up as a BITMAPINFOHEADER file has them; transparent pixels are all zero so that
// straight and premultiplied alpha agree), OUTPUT_DIR/dravello.ico with the icon at 16, 32 and 48
// pixels (the larger sizes drawn by repeating each pixel), and OUTPUT_DIR/glyphs.rc naming them all
// by their full paths, so that the resource compiler finds them from any folder.
// Exit status 0 on success, 1 when a file cannot be written, 2 for a usage error.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ui/GlyphPictures.h"

namespace {

using dravello::glyphs::GlyphColor;
using dravello::glyphs::kGlyphSize;
using dravello::glyphs::Picture;

constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kBitmapFileHeaderSize = 14;
constexpr uint16_t kBitsPerPixel = 32;
constexpr int kIconScales[] = {1, 2, 3};  // 16, 32 and 48 pixels

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

GlyphColor At(const Picture& picture, int x, int y) {
  const char* row = picture.rows[static_cast<size_t>(y)];
  return static_cast<size_t>(x) < std::strlen(row) ? dravello::glyphs::PaletteColor(row[x]) : GlyphColor{};
}

// BITMAPINFOHEADER and the pixels (BGRA, bottom-up) of the picture drawn `scale` times as large.
// `iconHeight` doubles the height in the header and appends the AND mask, as an icon image has it.
std::vector<uint8_t> Dib(const Picture& picture, int scale, bool icon) {
  const int size = kGlyphSize * scale;
  std::vector<uint8_t> out;
  Put32(out, kBitmapInfoHeaderSize);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, static_cast<uint32_t>(icon ? 2 * size : size));
  Put16(out, 1);
  Put16(out, kBitsPerPixel);
  for (int i = 0; i < 6; ++i) Put32(out, 0);  // BI_RGB, image size, resolution, colours
  for (int y = size - 1; y >= 0; --y)
    for (int x = 0; x < size; ++x) {
      const GlyphColor c = At(picture, x / scale, y / scale);
      if (c.A == 0) {
        Put32(out, 0);
      } else {
        out.insert(out.end(), {c.B, c.G, c.R, c.A});
      }
    }
  if (icon) {
    // The AND mask, one bit per pixel, rows padded to 32 bits: set where transparent.
    const int stride = (size + 31) / 32 * 4;
    for (int y = size - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
      for (int x = 0; x < size; ++x)
        if (At(picture, x / scale, y / scale).A == 0) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
      out.insert(out.end(), row.begin(), row.end());
    }
  }
  return out;
}

std::vector<uint8_t> BmpFile(const Picture& picture) {
  const std::vector<uint8_t> dib = Dib(picture, 1, false);
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, kBitmapFileHeaderSize + static_cast<uint32_t>(dib.size()));
  Put32(out, 0);
  Put32(out, kBitmapFileHeaderSize + kBitmapInfoHeaderSize);
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

std::vector<uint8_t> IcoFile(const Picture& picture) {
  constexpr uint32_t kDirHeader = 6, kDirEntry = 16;
  const uint32_t count = sizeof(kIconScales) / sizeof(kIconScales[0]);
  std::vector<std::vector<uint8_t>> images;
  for (int scale : kIconScales) images.push_back(Dib(picture, scale, true));
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // an icon
  Put16(out, count);
  uint32_t offset = kDirHeader + kDirEntry * count;
  for (size_t i = 0; i < images.size(); ++i) {
    const int size = kGlyphSize * kIconScales[i];
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);
    Put16(out, kBitsPerPixel);
    Put32(out, static_cast<uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) std::fprintf(stderr, "glyphres: cannot write %s\n", path.c_str());
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: glyphres OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  std::string rc = "// Generated by glyphres from ui/GlyphPictures.h.\n";
  bool ok = Write(dir + "dravello.ico", IcoFile(dravello::glyphs::kIcon));
  rc += std::string(dravello::glyphs::kIcon.name) + " ICON \"" + dir + "dravello.ico\"\n";
  for (const Picture& picture : dravello::glyphs::kPictures) {
    ok = Write(dir + picture.name + ".bmp", BmpFile(picture)) && ok;
    rc += std::string(picture.name) + " BITMAP \"" + dir + picture.name + ".bmp\"\n";
  }
  ok = Write(dir + "glyphs.rc", std::vector<uint8_t>(rc.begin(), rc.end())) && ok;
  return ok ? 0 : 1;
}
