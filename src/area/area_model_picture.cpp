// The picture: the two screens read into one grid of characters, and everything in it
// that is not track (labels, sub-area indicators, platform bands, signal posts with
// their plates).

#include <algorithm>
#include <cctype>

#include "area/area_model.h"
#include "area/area_model_internal.h"

namespace kestra::area {

using namespace model;

void AreaModel::ReadPicture() {
    picture_.assign(kRows, std::string(kColumns, ' '));
    auto read = [&](std::span<const char* const> rows, int screen) {
        if (static_cast<int>(rows.size()) != kRows) {
            Error("screen " + std::to_string(screen) + " has " + std::to_string(rows.size()) +
                  " rows, not " + std::to_string(kRows));
            return;
        }
        for (int y = 0; y < kRows; ++y) {
            const std::string row = rows[y];
            if (static_cast<int>(row.size()) > kScreenColumns) {
                Error("screen " + std::to_string(screen) + " row " + std::to_string(y) +
                      " is wider than a screen");
                continue;
            }
            for (std::size_t i = 0; i < row.size(); ++i) {
                picture_[y][(screen - 1) * kScreenColumns + static_cast<int>(i)] = row[i];
            }
        }
    };
    read(d_.Screen1, 1);
    read(d_.Screen2, 2);
    labelled_.assign(kRows, std::vector<bool>(kColumns, false));
}

// Labels, plates, platform bands and sub-area indicators: everything in the picture
// that is not track. Row by row the braced labels, the indicators and the bands; then
// the signal posts with their plates; what is left of capitals and digits is bare labels.
void AreaModel::ReadLabels() {
    for (int y = 0; y < kRows; ++y) {
        ReadBracedLabels(y);
        ReadSubAreaIndicators(y);
        ReadPlatformBands(y);
    }
    ReadSignalPosts();
    ReadBareLabels();
}

void AreaModel::AddLabel(int x, int y, const std::string& text, LabelKind kind, char colour) {
    LabelInfo l;
    l.X = x;
    l.Y = y;
    l.Kind = kind;
    if (colour) l.Text.push_back(colour);
    l.Text += text;
    l.Cells = static_cast<int>(text.size());
    Labels.push_back(l);
}

void AreaModel::ReadBracedLabels(int y) {
    const std::string& row = picture_[y];
    for (int x = 0; x < kColumns; ++x) {
        if (row[x] != '{') continue;
        const std::size_t close = row.find('}', x);
        if (close == std::string::npos) {
            Error("unclosed label at " + std::to_string(x) + "," + std::to_string(y));
            break;
        }
        const std::string text = row.substr(x + 1, close - x - 1);
        for (char c : text) {
            if (c >= 'a' && c <= 'z') Error("lower-case letter in label \"" + text + "\"");
        }
        const bool name = std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || c == ' ' || c == '\'' || c == '&';
        });
        AddLabel(x + 1, y, text, name ? LabelKind::StationName : LabelKind::Text,
                 name ? FgWhite : FgGrey);
        for (std::size_t i = x; i <= close; ++i) labelled_[y][i] = true;
        x = static_cast<int>(close);
    }
}

void AreaModel::ReadSubAreaIndicators(int y) {
    const std::string& row = picture_[y];
    for (int x = 0; x + 1 < kColumns; ++x) {
        if (labelled_[y][x] || row[x] != '$') continue;
        if (!std::isdigit(static_cast<unsigned char>(row[x + 1]))) {
            Error("sub-area indicator without its digit at " + std::to_string(x));
            continue;
        }
        SubAreaInfo s;
        s.Digit = row[x + 1];
        s.Column = x + 1;
        s.Row = y;
        SubAreas.push_back(s);
        labelled_[y][x] = labelled_[y][x + 1] = true;
    }
}

void AreaModel::ReadPlatformBands(int y) {
    const std::string& row = picture_[y];
    for (int x = 0; x < kColumns; ++x) {
        if (labelled_[y][x] || row[x] != '=') continue;
        int end = x;
        while (end + 1 < kColumns && !labelled_[y][end + 1] &&
               (row[end + 1] == '=' || IsUpperOrDigit(row[end + 1])))
            ++end;
        while (end > x && row[end] != '=') --end;
        std::string glyphs;
        glyphs.push_back(FgViolet);
        std::vector<std::pair<int, std::string>> codes;
        for (int i = x; i <= end; ++i) {
            labelled_[y][i] = true;
            if (row[i] == '=') {
                glyphs.push_back(static_cast<char>(GlPlatform));
                continue;
            }
            if (codes.empty() || !IsUpperOrDigit(row[i - 1])) codes.push_back({i, {}});
            codes.back().second.push_back(row[i]);
            glyphs.push_back(FgWhite);
            glyphs.push_back(row[i]);
            glyphs.push_back(FgViolet);
        }
        LabelInfo band;
        band.X = x;
        band.Y = y;
        band.Text = glyphs;
        band.Cells = end - x + 1;
        band.Kind = LabelKind::Platform;
        Labels.push_back(band);
        if (codes.empty() || codes.size() > 2) {
            Error("platform band at " + std::to_string(x) + "," + std::to_string(y) +
                  " needs one or two platform numbers");
        }
        for (std::size_t k = 0; k < codes.size(); ++k) {
            PlatformInfo p;
            p.Code = codes[k].second;
            p.BandX0 = x;
            p.BandX1 = end;
            // One number: the face is decided by the track beside the band; two: the
            // first is the upper face, the second the lower.
            p.BandY = y;
            p.Face = codes.size() == 2 ? (k == 0 ? -1 : 1) : 0;
            p.CodeX = codes[k].first;
            Platforms.push_back(p);
        }
        x = end;
    }
}

// Signal posts and the plates beside them.
void AreaModel::ReadSignalPosts() {
    for (int y = 0; y < kRows; ++y) {
        const std::string& row = picture_[y];
        for (int x = 0; x < kColumns; ++x) {
            if (labelled_[y][x] || (row[x] != '>' && row[x] != '<')) continue;
            SignalInfo s;
            s.RightFacing = row[x] == '>';
            s.PostX = x;
            s.PostY = y;
            int a = x, b = x;
            if (s.RightFacing) {
                while (a - 1 >= 0 && !labelled_[y][a - 1] && IsUpperOrDigit(row[a - 1])) --a;
                s.Plate = row.substr(a, x - a);
                s.PlateX = a;
                for (int i = a; i < x; ++i) labelled_[y][i] = true;
            } else {
                while (b + 1 < kColumns && !labelled_[y][b + 1] && IsUpperOrDigit(row[b + 1])) ++b;
                s.Plate = row.substr(x + 1, b - x);
                s.PlateX = x + 1;
                for (int i = x + 1; i <= b; ++i) labelled_[y][i] = true;
            }
            labelled_[y][x] = true;
            if (s.Plate.empty())
                Error("signal at " + std::to_string(x) + "," + std::to_string(y) + " has no plate");
            Signals.push_back(s);
        }
    }
}

void AreaModel::ReadBareLabels() {
    for (int y = 0; y < kRows; ++y) {
        const std::string& row = picture_[y];
        for (int x = 0; x < kColumns; ++x) {
            if (labelled_[y][x] || !IsUpperOrDigit(row[x])) continue;
            int end = x;
            while (end + 1 < kColumns && !labelled_[y][end + 1] && IsUpperOrDigit(row[end + 1]))
                ++end;
            AddLabel(x, y, row.substr(x, end - x + 1), LabelKind::Text, 0);
            for (int i = x; i <= end; ++i) labelled_[y][i] = true;
            x = end;
        }
    }
}

}  // namespace kestra::area
