#include "marketdata/chart_files.h"


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
            seriesStamps_[i].Read();
            series_.*SeriesFiles[i].table = LoadSeriesFile(SeriesFiles[i]);
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
    const std::vector<RibbonSpec>& specs = ribbonInfo_.Get(RibbonInfoFile, LoadRibbonInfo);
    bool changed = !ribbonMade_ || ribbonInfo_.read();
    filesRead_ += ribbonInfo_.read() ? 1 : 0;
    // A file named by several rows is looked at once per call.
    std::map<RowKey, const std::int32_t*> resolved;
    std::vector<std::pair<const RibbonSpec*, const std::int32_t*>> rows;
    for (const RibbonSpec& spec : specs) {
        if (rows.size() == RibbonCapacity)
            break;
        RowKey key{spec.fileName, spec.column, spec.rule};
        auto [found, fresh] = resolved.try_emplace(key, nullptr);
        if (fresh) {
            KeptTable<RowValues>& kept = ribbonValues_.try_emplace(std::move(key), stamps_).first->second;
            found->second = kept.Get(spec.fileName.c_str(), [&] {
                                    return LoadRibbonSeries(spec.fileName.c_str(), spec.column, spec.rule);
                                }).get();
            changed = changed || kept.read();
            filesRead_ += kept.read() ? 1 : 0;
        }
        if (found->second != nullptr)
            rows.emplace_back(&spec, found->second);
    }
    // Rows the configuration no longer names are forgotten.
    std::erase_if(ribbonValues_, [&](const auto& entry) { return resolved.count(entry.first) == 0; });
    if (changed) {
        ribbon_.rows.clear();
        for (const auto& [spec, values] : rows)
            ribbon_.rows.push_back(MakeRibbonRow(*spec, values));
        ribbonMade_ = true;
    }
    return ribbon_;
}

}  // namespace marketdata
