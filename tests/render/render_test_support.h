// Shared by the render tests: pictures over a colour no panel draws, a fixture
// that owns what a panel draws with and from, text extents and rectangles.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "render/panel.h"
#include "render/resources.h"
#include "support/memory_picture.h"

namespace rendertest {

using testsupport::MemoryPicture;

constexpr COLORREF Background = RGB(1, 2, 3);  // in no colour table and not in the palette
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);

inline std::unique_ptr<MemoryPicture> NewPicture(int w, int h) {
    return std::make_unique<MemoryPicture>(w, h, Background);
}

inline std::string Show(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// The resources, the four tables and the area list of one paint; tests fill
// the tables and draw through Context.
class PanelTest : public ::testing::Test {
protected:
    render::PanelContext Context(HDC dc) const { return render::PanelContext{dc, resources, data, &areas}; }
    render::PanelContext Context(const MemoryPicture& p) const { return Context(p.dc); }

    SIZE Measure(int font, const std::string& text) const {
        MemoryPicture scratch(1, 1);
        SelectObject(scratch.dc, resources.Font(font));
        SIZE size{0, 0};
        GetTextExtentPointA(scratch.dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size;
    }
    std::string AreaText(std::size_t i) const {
        const render::MapArea& a = areas.at(i);
        return Show(a.rect) + " " + a.link + " " + a.altText;
    }

    render::DrawingResources resources = render::DrawingResources::Create();
    marketdata::SeriesTables series;
    marketdata::RibbonTable ribbon;
    marketdata::BroadcastTable broadcast;
    marketdata::LabelTable labels;
    render::ChartData data{series, ribbon, broadcast, labels};
    mutable render::MapAreaList areas;
};

}  // namespace rendertest
