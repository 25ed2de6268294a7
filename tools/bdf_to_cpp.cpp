// Turns the panel fonts (BDF sources in fonts/) into C++ data compiled into the program.
//
//   bdf_to_cpp OUT.cpp SYMBOL WIDTH HEIGHT FONT.bdf [SYMBOL WIDTH HEIGHT FONT.bdf ...]
//
// Each font must have cells of exactly WIDTH x HEIGHT pixels; every glyph is placed in its
// cell by its BBX and must lie wholly inside it. Any fault in a source stops the build
// with the file, line and reason.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Glyph {
    bool present = false;
    std::uint8_t rows[16] = {};
};

struct Font {
    std::string symbol;
    int width = 0;
    int height = 0;
    std::string family;
    Glyph glyphs[256];
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& why) {
    std::cerr << file << ":" << line << ": " << why << "\n";
    std::exit(1);
}

void ReadFont(const std::string& path, Font& font) {
    std::ifstream in(path);
    if (!in) Fail(path, 0, "cannot open");
    std::string line;
    int lineNo = 0;
    int cellW = -1, cellH = -1, cellX = 0, cellY = 0, ascent = -1;
    int encoding = -1, bbw = 0, bbh = 0, bbx = 0, bby = 0;
    bool inBitmap = false;
    int bitmapRow = 0;
    Glyph current;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (inBitmap) {
            if (key == "ENDCHAR") {
                if (bitmapRow != bbh) Fail(path, lineNo, "bitmap has too few rows");
                inBitmap = false;
                if (encoding >= 0 && encoding < 256) {
                    if (font.glyphs[encoding].present) Fail(path, lineNo, "code defined twice");
                    current.present = true;
                    font.glyphs[encoding] = current;
                }
                continue;
            }
            if (bitmapRow >= bbh) Fail(path, lineNo, "bitmap has too many rows");
            const unsigned long bits = std::strtoul(key.c_str(), nullptr, 16);
            const int bytes = static_cast<int>(key.size()) / 2;
            const int top = ascent - (bby + bbh);  // cell row of the bitmap's first row
            const int row = top + bitmapRow;
            for (int x = 0; x < bbw; ++x) {
                if (!((bits >> (bytes * 8 - 1 - x)) & 1)) continue;
                const int col = x + bbx - cellX;
                if (row < 0 || row >= cellH || col < 0 || col >= cellW)
                    Fail(path, lineNo, "ink outside the glyph's cell");
                current.rows[row] |= static_cast<std::uint8_t>(0x80 >> col);
            }
            ++bitmapRow;
            continue;
        }
        if (key == "FONTBOUNDINGBOX") {
            words >> cellW >> cellH >> cellX >> cellY;
            if (cellW != font.width || cellH != font.height)
                Fail(path, lineNo,
                     "cell is not " + std::to_string(font.width) + " x " +
                         std::to_string(font.height));
        } else if (key == "FONT_ASCENT") {
            words >> ascent;
        } else if (key == "FAMILY_NAME") {
            std::string rest;
            std::getline(words, rest);
            const auto a = rest.find('"');
            const auto b = rest.rfind('"');
            if (a != std::string::npos && b > a) font.family = rest.substr(a + 1, b - a - 1);
        } else if (key == "STARTCHAR") {
            encoding = -1;
            current = Glyph{};
            bbw = cellW;
            bbh = cellH;
            bbx = cellX;
            bby = cellY;
        } else if (key == "ENCODING") {
            words >> encoding;
        } else if (key == "BBX") {
            words >> bbw >> bbh >> bbx >> bby;
            if (bbw > 32) Fail(path, lineNo, "glyph too wide");
        } else if (key == "BITMAP") {
            if (cellW < 0) Fail(path, lineNo, "BITMAP before FONTBOUNDINGBOX");
            if (ascent < 0) ascent = cellH + cellY;
            inBitmap = true;
            bitmapRow = 0;
        }
    }
    if (inBitmap) Fail(path, lineNo, "file ends inside a glyph");
    if (cellW < 0) Fail(path, lineNo, "no FONTBOUNDINGBOX");
}

void WriteFont(std::ostream& out, const Font& f) {
    out << "const Face " << f.symbol << " = {\n    \"" << f.family << "\", " << f.width << ", "
        << f.height << ",\n    {";
    for (int c = 0; c < 256; ++c)
        out << (c % 32 == 0 ? "\n     " : " ") << (f.glyphs[c].present ? 1 : 0) << ",";
    out << "},\n    {";
    for (int c = 0; c < 256; ++c) {
        out << "\n     {";
        for (int r = 0; r < 16; ++r) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "0x%02X,", f.glyphs[c].rows[r]);
            out << buf;
        }
        out << "},";
    }
    out << "},\n};\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6 || (argc - 2) % 4 != 0) {
        std::cerr << "usage: bdf_to_cpp OUT.cpp SYMBOL WIDTH HEIGHT FONT.bdf ...\n";
        return 2;
    }
    std::vector<Font> fonts((argc - 2) / 4);
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        Font& f = fonts[i];
        f.symbol = argv[2 + 4 * i];
        f.width = std::atoi(argv[3 + 4 * i]);
        f.height = std::atoi(argv[4 + 4 * i]);
        if (f.width < 1 || f.width > 8 || f.height < 1 || f.height > 16) {
            std::cerr << "cells of up to 8 x 16 only\n";
            return 2;
        }
        ReadFont(argv[5 + 4 * i], f);
    }
    std::ostringstream out;
    out << "// Generated from the BDF sources in fonts/ by tools/bdf_to_cpp. Do not edit.\n"
        << "#include \"panel_font.h\"\n\nnamespace kestra::font {\n\n";
    for (const Font& f : fonts) WriteFont(out, f);
    out << "}  // namespace kestra::font\n";
    std::ofstream file(argv[1]);
    file << out.str();
    return file ? 0 : 1;
}
