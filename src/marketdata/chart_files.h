// The tables the chart draws from, each kept while its file is unchanged: the
// series are read at start and at each export, the labels, ribbon and
// broadcast at each paint, and a file is read again only when it changed.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
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
    ~ChartFiles();
    ChartFiles(const ChartFiles&) = delete;
    ChartFiles& operator=(const ChartFiles&) = delete;

    // Reads the labels, ribbon and broadcast files on a thread of its own,
    // beside the window's creation and the series, when the series files
    // hold at least `fromBytes` together (a whole day's files, not the
    // chart's stretch alone); that paint, or the first call below that needs
    // them, waits for the reading. The series may be read meanwhile. With
    // less, the paint reads them: on two processors the second is the font
    // set-up's, and a thread sharing it would delay the first text by more
    // than the reading takes.
    void StartReadingPaintFiles(std::uint64_t fromBytes = ReadAheadFromBytes);
    static constexpr std::uint64_t ReadAheadFromBytes = std::uint64_t{4} << 20;

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
    void FinishReadingPaintFiles();
    const LabelTable& ReadLabels();
    const RibbonTable& ReadRibbon();
    const BroadcastTable& ReadBroadcast();

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
    std::atomic<std::uint64_t> filesRead_{0};
    bool paintFilesStarted_ = false;
    std::thread paintFilesReader_;  // joinable while that reading may run
};

}  // namespace marketdata
