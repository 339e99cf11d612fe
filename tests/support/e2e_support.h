// Helpers for the export tests: running the program or a browser as a child
// process, decoding a GIF file with giflib, reading the image-map script
// back. Header only.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/test_support.h"

#if defined(DH_HAVE_GIFLIB)
#include <gif_lib.h>
#endif

namespace testsupport {

struct CommandResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out, err;
};

// Runs `args` in `cwd` without an X display, output captured, for at most
// `limitSeconds`.
inline CommandResult RunCommand(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                                int limitSeconds = 60) {
    const auto quote = [](const std::string& text) {
        std::string out = "'";
        for (char c : text)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    const TempDir capture;
    const auto out = capture.path() / "out", err = capture.path() / "err";
    std::string command = "cd " + quote(cwd.string()) + " && exec env -u DISPLAY ";
    if (HaveProgram("timeout"))
        command += "timeout " + std::to_string(limitSeconds) + " ";
    for (const std::string& arg : args)
        command += quote(arg) + " ";
    command += "</dev/null >" + quote(out.string()) + " 2>" + quote(err.string());
    const int status = std::system(command.c_str());
    return {status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// The names in `dir`.
inline std::set<std::string> Entries(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// A GIF's first image as an independent decoder reads it.
struct DecodedGif {
    int width = 0, height = 0;  // logical screen
    int imageCount = 0, imageWidth = 0, imageHeight = 0;
    std::vector<std::uint32_t> colors;  // global colour table, 0x00RRGGBB
    std::vector<std::uint8_t> indices;  // row-major, top row first
};

#if defined(DH_HAVE_GIFLIB)
constexpr bool HaveGiflib = true;
// Nullopt (and `error` says why) when giflib cannot read the whole file.
inline std::optional<DecodedGif> DecodeGif(const std::filesystem::path& file, std::string& error) {
    int code = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &code);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        error = gif == nullptr ? GifErrorString(code) : gif->ImageCount < 1 ? "no image" : GifErrorString(gif->Error);
        DGifCloseFile(gif, &code);
        return std::nullopt;
    }
    const GifImageDesc& desc = gif->SavedImages[0].ImageDesc;
    DecodedGif d{gif->SWidth, gif->SHeight, gif->ImageCount, desc.Width, desc.Height, {}, {}};
    for (int i = 0; gif->SColorMap != nullptr && i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        d.colors.push_back((std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue);
    }
    const std::uint8_t* raster = gif->SavedImages[0].RasterBits;
    d.indices.assign(raster, raster + std::size_t(desc.Width) * std::size_t(desc.Height));
    DGifCloseFile(gif, &code);
    return d;
}
#else
constexpr bool HaveGiflib = false;
inline std::optional<DecodedGif> DecodeGif(const std::filesystem::path&, std::string& error) {
    error = "built without giflib";
    return std::nullopt;
}
#endif

struct ScriptArea {
    RECT rect{};
    std::string alt, href;  // as written (escaped for markup)
};

struct ParsedScript {
    bool wellFormed = false;  // picture line, map opened, every line understood, map closed
    int width = -1, height = -1;
    std::vector<ScriptArea> areas;
};

// Reads "DravenholtSummary.js": one document.write per CR LF ended line.
inline ParsedScript ParseImageMapScript(const std::string& text) {
    static const std::regex picture(
        "document\\.write\\(\"<img src='Dravenholt\\.gif' width='(-?[0-9]+)' height='(-?[0-9]+)' "
        "alt='Dravenholt' usemap='#dhmap'style='border: 1px lightgrey solid;' />\"\\);");
    static const std::regex area(
        "document\\.write\\(\"  <area shape='rect' coords='(-?[0-9]+),(-?[0-9]+),(-?[0-9]+),(-?[0-9]+)' "
        "alt='([^'\"]*)' href='([^'\"]*)' />\"\\);");
    ParsedScript parsed;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 2) {
        if ((end = text.find("\r\n", at)) == std::string::npos)
            return parsed;
        lines.push_back(text.substr(at, end - at));
    }
    std::smatch m;
    if (lines.size() < 3 || lines[1] != "document.write(\"<map name='dhmap'>\");" ||
        lines.back() != "document.write(\"</map>\");" || !std::regex_match(lines[0], m, picture))
        return parsed;
    parsed.width = std::stoi(m[1]);
    parsed.height = std::stoi(m[2]);
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        if (!std::regex_match(lines[i], m, area))
            return parsed;
        parsed.areas.push_back({RECT{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])}, m[5], m[6]});
    }
    parsed.wellFormed = true;
    return parsed;
}

}  // namespace testsupport
