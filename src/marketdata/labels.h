// The annotation labels of Data\labels.txt, read at every paint: the lines of
// type T within the second window, in the file's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marketdata {

// A label's text is drawn up to this many characters.
constexpr std::size_t LabelTextLimit = 127;

struct AnnotationLabel {
    std::uint32_t second = 0;  // the anchor's second of the day, inside the window
    std::int32_t value = 0;    // the anchor's value, hundredths of a percent
    // As written; the drawing clamps font and colour to their tables.
    std::uint32_t font = 0;
    std::uint32_t color = 0;
    std::uint32_t kind = 0;
    std::uint32_t targetSecond = 0;  // a connector's end when inside the window
    std::int32_t targetValue = 0;
    std::string text;  // at most LabelTextLimit characters
    std::string link;  // empty: no image-map area
    std::string altText;
};

struct LabelTable {
    bool present = false;  // the file could be read
    std::vector<AnnotationLabel> labels;
};

LabelTable LoadLabels();

}  // namespace marketdata
