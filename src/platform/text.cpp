// Text: fonts resolved with fontconfig, glyphs rendered with FreeType.
//
// Every font is rendered 1 bit deep (no anti-aliasing): the chart asks for
// draft-quality fonts, and two-colour glyphs keep the picture's colours few,
// which the 8-bit export relies on.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>

#include "platform/gdi_internal.h"
#include "platform/helper_thread.h"
#include "platform/saturate.h"
#include "platform/text_encoding.h"
#include "platform/whole_file.h"

#if defined(__SANITIZE_ADDRESS__)
#define DH_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DH_LEAK_CHECKED 1
#endif
#endif

namespace platform {

namespace {

// Em sizes beyond this are clamped: no caller needs them, and a glyph bitmap
// grows with the square of the size.
constexpr int kMaxEmPixels = 2048;
// What lfHeight 0 ("a reasonable default") asks for.
constexpr int kDefaultEmPixels = 13;

// One glyph, 1 bit a pixel, rows of `pitch` bytes, most significant bit first.
struct Glyph {
    int left = 0;  // from the pen position to the bitmap's first column
    int top = 0;   // from the baseline up to the bitmap's first row
    int width = 0;
    int rows = 0;
    int pitch = 0;
    std::vector<std::uint8_t> bits;
};

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) != 0)
            return static_cast<FT_Library>(nullptr);
        return lib;
    }();
    return library;
}

std::string Lowercase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Windows face names that are fixed-pitch; when the face itself is missing,
// another monospace face keeps columns of figures aligned.
bool IsKnownMonospaceFace(const std::string& lowered) {
    static constexpr std::array<const char*, 4> kNames = {"lucida console", "courier new", "courier", "monospace"};
    return std::any_of(kNames.begin(), kNames.end(), [&](const char* n) { return lowered == n; });
}

const char* GenericFamily(const LOGFONTA& log, const std::string& lowered) {
    constexpr BYTE kFixedPitch = 1;
    constexpr BYTE kFamilyMask = 0xF0;
    constexpr BYTE kFfRoman = 0x10;
    constexpr BYTE kFfModern = 0x30;
    if (IsKnownMonospaceFace(lowered))
        return "monospace";
    if ((log.lfPitchAndFamily & 0x03) == kFixedPitch || (log.lfPitchAndFamily & kFamilyMask) == kFfModern)
        return "monospace";
    if ((log.lfPitchAndFamily & kFamilyMask) == kFfRoman)
        return "serif";
    return "sans-serif";
}

// fontconfig's set-up reads its whole configuration: the largest single cost
// of a short run. It runs on a thread of its own from the moment the program
// asks, alongside the program's start, and the first match waits for it.
class FontSetUp {
public:
    static FontSetUp& Instance() {
        static FontSetUp setUp;
        return setUp;
    }
    void Start() {
        std::call_once(started_, [this] {
            ready_ = done_.get_future().share();
            try {
                thread_ = HelperThread([this] { done_.set_value(FcInit() == FcTrue); });
            } catch (const std::system_error&) {
                // No thread to spare: set up now.
                done_.set_value(FcInit() == FcTrue);
            }
        });
    }
    bool Wait() {
        Start();
        return ready_.get();
    }
    // fontconfig keeps caches that only FcFini releases: under a leak checker
    // every run would report them. Elsewhere the system takes them back at
    // the exit, sooner than FcFini would.
    ~FontSetUp() {
        if (thread_.joinable())
            thread_.join();
#ifdef DH_LEAK_CHECKED
        if (ready_.valid() && ready_.get())
            FcFini();
#endif
    }

private:
    FontSetUp() = default;
    std::once_flag started_;
    std::promise<bool> done_;
    std::shared_future<bool> ready_;
    std::thread thread_;
};

struct MatchedFile {
    std::string path;
    int index = 0;
};

