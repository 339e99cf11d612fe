// The registry subset over one REGEDIT4 text file (or, for the headless
// backend, over memory). Every call reads the file afresh and every change
// rewrites it whole through a temporary file and a rename, so keys and
// values of others are kept and a crash never leaves half a file. A file
// that can't be read or parsed reads as holding no keys.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "platform/user_internal.h"
#include "platform/whole_file.h"

struct HKEY__ {
    std::string path;  // "HKEY_LOCAL_MACHINE\SOFTWARE\..."
};

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t MaxFileSize = 16u << 20;
constexpr DWORD MaxValueSize = 1u << 20;

struct Value {
    std::string name;  // "" is the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
struct Key {
    std::string path;
    std::vector<Value> values;
};
using Hive = std::vector<Key>;

struct Store {
    bool memory = true;
    Hive memoryHive;
    std::optional<fs::path> file;  // none: the default path, resolved at each use
};
Store& TheStore() {
    static Store store;
    return store;
}
std::unordered_set<HKEY>& OpenKeys() {
    static std::unordered_set<HKEY> keys;
    return keys;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> RootName(HKEY key) {
    switch (reinterpret_cast<std::uintptr_t>(key)) {
        case 0x80000000u:
            return "HKEY_CLASSES_ROOT";
        case 0x80000001u:
            return "HKEY_CURRENT_USER";
        case 0x80000002u:
            return "HKEY_LOCAL_MACHINE";
        case 0x80000003u:
            return "HKEY_USERS";
        default:
            return std::nullopt;
    }
}

// The full path of an open or predefined key; nullopt for a bad handle.
std::optional<std::string> KeyPath(HKEY key) {
    if (auto root = RootName(key))
        return root;
    if (OpenKeys().count(key) != 0)
        return key->path;
    return std::nullopt;
}

// Joins a subkey to a path; nullopt when the subkey has characters the file can't hold.
std::optional<std::string> Join(const std::string& base, LPCSTR subKey) {
    std::string path = base;
    if (subKey == nullptr)
        return path;
    std::string part;
    auto flush = [&] {
        if (!part.empty())
            path += "\\" + part;
        part.clear();
    };
    for (const char* p = subKey; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
        if (c == '\\') {
            flush();
        } else {
            part.push_back(static_cast<char>(c));
            if (part.size() > 255)
                return std::nullopt;
        }
    }
    flush();
    return path;
}

Key* FindKey(Hive& hive, const std::string& path) {
    for (Key& k : hive) {
        if (SameName(k.path, path))
            return &k;
    }
    return nullptr;
}

bool KeyExists(const Hive& hive, const std::string& path) {
    if (path.find('\\') == std::string::npos)
        return true;  // a root
    for (const Key& k : hive) {
        if (SameName(k.path, path))
            return true;
        if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
            SameName(k.path.substr(0, path.size()), path)) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- file text

std::string QuoteString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

bool PrintableString(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0)
        return false;
    return std::all_of(data.begin(), data.end() - 1, [](BYTE b) { return b >= 0x20 && b != 0x7F; });
}

std::string FormatHex(std::string prefix, const std::vector<BYTE>& data) {
    std::string out = std::move(prefix);
    std::size_t lineLength = out.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        out += byte;
        lineLength += 2;
        if (i + 1 < data.size()) {
            out.push_back(',');
            ++lineLength;
            if (lineLength > 76) {
                out += "\\\n  ";
                lineLength = 2;
            }
        }
    }
    return out;
}

std::string FormatHive(const Hive& hive) {
    std::string out = "REGEDIT4\n";
    for (const Key& key : hive) {
        out += "\n[" + key.path + "]\n";
        for (const Value& v : key.values) {
            std::string line = v.name.empty() ? "@=" : QuoteString(v.name) + "=";
            if (v.type == REG_SZ && PrintableString(v.data)) {
                line += QuoteString(std::string(v.data.begin(), v.data.end() - 1));
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                char number[16];
                const DWORD d =
                    v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<DWORD>(v.data[3]) << 24);
                std::snprintf(number, sizeof number, "dword:%08x", d);
                line += number;
            } else if (v.type == REG_BINARY) {
                line = FormatHex(line + "hex:", v.data);
            } else {
                char prefix[24];
                std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
                line = FormatHex(line + prefix, v.data);
            }
            out += line + "\n";
        }
    }
    return out;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> ParseQuoted(const std::string& s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"')
        return std::nullopt;
    std::string out;
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\') {
            if (++pos >= s.size())
                return std::nullopt;
            out.push_back(s[pos]);
        } else if (s[pos] == '"') {
            ++pos;
            return out;
        } else {
            out.push_back(s[pos]);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<BYTE>> ParseHexBytes(const std::string& s) {
    std::vector<BYTE> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
        if (pos >= s.size())
            break;
        std::size_t end = pos;
        while (end < s.size() && std::isxdigit(static_cast<unsigned char>(s[end])))
            ++end;
        if (end == pos || end - pos > 2)
            return std::nullopt;
        out.push_back(static_cast<BYTE>(std::strtoul(s.substr(pos, end - pos).c_str(), nullptr, 16)));
        pos = end;
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
            ++pos;
        if (pos < s.size()) {
            if (s[pos] != ',')
                return std::nullopt;
            ++pos;
            if (s.find_first_not_of(" \t", pos) == std::string::npos)
                return std::nullopt;  // a dangling comma
        }
    }
    return out;
}

std::optional<Value> ParseValue(const std::string& line) {
    Value v;
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        auto name = ParseQuoted(line, pos);
        if (!name)
            return std::nullopt;
        v.name = *name;
    }
    if (pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    const std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
        std::size_t p = 0;
        auto text = ParseQuoted(data, p);
        if (!text || p != data.size())
            return std::nullopt;
        v.type = REG_SZ;
        v.data.assign(text->begin(), text->end());
        v.data.push_back(0);
        return v;
    }
    if (data.rfind("dword:", 0) == 0) {
        const std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c));
            })) {
            return std::nullopt;
        }
        const DWORD d = static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 16));
        v.type = REG_DWORD;
        v.data = {static_cast<BYTE>(d), static_cast<BYTE>(d >> 8), static_cast<BYTE>(d >> 16),
                  static_cast<BYTE>(d >> 24)};
        return v;
    }
    std::string bytes;
    if (data.rfind("hex:", 0) == 0) {
        v.type = REG_BINARY;
        bytes = data.substr(4);
    } else if (data.rfind("hex(", 0) == 0) {
        const std::size_t close = data.find("):");
        if (close == std::string::npos || close == 4 || close > 12)
            return std::nullopt;
        const std::string type = data.substr(4, close - 4);
        if (!std::all_of(type.begin(), type.end(),
                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
            return std::nullopt;
        }
        v.type = static_cast<DWORD>(std::strtoul(type.c_str(), nullptr, 16));
        bytes = data.substr(close + 2);
    } else {
        return std::nullopt;
    }
    auto parsed = ParseHexBytes(bytes);
    if (!parsed)
        return std::nullopt;
    v.data = std::move(*parsed);
    return v;
}

