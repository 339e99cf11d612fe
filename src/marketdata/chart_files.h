// The tables the chart draws from, each kept while its file is unchanged: the
// series are read at start and at each export, the labels, ribbon and
// broadcast at each paint, and a file is read again only when it changed.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "marketdata/broadcast.h"
#include "marketdata/kept_table.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"

namespace marketdata {

class ChartFiles {
public:
    explicit ChartFiles(StampSource stamps = FileSystemStamps);
    ChartFiles(const ChartFiles&) = delete;
    ChartFiles& operator=(const ChartFiles&) = delete;

    // The eight series tables, each read again when its file changed.
    const SeriesTables& ReloadSeries();
    // As last read.
    const SeriesTables& series() const { return series_; }

    const LabelTable& Labels();
    const RibbonTable& Ribbon();
    const BroadcastTable& Broadcast();

    // Data files read since this object was made.
    std::uint64_t filesRead() const { return filesRead_; }

private:
    using RowKey = std::tuple<std::string, std::uint32_t, RibbonRule>;
    using RowValues = std::unique_ptr<std::int32_t[]>;

    StampSource stamps_;
    SeriesTables series_;
    std::array<StampTracker, std::size(SeriesFiles)> seriesStamps_;
    KeptTable<LabelTable> labels_;
    KeptTable<BroadcastTable> broadcast_;
    KeptTable<std::vector<RibbonRowConfig>> ribbonInfo_;
    std::map<RowKey, KeptTable<RowValues>> ribbonValues_;
    RibbonTable ribbon_;
    bool ribbonMade_ = false;
    std::uint64_t filesRead_ = 0;
};

}  // namespace marketdata