// Asks fontconfig for the face, with a generic family after it so that a
// missing face falls back to a face of the same kind rather than whatever the
// configuration likes best.
bool MatchFontFile(const LOGFONTA& log, const std::string& faceName, int emPixels, MatchedFile& out) {
    if (!FontSetUp::Instance().Wait())
        return false;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr)
        return false;
    const std::string lowered = Lowercase(faceName);
    const char* generic = GenericFamily(log, lowered);
    if (!faceName.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
    if (std::strcmp(generic, "monospace") == 0)
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    const LONG weight = log.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(log.lfWeight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, log.lfItalic != 0 ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, emPixels);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    bool found = false;
    if (match != nullptr) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
            out.path = reinterpret_cast<const char*>(file);
            int index = 0;
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
                out.index = index;
            found = true;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

// Scales font units to pixels at `em`, rounding halves away from zero.
int ScaleRounded(std::int64_t units, int em, int unitsPerEm) {
    const std::int64_t num = units * em;
    const std::int64_t half = unitsPerEm / 2;
    return static_cast<int>(num >= 0 ? (num + half) / unitsPerEm : -((-num + half) / unitsPerEm));
}

}  // namespace

// A face at one pixel size with its glyph cache. Faces live for the whole
// process (they are shared through the resolution cache).
class FontFace {
public:
    FontFace(FT_Face face, int em) : face_(face), em_(em) {}
    ~FontFace() { FT_Done_Face(face_); }
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    bool Initialise() {
        if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(em_)) != 0)
            return false;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        const int upem = face_->units_per_EM;
        if (upem > 0 && os2 != nullptr && os2->version != 0xFFFF && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
            ascent_ = ScaleRounded(os2->usWinAscent, em_, upem);
            descent_ = ScaleRounded(os2->usWinDescent, em_, upem);
        } else if (upem > 0) {
            ascent_ = ScaleRounded(face_->ascender, em_, upem);
            descent_ = ScaleRounded(-static_cast<std::int64_t>(face_->descender), em_, upem);
        } else {
            ascent_ = static_cast<int>((face_->size->metrics.ascender + 63) >> 6);
            descent_ = static_cast<int>((-face_->size->metrics.descender + 63) >> 6);
        }
        ascent_ = std::max(ascent_, 0);
        descent_ = std::max(descent_, 0);
        return true;
    }

    int ascent() const { return ascent_; }
    int descent() const { return descent_; }
    // Advances come from the hinted outlines, as drawn, in whole pixels. Each
    // character is loaded when first measured or drawn, once for both: a
    // chart uses a few dozen characters, and most that are measured are drawn.
    int Advance(char32_t character) const { return Loaded(character).advance; }
    // Rendered on first use and kept.
    const Glyph& GlyphFor(char32_t character) const { return Loaded(character).glyph; }

    // Loads the character now, while the drawing thread may be drawing
    // with the face: a character either thread wants is loaded once, by
    // whichever gets to it first.
    void LoadAhead(unsigned char character) const { Loaded(character); }

private:
    static constexpr FT_UInt kUnknownIndex = ~FT_UInt{0};

    struct Cached {
        std::atomic<bool> loaded{false};  // set once the rest holds the character's
        FT_UInt index = kUnknownIndex;
        int advance = 0;
        Glyph glyph;
    };
    // The first 256 characters at hand, the rest looked up (by the drawing
    // thread only: loading ahead goes no further than 255).
    Cached& CacheFor(char32_t character) const {
        return character < latin_.size() ? latin_[character] : others_[character];
    }
    const Cached& Loaded(char32_t character) const {
        Cached& c = CacheFor(character);
        if (!c.loaded.load(std::memory_order_acquire)) {
            const std::lock_guard<std::mutex> hold(loading_);
            if (!c.loaded.load(std::memory_order_relaxed)) {
                Load(c, character);
                c.loaded.store(true, std::memory_order_release);
            }
        }
        return c;
    }
    // The character's advance and its 1-bit bitmap, from one hinted load.
    void Load(Cached& c, char32_t character) const {
        c.advance = 0;
        Glyph& g = c.glyph;
        if (FT_Load_Glyph(face_, GlyphIndex(c, character), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) !=
            0)
            return;
        const FT_GlyphSlot slot = face_->glyph;
        c.advance = static_cast<int>(std::max<FT_Pos>(0, (slot->advance.x + 32) >> 6));
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.width == 0 || bm.rows == 0 || bm.buffer == nullptr)
            return;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int>(bm.width);
        g.rows = static_cast<int>(bm.rows);
        g.pitch = (g.width + 7) / 8;
        g.bits.assign(static_cast<std::size_t>(g.pitch) * g.rows, 0);
        for (int row = 0; row < g.rows; ++row) {
            const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(row) * bm.pitch;
            std::uint8_t* dst = g.bits.data() + static_cast<std::size_t>(row) * g.pitch;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                std::memcpy(dst, src, static_cast<std::size_t>(g.pitch));
            } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                // A renderer that ignored the mono request: threshold at half.
                for (int col = 0; col < g.width; ++col)
                    if (src[col] >= 128)
                        dst[col / 8] |= static_cast<std::uint8_t>(0x80 >> (col % 8));
            }
        }
    }
    FT_UInt GlyphIndex(Cached& c, char32_t character) const {
        if (c.index == kUnknownIndex)
            c.index = FT_Get_Char_Index(face_, static_cast<FT_ULong>(character));
        return c.index;
    }

    FT_Face face_;
    int em_;
    int ascent_ = 0;
    int descent_ = 0;
    mutable std::mutex loading_;  // the face's loading, from either thread
    mutable std::array<Cached, 256> latin_{};
    mutable std::map<char32_t, Cached> others_;
};

