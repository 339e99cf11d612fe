// The whole program on one input: the bytes become the files of a Data
// folder, and the chart window (headless, a 900 x 500 chart area) gets a
// right click: the series are loaded again, the chart is painted (the panels
// read their own files on the way), the image-map script and the GIF are
// written. Nothing may crash, hang, overflow or run out of memory, and both
// files must be written.
//
// Input layout: the parts of the input separated by the line "@@" (that is,
// by "\n@@\n") are, in order, the files named in DataFiles below. A part that
// the input does not reach leaves its file absent; an empty part is an empty
// file.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_chart.h"
#include "platform/backend.h"
#include "platform/win32.h"
#include "shell/chart_window.h"
#include "shell/dialog_template.h"
#include "shell/main_dialog.h"

namespace {

constexpr std::array<const char*, 13> DataFiles = {
    "Data/eSPY.txt",      "Data/iDJI.txt",         "Data/fES.M10.txt",    "Data/eSPY.vw.txt",    "Data/fES.M10.vw.txt",
    "Data/eSPY.25ms.txt", "Data/fES.M10.25ms.txt", "Data/QteTrdCnts.txt", "Data/RibbonInfo.txt", "Data/r1.txt",
    "Data/r2.txt",        "Data/CNBC_Elapsed.txt", "Data/labels.txt",
};
constexpr std::string_view Separator = "\n@@\n";
constexpr int PictureWidth = 900;
constexpr int PictureHeight = 500;
// Larger inputs only repeat what smaller ones reach, more slowly.
constexpr std::size_t MaxInput = 256 * 1024;

std::string ScratchFolder;
// The running chart window and the result of its last export.
shell::ChartWindowState* Chart = nullptr;
HWND Dialog = nullptr;
exporting::ExportResult LastExport;

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder, ignored);
}

void WriteFile(const char* name, std::string_view content) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr)
        std::abort();
    if (!content.empty() && std::fwrite(content.data(), 1, content.size(), file) != content.size())
        std::abort();
    std::fclose(file);
}

void SplitIntoDataFolder(std::string_view input) {
    std::size_t part = 0;
    bool more = true;
    for (; part < DataFiles.size() && more; ++part) {
        const std::size_t end = input.find(Separator);
        more = end != std::string_view::npos;
        WriteFile(DataFiles[part], input.substr(0, end));
        if (more)
            input.remove_prefix(end + Separator.size());
    }
    for (; part < DataFiles.size(); ++part)
        ::unlink(DataFiles[part]);
}

// The working directory changes to the scratch folder before libFuzzer reads
// its arguments, so relative corpus folders and artifact paths are made
// absolute first; without an artifact prefix, crashes land where it started.
void MakePathArgumentsAbsolute(int* argc, char*** argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr)
        std::abort();
    const std::string here = std::string(cwd) + "/";
    std::free(cwd);
    auto absolute = [&](std::string_view path) {
        return path.empty() || path[0] == '/' ? std::string(path) : here + std::string(path);
    };
    bool prefixGiven = false;
    texts.emplace_back((*argv)[0]);
    for (int i = 1; i < *argc; ++i) {
        std::string_view arg = (*argv)[i];
        if (arg.empty() || arg[0] != '-') {
            texts.push_back(absolute(arg));
            continue;
        }
        std::string text(arg);
        for (std::string_view flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-features_dir=",
                                      "-merge_control_file=", "-data_flow_trace=", "-focus_function_file="}) {
            if (arg.substr(0, flag.size()) == flag) {
                text = std::string(flag) + absolute(arg.substr(flag.size()));
                prefixGiven = prefixGiven || flag == "-artifact_prefix=";
            }
        }
        texts.push_back(std::move(text));
    }
    if (!prefixGiven)
        texts.push_back("-artifact_prefix=" + here);
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(texts.size());
    *argv = pointers.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    MakePathArgumentsAbsolute(argc, argv);
    // Every input becomes up to thirteen files; a memory file system keeps that cheap.
    char shm[] = "/dev/shm/dh-program-fuzz-XXXXXX";
    char tmp[] = "/tmp/dh-program-fuzz-XXXXXX";
    const char* dir = ::mkdtemp(shm);
    if (dir == nullptr)
        dir = ::mkdtemp(tmp);
    if (dir == nullptr || ::chdir(dir) != 0 || ::mkdir("Data", 0700) != 0)
        std::abort();
    ScratchFolder = dir;
    std::atexit(RemoveScratchFolder);

    const std::optional<RECT> placeholder =
        platform::DialogItemRect(shell::MainDialogTemplate(), shell::ChartPlaceholderId);
    if (!placeholder)
        std::abort();
    platform::HeadlessConfig config;
    config.initialClientSize = SIZE{PictureWidth + placeholder->left, PictureHeight + placeholder->top};
    platform::UseHeadlessBackend(config);
    Chart = new shell::ChartWindowState;
    Chart->exported = [](const exporting::ExportResult& result) { LastExport = result; };
    Dialog = CreateDialogIndirectParamA(nullptr, shell::MainDialogTemplate(), nullptr, shell::MainDialogProc,
                                        reinterpret_cast<LPARAM>(Chart));
    if (Dialog == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > MaxInput)
        return 0;
    SplitIntoDataFolder(std::string_view(reinterpret_cast<const char*>(data), size));

    LastExport = exporting::ExportResult{};
    SendMessageA(Dialog, WM_RBUTTONDOWN, 0, 0);
    if (!LastExport.Complete())
        std::abort();
    // A GIF87a picture of exactly the chart's size, ended by the trailer.
    std::FILE* file = std::fopen("Dravenholt.gif", "rb");
    if (file == nullptr)
        std::abort();
    std::uint8_t head[10] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fseek(file, -1, SEEK_END);
    const int last = std::fgetc(file);
    std::fclose(file);
    if (got != sizeof head || std::memcmp(head, "GIF87a", 6) != 0 || (head[6] | head[7] << 8) != PictureWidth ||
        (head[8] | head[9] << 8) != PictureHeight || last != 0x3B) {
        std::abort();
    }
    return 0;
}