std::optional<Hive> ParseHive(const std::string& text) {
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        std::string pending;
        bool continuing = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (pending.empty()) {
                pending = line;
            } else {
                // A continuation line: its leading blanks are indentation.
                const std::size_t first = line.find_first_not_of(" \t");
                pending += first == std::string::npos ? std::string() : line.substr(first);
            }
            if (!pending.empty() && pending.back() == '\\' && pending.find("=hex") != std::string::npos) {
                pending.pop_back();
                continuing = true;
                continue;
            }
            continuing = false;
            lines.push_back(pending);
            pending.clear();
        }
        if (continuing)
            return std::nullopt;  // cut short inside a value
    }
    if (lines.empty())
        return std::nullopt;
    std::string header = lines[0];
    if (header.rfind("\xEF\xBB\xBF", 0) == 0)
        header.erase(0, 3);
    if (header != "REGEDIT4")
        return std::nullopt;

    Hive hive;
    Key* current = nullptr;
    bool skipping = false;  // inside a "[-key]" deletion section
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3)
                return std::nullopt;
            std::string path = line.substr(1, line.size() - 2);
            skipping = path[0] == '-';
            if (skipping) {
                current = nullptr;
                continue;
            }
            current = FindKey(hive, path);
            if (current == nullptr) {
                hive.push_back(Key{path, {}});
                current = &hive.back();
            }
            continue;
        }
        if (skipping)
            continue;
        if (current == nullptr)
            return std::nullopt;
        if (line[0] != '"' && line[0] != '@')
            return std::nullopt;
        auto value = ParseValue(line);
        if (!value) {
            // "name"=- removes a value.
            std::size_t pos = 0;
            if (line[0] == '"' && ParseQuoted(line, pos) && line.substr(pos) == "=-")
                continue;
            return std::nullopt;
        }
        auto existing = std::find_if(current->values.begin(), current->values.end(),
                                     [&](const Value& v) { return SameName(v.name, value->name); });
        if (existing != current->values.end()) {
            *existing = std::move(*value);
        } else {
            current->values.push_back(std::move(*value));
        }
    }
    return hive;
}

// --------------------------------------------------------------- the store