namespace {

// The characters of a text: UTF-8 when its bytes are valid UTF-8, else
// Windows-1252, one byte a character.
std::u32string Characters(const char* text, int count) {
    std::u32string characters;
    if (text == nullptr || count <= 0)
        return characters;
    const std::string_view bytes(text, static_cast<std::size_t>(count));
    characters.reserve(bytes.size());
    if (IsValidUtf8(bytes)) {
        char32_t c = 0;
        for (std::size_t at = 0; at < bytes.size();) {
            at += Utf8Sequence(bytes.substr(at), c);
            characters += c;
        }
    } else {
        for (const char b : bytes)
            characters += Windows1252(static_cast<std::uint8_t>(b));
    }
    return characters;
}

std::int64_t TextWidth(const FontFace* face, const char* text, int count) {
    if (face == nullptr || text == nullptr)
        return 0;
    std::int64_t width = 0;
    for (const char32_t c : Characters(text, count))
        width += face->Advance(c);
    return width;
}

int CellHeight(const FontFace* face) {
    return face == nullptr ? 0 : face->ascent() + face->descent();
}

// Draws glyphs with the pen starting at (x, baseline) in 64-bit logical
// coordinates; `clip` is already intersected with the DC's clip and not empty.
void DrawGlyphRun(HDC__& dc, const FontFace& face, std::int64_t x, std::int64_t baseline, const char* text, int count,
                  std::uint32_t pixel, const RECT& clip) {
    const int stride = dc.surface->width;
    std::uint32_t* const origin =
        dc.surface->PixelsToDraw() + static_cast<std::ptrdiff_t>(dc.originY) * stride + dc.originX;
    std::int64_t pen = x;
    for (const char32_t character : Characters(text, count)) {
        const std::int64_t penHere = pen;
        pen += face.Advance(character);
        // Glyphs never reach further left than a few advances of the pen, so
        // once the pen is far past the clip the rest of the string is too.
        if (penHere - kMaxEmPixels * 2 > clip.right)
            break;
        const Glyph& g = face.GlyphFor(character);
        if (g.bits.empty())
            continue;
        const std::int64_t gx = penHere + g.left;
        const std::int64_t gy = baseline - g.top;
        const std::int64_t x0 = std::max<std::int64_t>(gx, clip.left);
        const std::int64_t x1 = std::min<std::int64_t>(gx + g.width, clip.right);
        const std::int64_t y0 = std::max<std::int64_t>(gy, clip.top);
        const std::int64_t y1 = std::min<std::int64_t>(gy + g.rows, clip.bottom);
        if (x0 >= x1 || y0 >= y1)
            continue;
        for (std::int64_t y = y0; y < y1; ++y) {
            const std::uint8_t* bits = g.bits.data() + static_cast<std::size_t>(y - gy) * g.pitch;
            std::uint32_t* row = origin + static_cast<std::ptrdiff_t>(y) * stride;
            for (std::int64_t px = x0; px < x1; ++px) {
                const auto col = static_cast<int>(px - gx);
                if (bits[col >> 3] & (0x80 >> (col & 7)))
                    row[px] = pixel;
            }
        }
    }
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return r;
}

bool IsEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

constexpr RECT kUnclipped{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

const FontFace* ResolvedFace(HFONT font) {
    if (!font->resolved) {
        font->face = ResolveFont(font->log);
        font->resolved = true;
    }
    return font->face.get();
}

// The face a DC draws with: its font's, else the system font's.
const FontFace* FaceOf(const HDC__& dc) {
    if (dc.font != nullptr) {
        if (const FontFace* face = ResolvedFace(dc.font))
            return face;
    }
    return ResolvedFace(StockSystemFont());
}

}  // namespace

namespace {

// Everything that takes part in the match.
using FontKey = std::tuple<std::string, LONG, LONG, bool, BYTE>;

FontKey KeyOf(const LOGFONTA& log) {
    char name[LF_FACESIZE + 1] = {};
    std::memcpy(name, log.lfFaceName, LF_FACESIZE);  // may lack its terminator
    return FontKey{Lowercase(name), log.lfHeight, log.lfWeight, log.lfItalic != 0, log.lfPitchAndFamily};
}

std::shared_ptr<FontFace> LoadFace(const LOGFONTA& log) {
    char name[LF_FACESIZE + 1] = {};
    std::memcpy(name, log.lfFaceName, LF_FACESIZE);
    const std::string faceName = name;
    int em = kDefaultEmPixels;
    if (log.lfHeight < 0)
        em = static_cast<int>(std::min<std::int64_t>(-static_cast<std::int64_t>(log.lfHeight), kMaxEmPixels));
    else if (log.lfHeight > 0)
        em = static_cast<int>(std::min<std::int64_t>(log.lfHeight, kMaxEmPixels));
    const bool cellHeight = log.lfHeight > 0;

    MatchedFile file;
    FT_Library library = Library();
    if (library == nullptr || !MatchFontFile(log, faceName, em, file))
        return nullptr;
    FT_Face ftFace = nullptr;
    if (FT_New_Face(library, file.path.c_str(), file.index, &ftFace) != 0)
        return nullptr;
    // A positive height is the cell height: find the em that gives it.
    if (cellHeight && ftFace->units_per_EM > 0) {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
        std::int64_t cellUnits = 0;
        if (os2 != nullptr && os2->version != 0xFFFF)
            cellUnits = static_cast<std::int64_t>(os2->usWinAscent) + os2->usWinDescent;
        if (cellUnits <= 0)
            cellUnits = static_cast<std::int64_t>(ftFace->ascender) - ftFace->descender;
        if (cellUnits > 0)
            em = std::clamp(ScaleRounded(em, ftFace->units_per_EM, static_cast<int>(cellUnits)), 1, kMaxEmPixels);
    }
    auto face = std::make_shared<FontFace>(ftFace, em);
    return face->Initialise() ? face : nullptr;
}

// Fonts are found ahead of their first use: each font made goes to a thread
// that resolves the waiting fonts once the set-up is done, while the program
// goes on to read its data. A font used before its turn is resolved where it
// is used. One lock covers every resolution (fontconfig's matching and the
// making of FreeType faces are not shared between threads) and the faces
// found; a face, once found, is used by the drawing thread alone.
class FontResolver {
public:
    static FontResolver& Instance() {
        static FontResolver resolver;
        return resolver;
    }
    ~FontResolver() { Finish(); }

