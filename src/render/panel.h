// What every panel draws with and from: the device context, the drawing
// resources, the chart's data, and the list that collects image-map areas
// during an export's paint.
#pragma once

#include <string>
#include <vector>

#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "platform/win32.h"
#include "render/resources.h"

namespace render {

// One clickable area of the exported picture, in picture coordinates.
struct MapArea {
    RECT rect;
    std::string link;
    std::string altText;
};
using MapAreaList = std::vector<MapArea>;

// The tables a paint draws.
struct ChartData {
    const marketdata::SeriesTables& series;
    const marketdata::RibbonTable& ribbon;
    const marketdata::BroadcastTable& broadcast;
    const marketdata::LabelTable& labels;
};

struct PanelContext {
    HDC dc;
    const DrawingResources& resources;
    const ChartData& data;
    MapAreaList* areas;  // null: this paint collects no areas

    void AddMapArea(const RECT& rect, const char* link, const char* altText) const {
        if (areas != nullptr)
            areas->push_back(MapArea{rect, link != nullptr ? link : "", altText != nullptr ? altText : ""});
    }
};

// The main chart's percentage scale in hundredths of a percent; the later
// panels place themselves by it.
struct MainScaleValues {
    std::int32_t scaleTop = 0;
    std::int32_t scaleBottom = 0;
};

}  // namespace render
