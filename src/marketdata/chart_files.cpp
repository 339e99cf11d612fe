#include "marketdata/chart_files.h"

#include <set>
#include <utility>

namespace marketdata {

namespace {

constexpr const char* LabelsFile = "Data\\labels.txt";
constexpr const char* BroadcastFile = "Data\\CNBC_Elapsed.txt";
constexpr const char* RibbonInfoFile = "Data\\RibbonInfo.txt";

}  // namespace

ChartFiles::ChartFiles(StampSource stamps)
    : stamps_(stamps), labels_(stamps), broadcast_(stamps), ribbonInfo_(stamps) {
    seriesStamps_.fill(StampTracker(stamps));
}

const SeriesTables& ChartFiles::ReloadSeries() {
    for (std::size_t i = 0; i < std::size(SeriesFiles); ++i) {
        if (seriesStamps_[i].NeedsReading(SeriesFiles[i].name)) {
            series_.*SeriesFiles[i].table = LoadSeriesFile(SeriesFiles[i]);
            seriesStamps_[i].Read();  // only once the table is the file's
            ++filesRead_;
        }
    }
    return series_;
}

const LabelTable& ChartFiles::Labels() {
    const LabelTable& table = labels_.Get(LabelsFile, LoadLabels);
    filesRead_ += labels_.read() ? 1 : 0;
    return table;
}

const BroadcastTable& ChartFiles::Broadcast() {
    const BroadcastTable& table = broadcast_.Get(BroadcastFile, LoadBroadcast);
    filesRead_ += broadcast_.read() ? 1 : 0;
    return table;
}

// The configuration, then each row's numbers as far as 16 rows; the table is
// made anew only when any of these was read again.
const RibbonTable& ChartFiles::Ribbon() {
    const std::vector<RibbonRowConfig>& configs = ribbonInfo_.Get(RibbonInfoFile, LoadRibbonInfo);
    bool changed = !ribbonMade_ || ribbonInfo_.read();
    filesRead_ += ribbonInfo_.read() ? 1 : 0;
    std::set<RowKey> lookedAt;  // a file named by several rows is looked at once per call
    std::vector<std::pair<const RibbonRowConfig*, const std::int32_t*>> rows;
    ForEachRibbonRow(
        configs,
        [&](const RibbonRowConfig& config) {
            RowKey key{config.fileName, config.column, config.rule};
            KeptTable<RowValues>& kept = ribbonValues_.try_emplace(key, stamps_).first->second;
            if (lookedAt.insert(std::move(key)).second) {
                kept.Get(config.fileName.c_str(),
                         [&] { return LoadRibbonSeries(config.fileName.c_str(), config.column, config.rule); });
                changed = changed || kept.read();
                filesRead_ += kept.read() ? 1 : 0;
            }
            return kept.table().get();
        },
        [&](const RibbonRowConfig& config, const std::int32_t* values) { rows.emplace_back(&config, values); });
    // Rows the configuration no longer names are forgotten.
    std::erase_if(ribbonValues_, [&](const auto& entry) { return lookedAt.count(entry.first) == 0; });
    if (changed) {
        ribbon_.rows.clear();
        for (const auto& [config, values] : rows)
            ribbon_.rows.push_back(MakeRibbonRow(*config, values));
        ribbonMade_ = true;
    }
    return ribbon_;
}

}  // namespace marketdata