    void Ahead(const LOGFONTA& log) {
        std::thread finished;  // the last worker, done: its thread has let go of the lock
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (found_.count(KeyOf(log)) != 0)
                return;
            waiting_.push_back(log);
            if (working_)
                return;
            finished = std::move(worker_);
            try {
                worker_ = HelperThread([this] { Work(); });
                working_ = true;
            } catch (const std::system_error&) {
                waiting_.clear();  // resolved when used
            }
        }
        if (finished.joinable())
            finished.join();
    }

    std::shared_ptr<FontFace> Resolve(const LOGFONTA& log) {
        const std::lock_guard<std::mutex> hold(lock_);
        return FoundOrLoaded(log);
    }

private:
    // fontconfig is set up before this and ended after it.
    FontResolver() { FontSetUp::Instance(); }

    std::shared_ptr<FontFace> FoundOrLoaded(const LOGFONTA& log) {
        FontKey key = KeyOf(log);
        if (auto it = found_.find(key); it != found_.end())
            return it->second;
        std::shared_ptr<FontFace> face = LoadFace(log);
        found_.emplace(std::move(key), face);
        return face;
    }

    void Work() {
        FontSetUp::Instance().Wait();
        std::vector<std::shared_ptr<FontFace>> found;  // since the last loading ahead
        for (;;) {
            {
                const std::lock_guard<std::mutex> hold(lock_);
                if (waiting_.empty() && found.empty()) {
                    working_ = false;
                    return;
                }
                if (!waiting_.empty()) {
                    const LOGFONTA log = waiting_.front();
                    waiting_.erase(waiting_.begin());
                    try {
                        if (std::shared_ptr<FontFace> face = FoundOrLoaded(log))
                            found.push_back(std::move(face));
                    } catch (const std::bad_alloc&) {
                        // Tried again where the font is used.
                    }
                    continue;
                }
            }
            LoadCharactersAhead(found);
            found.clear();
        }
    }

