// Helpers for the end-to-end export tests: running the program or a browser
// as a child process, decoding a GIF file with giflib, reading the exported
// image-map script back, and a memory picture to draw test images into.
// Header only: the test programs link test_support.cpp and nothing else here.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "platform/win32.h"
#include "support/test_support.h"

#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace testsupport {

// ---------------------------------------------------------------- processes

inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

struct CommandResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `args` in `cwd` without an X display, standard output and error
// captured, and gives up after `limitSeconds`.
inline CommandResult RunCommand(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                                int limitSeconds = 60) {
    const TempDir capture;
    const std::filesystem::path out = capture.path() / "out";
    const std::filesystem::path err = capture.path() / "err";
    std::string command = "cd " + ShellQuote(cwd.string()) + " && exec env -u DISPLAY ";
    if (HaveProgram("timeout"))
        command += "timeout " + std::to_string(limitSeconds) + " ";
    for (const std::string& arg : args)
        command += ShellQuote(arg) + " ";
    command += "</dev/null >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
    const int status = std::system(command.c_str());
    CommandResult result;
    result.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// ---------------------------------------------------------------------- GIF

// A single-image GIF as an independent decoder reads it.
struct DecodedGif {
    int width = 0;  // logical screen
    int height = 0;
    int imageCount = 0;
    int imageLeft = 0, imageTop = 0, imageWidth = 0, imageHeight = 0;
    bool interlaced = false;
    bool localColorMap = false;
    std::vector<std::uint32_t> colors;  // global colour table, 0x00RRGGBB
    std::vector<std::uint8_t> indices;  // first image, row-major, top row first
};

#if defined(DH_HAVE_GIFLIB)
// Nullopt (and `error` says why) when giflib cannot read the whole file.
inline std::optional<DecodedGif> DecodeGif(const std::filesystem::path& file, std::string& error) {
    int code = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &code);
    if (gif == nullptr) {
        error = GifErrorString(code);
        return std::nullopt;
    }
    std::optional<DecodedGif> result;
    if (DGifSlurp(gif) != GIF_OK) {
        error = GifErrorString(gif->Error);
    } else if (gif->ImageCount < 1) {
        error = "no image";
    } else {
        DecodedGif d;
        d.width = gif->SWidth;
        d.height = gif->SHeight;
        d.imageCount = gif->ImageCount;
        const SavedImage& image = gif->SavedImages[0];
        d.imageLeft = image.ImageDesc.Left;
        d.imageTop = image.ImageDesc.Top;
        d.imageWidth = image.ImageDesc.Width;
        d.imageHeight = image.ImageDesc.Height;
        d.interlaced = image.ImageDesc.Interlace;
        d.localColorMap = image.ImageDesc.ColorMap != nullptr;
        if (gif->SColorMap != nullptr) {
            for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
                const GifColorType c = gif->SColorMap->Colors[i];
                d.colors.push_back((std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue);
            }
        }
        const std::size_t count = static_cast<std::size_t>(d.imageWidth) * static_cast<std::size_t>(d.imageHeight);
        d.indices.assign(image.RasterBits, image.RasterBits + count);
        result = std::move(d);
    }
    DGifCloseFile(gif, &code);
    return result;
}
constexpr bool HaveGiflib = true;
#else
inline std::optional<DecodedGif> DecodeGif(const std::filesystem::path&, std::string& error) {
    error = "built without giflib";
    return std::nullopt;
}
constexpr bool HaveGiflib = false;
#endif

// Encodes a snapshot with the program's encoder and writes the file; false
// when either step fails.
inline bool SaveSnapshotAsGif(const exporting::DibSnapshot& snapshot, const std::filesystem::path& file) {
    exporting::GifWriter writer;
    if (writer.Encode(exporting::MakeDibView(snapshot)) != 1)
        return false;
    return writer.SaveToFile(file.c_str()) == 1;
}

// ------------------------------------------------------ image-map script

struct ScriptArea {
    RECT rect{};
    std::string alt;  // as written in the script (escaped for markup)
    std::string href;
};

struct ParsedScript {
    bool wellFormed = false;  // picture line first, map opened, every line understood, map closed last
    int width = -1;
    int height = -1;
    std::vector<ScriptArea> areas;
};

// Reads "DravenholtSummary.js" line by line; each line is one document.write.
inline ParsedScript ParseImageMapScript(const std::string& text) {
    static const std::regex picture(
        "document\\.write\\(\"<img src='Dravenholt\\.gif' width='(-?[0-9]+)' height='(-?[0-9]+)' "
        "alt='Dravenholt' usemap='#dhmap'style='border: 1px lightgrey solid;' />\"\\);");
    static const std::regex area(
        "document\\.write\\(\"  <area shape='rect' coords='(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+)' "
        "alt='([^'\"]*)' href='([^'\"]*)' />\"\\);");
    ParsedScript parsed;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos)
            return parsed;  // every line ends in CR LF
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    if (lines.size() < 3 || lines[1] != "document.write(\"<map name='dhmap'>\");" ||
        lines.back() != "document.write(\"</map>\");")
        return parsed;
    std::smatch m;
    if (!std::regex_match(lines[0], m, picture))
        return parsed;
    parsed.width = std::stoi(m[1]);
    parsed.height = std::stoi(m[2]);
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        if (!std::regex_match(lines[i], m, area))
            return parsed;
        ScriptArea a;
        a.rect = RECT{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
        a.alt = m[5];
        a.href = m[6];
        parsed.areas.push_back(a);
    }
    parsed.wellFormed = true;
    return parsed;
}

// ------------------------------------------------------- test pictures

// A memory DC with a w x h bitmap selected, for drawing test pictures.
struct MemoryPicture {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    int width = 0;
    int height = 0;

    MemoryPicture(int w, int h) : width(w), height(h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        previous = SelectObject(dc, bitmap);
    }
    ~MemoryPicture() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    MemoryPicture(const MemoryPicture&) = delete;
    MemoryPicture& operator=(const MemoryPicture&) = delete;

    void Fill(const RECT& r, COLORREF color) const {
        LOGBRUSH lb{BS_SOLID, color, 0};
        HBRUSH brush = CreateBrushIndirect(&lb);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    // The pixel as 0x00RRGGBB.
    std::uint32_t Pixel(int x, int y) const {
        const COLORREF c = GetPixel(dc, x, y);
        return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }
};

}  // namespace testsupport