fs::path StorePath() {
    const Store& store = TheStore();
    return store.file ? *store.file : DefaultRegistryPath();
}

struct Loaded {
    Hive hive;
    bool damaged = false;  // a file exists but could not be read as a registry
};

Loaded Load() {
    Store& store = TheStore();
    if (store.memory)
        return Loaded{store.memoryHive, false};
    const fs::path file = StorePath();
    std::error_code ec;
    if (!fs::exists(file, ec))
        return {};
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || size > MaxFileSize)
        return Loaded{{}, true};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Loaded{{}, true};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return Loaded{{}, true};
    auto hive = ParseHive(text.str());
    if (!hive)
        return Loaded{{}, true};
    return Loaded{std::move(*hive), false};
}

bool Save(const Loaded& loaded) {
    Store& store = TheStore();
    if (store.memory) {
        store.memoryHive = loaded.hive;
        return true;
    }
    const fs::path file = StorePath();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    // A damaged file is set aside rather than lost.
    if (loaded.damaged)
        fs::rename(file, fs::path(file.string() + ".damaged"), ec);
    const std::string text = FormatHive(loaded.hive);
    FileError error;
    return WriteWholeFile(file.string(), std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                          error);
}

HKEY NewHandle(const std::string& path) {
    auto* key = new HKEY__{path};
    OpenKeys().insert(key);
    return key;
}

}  // namespace

void UseRegistryFile(std::optional<std::filesystem::path> file) {
    Store& store = TheStore();
    store.memory = false;
    store.file = std::move(file);
}

void UseMemoryRegistry() {
    Store& store = TheStore();
    store.memory = true;
    store.memoryHive.clear();
}

std::filesystem::path DefaultRegistryPath() {
    fs::path base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : ".";
        }
        base = fs::path(home) / ".config";
    }
    return base / "dravenholt" / "registry.reg";
}

}  // namespace platform

using namespace platform;

LSTATUS RegCreateKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    auto base = KeyPath(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    auto path = Join(*base, subKey);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    Loaded loaded = Load();
    if (!KeyExists(loaded.hive, *path)) {
        // The key and every missing parent become sections of their own.
        std::size_t pos = base->size();
        while (pos != std::string::npos) {
            pos = path->find('\\', pos + 1);
            const std::string prefix = path->substr(0, pos);
            if (FindKey(loaded.hive, prefix) == nullptr)
                loaded.hive.push_back(Key{prefix, {}});
        }
        if (!Save(loaded))
            return ERROR_ACCESS_DENIED;
    }
    *result = NewHandle(*path);
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    auto base = KeyPath(key);
    if (!base)
        return ERROR_INVALID_HANDLE;
    auto path = Join(*base, subKey);
    if (!path)
        return ERROR_FILE_NOT_FOUND;
    if (!KeyExists(Load().hive, *path))
        return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(*path);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    auto path = KeyPath(key);
    if (!path)
        return ERROR_INVALID_HANDLE;
    if ((data == nullptr && size != 0) || size > MaxValueSize)
        return ERROR_INVALID_PARAMETER;
    const std::string valueName = name != nullptr ? name : "";
    if (std::any_of(valueName.begin(), valueName.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return ERROR_INVALID_PARAMETER;
    }
    Loaded loaded = Load();
    Key* k = FindKey(loaded.hive, *path);
    if (k == nullptr) {
        loaded.hive.push_back(Key{*path, {}});
        k = &loaded.hive.back();
    }
    Value v{valueName, type, std::vector<BYTE>(data, data + size)};
    auto existing =
        std::find_if(k->values.begin(), k->values.end(), [&](const Value& x) { return SameName(x.name, valueName); });
    if (existing != k->values.end()) {
        *existing = std::move(v);
    } else {
        k->values.push_back(std::move(v));
    }
    return Save(loaded) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    auto path = KeyPath(key);
    if (!path)
        return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    const std::string valueName = name != nullptr ? name : "";
    Loaded loaded = Load();
    const Key* k = FindKey(loaded.hive, *path);
    if (k == nullptr)
        return ERROR_FILE_NOT_FOUND;
    auto v =
        std::find_if(k->values.begin(), k->values.end(), [&](const Value& x) { return SameName(x.name, valueName); });
    if (v == k->values.end())
        return ERROR_FILE_NOT_FOUND;
    const auto needed = static_cast<DWORD>(v->data.size());
    if (type != nullptr)
        *type = v->type;
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::copy(v->data.begin(), v->data.end(), data);
    }
    if (size != nullptr)
        *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (RootName(key))
        return ERROR_SUCCESS;
    if (OpenKeys().erase(key) == 0)
        return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}