    // The fonts waiting are resolved: while the first text is drawn, the
    // characters of numbers and words are loaded, one character for each
    // font in turn, those of numbers first. Loading a character costs about
    // as much as drawing a line of text with it loaded; rarer ones are left
    // to the drawing, so that this is over before the drawing is.
    static void LoadCharactersAhead(const std::vector<std::shared_ptr<FontFace>>& faces) {
        static constexpr std::string_view Order =
            "0123456789%.-:+,/() abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        for (const char c : Order) {
            for (const std::shared_ptr<FontFace>& face : faces) {
                try {
                    face->LoadAhead(static_cast<unsigned char>(c));
                } catch (const std::bad_alloc&) {
                    return;  // loaded where drawn
                }
            }
        }
    }

    void Finish() {
        std::thread worker;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            worker = std::move(worker_);
        }
        if (worker.joinable())
            worker.join();
    }

    std::mutex lock_;
    std::map<FontKey, std::shared_ptr<FontFace>> found_;
    std::vector<LOGFONTA> waiting_;
    std::thread worker_;
    bool working_ = false;
};

}  // namespace

std::shared_ptr<FontFace> ResolveFont(const LOGFONTA& log) {
    return FontResolver::Instance().Resolve(log);
}

SIZE MeasureText(const FontFace* face, const char* text, int count) {
    if (face == nullptr || count <= 0)
        return SIZE{0, CellHeight(face)};
    return SIZE{SaturateToInt32(TextWidth(face, text, count)), CellHeight(face)};
}

void DrawGlyphs(HDC__& dc, const FontFace* face, int x, int y, const char* text, int count, COLORREF color,
                const RECT& clip) {
    if (face == nullptr || text == nullptr || count <= 0)
        return;
    const RECT area = Intersect(clip, DeviceClip(dc));
    if (IsEmpty(area))
        return;
    DrawGlyphRun(dc, *face, x, static_cast<std::int64_t>(y) + face->ascent(), text, count, ColorToPixel(color), area);
}

int FontAscent(const FontFace* face) {
    return face == nullptr ? 0 : face->ascent();
}
int FontDescent(const FontFace* face) {
    return face == nullptr ? 0 : face->descent();
}

HFONT StockSystemFont() {
    static HFONT__ font = [] {
        HFONT__ f;
        f.log.lfHeight = -13;
        f.log.lfWeight = FW_NORMAL;
        std::strcpy(f.log.lfFaceName, "DejaVu Sans Mono");
        f.log.lfPitchAndFamily = 0x31;  // FIXED_PITCH | FF_MODERN
        return f;
    }();
    return &font;
}

void StartFontSetUp() { FontSetUp::Instance().Start(); }

}  // namespace platform

using namespace platform;

HFONT CreateFontIndirectA(const LOGFONTA* log) {
    if (log == nullptr)
        return nullptr;
    auto* font = new HFONT__;
    font->log = *log;
    font->log.lfFaceName[LF_FACESIZE - 1] = '\0';
    FontResolver::Instance().Ahead(font->log);
    return font;
}

