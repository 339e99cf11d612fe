// The image-map script ("DravenholtSummary.js"): one document.write per line.
#include "export/image_map.h"

#include <cstdio>

namespace exporting {

namespace {

// Texts go inside a double-quoted script string and single-quoted markup
// attributes; nothing in them may end either.
std::string EscapeText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += byte < 0x20 ? ' ' : c;
                break;
        }
    }
    return out;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A link the page may follow: a relative one, a fragment, or one of the
// schemes of documents and mail. Anything else (javascript:, data:, ...)
// would run or show what the data's author chose, so it becomes "#". The
// test reads the link as a browser does: blanks and control characters in
// front skipped, tabs and line breaks anywhere dropped. A character
// reference (&...;) could spell a colon, so one before the path counts as
// a scheme too.
std::string SafeLink(const std::string& link) {
    std::string seen;
    std::size_t i = 0;
    while (i < link.size() && static_cast<unsigned char>(link[i]) <= 0x20)
        ++i;
    for (; i < link.size(); ++i) {
        if (link[i] != '\t' && link[i] != '\n' && link[i] != '\r')
            seen += link[i];
    }
    const std::size_t end = seen.find_first_of("/?#");
    const std::size_t mark = seen.find_first_of(":&");
    if (mark == std::string::npos || (end != std::string::npos && end < mark))
        return link;  // relative, or a fragment
    if (seen[mark] == ':') {
        std::string scheme = seen.substr(0, mark);
        for (char& c : scheme)
            c = Lower(c);
        for (const char* allowed : {"http", "https", "mailto", "ftp"}) {
            if (scheme == allowed)
                return link;
        }
    }
    return "#";
}

template <typename... Args>
void AppendFormatted(std::string& out, const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return;
    std::string line(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(line.data(), line.size(), format, args...);
    line.pop_back();
    out += line;
}

}  // namespace

std::string FormatImageMapScript(LONG width, LONG height, const render::MapAreaList& areas) {
    std::string script;
    AppendFormatted(script,
                    "document.write(\"<img src='Dravenholt.gif' width='%d' height='%d' alt='Dravenholt' "
                    "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");\r\n",
                    static_cast<int>(width), static_cast<int>(height));
    script += "document.write(\"<map name='dhmap'>\");\r\n";
    for (const render::MapArea& area : areas) {
        AppendFormatted(script,
                        "document.write(\"  <area shape='rect' coords='%d,%d,%d,%d' alt='%s' href='%s' />\");\r\n",
                        static_cast<int>(area.rect.left), static_cast<int>(area.rect.top),
                        static_cast<int>(area.rect.right), static_cast<int>(area.rect.bottom),
                        EscapeText(area.altText).c_str(), EscapeText(SafeLink(area.link)).c_str());
    }
    script += "document.write(\"</map>\");\r\n";
    return script;
}

}  // namespace exporting
