#include "marketdata/chart_files.h"

#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "platform/helper_thread.h"

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

ChartFiles::~ChartFiles() {
    FinishReadingPaintFiles();
}

void ChartFiles::StartReadingPaintFiles(std::uint64_t fromBytes) {
    if (paintFilesStarted_)
        return;
    paintFilesStarted_ = true;
    std::uint64_t seriesBytes = 0;
    for (const SeriesFile& file : SeriesFiles) {
        if (const std::optional<DataFileStamp> stamp = stamps_.stamp(file.name))
            seriesBytes += stamp->size;
    }
    if (seriesBytes < fromBytes)
        return;
    try {
        paintFilesReader_ = platform::HelperThread([this] {
            try {
                ReadLabels();
                ReadRibbon();
                ReadBroadcast();
            } catch (...) {
                // What could not be read is read again when asked for: a
                // table whose loading failed is not kept.
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the paint reads them.
    }
}

void ChartFiles::FinishReadingPaintFiles() {
    if (paintFilesReader_.joinable())
        paintFilesReader_.join();
}

const LabelTable& ChartFiles::Labels() {
    FinishReadingPaintFiles();
    return ReadLabels();
}

const RibbonTable& ChartFiles::Ribbon() {
    FinishReadingPaintFiles();
    return ReadRibbon();
}

const BroadcastTable& ChartFiles::Broadcast() {
    FinishReadingPaintFiles();
    return ReadBroadcast();
}

const LabelTable& ChartFiles::ReadLabels() {
    const LabelTable& table = labels_.Get(LabelsFile, LoadLabels);
    filesRead_ += labels_.read() ? 1 : 0;
    return table;
}

const BroadcastTable& ChartFiles::ReadBroadcast() {
    const BroadcastTable& table = broadcast_.Get(BroadcastFile, LoadBroadcast);
    filesRead_ += broadcast_.read() ? 1 : 0;
    return table;
}

// The configuration, then each row's numbers as far as 16 rows; the table is
// made anew only when any of these was read again.
const RibbonTable& ChartFiles::ReadRibbon() {
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