BOOL GetTextExtentPointA(HDC dc, LPCSTR text, int count, LPSIZE size) {
    if (dc == nullptr || size == nullptr || count < 0 || (text == nullptr && count > 0))
        return FALSE;
    *size = MeasureText(FaceOf(*dc), text, count);
    return TRUE;
}

namespace {

// For the tests that compare our pictures with another system's, whose
// glyphs come from another rasteriser: with DRAVENHOLT_GLYPH_CELLS naming a
// file, each text cell that glyphs may be drawn in (clipped) is added to it
// as "left top right bottom", so that the comparison can set glyphs aside.
void RecordGlyphCell(const RECT& cell, const RECT& clip) {
    const char* path = std::getenv("DRAVENHOLT_GLYPH_CELLS");
    if (path == nullptr || path[0] == '\0')
        return;
    const RECT drawn = Intersect(cell, clip);
    if (IsEmpty(drawn))
        return;
    if (std::FILE* out = std::fopen(path, "a")) {
        std::fprintf(out, "%ld %ld %ld %ld\n", static_cast<long>(drawn.left), static_cast<long>(drawn.top),
                     static_cast<long>(drawn.right), static_cast<long>(drawn.bottom));
        std::fclose(out);
    }
}

}  // namespace

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx) {
    if (dc == nullptr || (text == nullptr && count > 0))
        return FALSE;
    const int n = static_cast<int>(std::min<UINT>(count, INT32_MAX));
    const FontFace* face = FaceOf(*dc);

    // The rectangle only counts with one of the options; a flipped one is put
    // in order, as GDI does.
    bool haveRect = rect != nullptr && (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
    RECT box = kUnclipped;
    if (haveRect) {
        box = RECT{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                   std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
    }
    const bool clipped = haveRect && (options & ETO_CLIPPED) != 0;
    const bool opaqueRect = haveRect && (options & ETO_OPAQUE) != 0;
    const std::uint32_t background = ColorToPixel(dc->bkColor);
    if (opaqueRect)
        FillRectPixels(*dc, box, background);
    if (face == nullptr || n == 0)
        return TRUE;

    // Reference point to the cell's top-left, in 64 bits: a far-off point with
    // a long string must stay far off, not wrap.
    const std::int64_t width = TextWidth(face, text, n);
    const int ascent = face->ascent();
    const int height = CellHeight(face);
    std::int64_t left = x;
    if ((dc->textAlign & TA_CENTER) == TA_CENTER)
        left -= width / 2;
    else if ((dc->textAlign & TA_RIGHT) != 0)
        left -= width;
    std::int64_t top = y;
    if ((dc->textAlign & TA_BASELINE) == TA_BASELINE)
        top -= ascent;
    else if ((dc->textAlign & TA_BOTTOM) != 0)
        top -= height;

    const RECT glyphClip = clipped ? box : kUnclipped;
    // In opaque mode the cell is filled too, unless the opaque rectangle
    // already covers everything that can be drawn.
    if (dc->bkMode == OPAQUE && !(opaqueRect && clipped)) {
        const RECT cell{SaturateToInt32(left), SaturateToInt32(top), SaturateToInt32(left + width),
                        SaturateToInt32(top + height)};
        const RECT fill = Intersect(cell, glyphClip);
        if (!IsEmpty(fill))
            FillRectPixels(*dc, fill, background);
    }
    const RECT area = Intersect(glyphClip, DeviceClip(*dc));
    if (IsEmpty(area))
        return TRUE;
    // Nothing of the string can reach the clip: skip the glyph walk.
    if (left - kMaxEmPixels * 2 > area.right || left + width + kMaxEmPixels * 2 < area.left)
        return TRUE;
    if (top - kMaxEmPixels * 2 > area.bottom || top + height + kMaxEmPixels * 2 < area.top)
        return TRUE;
    RecordGlyphCell(RECT{SaturateToInt32(left), SaturateToInt32(top), SaturateToInt32(left + width),
                         SaturateToInt32(top + height)},
                    area);
    DrawGlyphRun(*dc, *face, left, top + ascent, text, n, ColorToPixel(dc->textColor), area);
    return TRUE;
}
