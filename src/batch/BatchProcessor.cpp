#include "batch/BatchProcessor.h"

#include "document/FileError.h"
#include "dsp/FilterChain.h"
#include "dsp/GraphicCurve.h"
#include "dsp/Levels.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"
#include "facade/RestoreJob.h"
#include "output/ExternalEncoder.h"
#include "output/SaveTracks.h"
#include "output/TrackWriter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tarnival {

namespace {

namespace fs = std::filesystem;

std::string format(const char* pattern, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// One file's steps; each checks the abort first.
class FileRun {
  public:
    FileRun(CMorvath3Doc& doc, BatchHost& host, const BatchOptions& o)
        : doc_(doc), host_(host), o_(o) {}
    BatchFileResult run(const std::string& input);

  private:
    bool aborted() const { return host_.abortRequested(); }
    void log(const std::string& text, bool red = false) { host_.log(text, red); }
    bool declick();
    bool filter();
    bool levels();
    bool save(const std::string& input);

    CMorvath3Doc& doc_;
    BatchHost& host_;
    const BatchOptions& o_;
    BatchFileResult result_;
};

bool FileRun::declick() {
    CMorvath3Doc& d = doc_;
    if (!aborted()) {
        result_.clicks = repairedClicks(d.corrections);
        log(format("Found: %d \r\n", result_.clicks));
        log("\tRemoving Clicks\r\n");
    }
    if (o_.superPasses <= 0 || aborted()) return !aborted();
    d.SelectBlock(0, static_cast<int32_t>(std::min<int64_t>(d.store.layout.fileLength, INT32_MAX)));
    d.blockSettings.sensitivity = BlockSettings::kUseDocument;
    d.blockSettings.mode = BlockSettings::kUseDocument;
    for (int i = 1; i <= o_.superPasses && !aborted(); ++i) {
        log(format("\tSuperScan Pass %d of %d - Detecting Clicks: ", i, o_.superPasses));
        ProgressScope progress(d.ui(), {});
        d.ui().setProgressRange(d.store.layout.dataStart, d.store.layout.dataEnd);
        const int found = d.BlockScan(true, false);
        log(format("Found %d \r\n", found));
        log(format("\tSuperScan Pass %d of %d - Removing Clicks\r\n", i, o_.superPasses));
        d.ApplyBlockList();
        result_.clicks += found;
    }
    d.ClearBlock();
    return !aborted();
}

bool FileRun::filter() {
    CMorvath3Doc& d = doc_;
    FilterSettings& s = d.filters.settings;
    const FilterSettings chosen = o_.filters;
    s.RumbleOn = chosen.RumbleOn;
    s.HumOn = chosen.HumOn;
    s.HissOn = chosen.HissOn;
    s.HissLevel = chosen.HissLevel;
    s.TrebleOn = chosen.TrebleOn;
    s.TrebleLevel = chosen.TrebleLevel;
    s.GraphicOn = false;
    s.ApplyMode = FilterApply::ReplaceExisting;
    if (!o_.graphicName.empty() && !SelectGraphicFilter(d.profile(), d.ui(), d.filters,
                                                        o_.graphicName, d.store.layout.sampleRate))
        return false;
    log("\tFiltering\r\n");
    FilterContext ctx = d.filterContext();
    ctx.batchLog = [this](const std::string& line) { log(line); };
    const bool done = RunBatchFilters(ctx);
    d.editor().invalidate();
    return done && !aborted();
}

bool FileRun::levels() {
    CMorvath3Doc& d = doc_;
    LevelState& lv = d.filters.levels;
    if (o_.balanceAuto && !aborted()) {
        if (lv.MaxSample < 0) {
            log("\tFinding Maximum Signal\r\n");
            FindMaxSample(d.store, d.ui(), lv);
        }
        if (aborted()) return false;
        std::optional<double> ratio =
            BalanceEstimate(d.overview.levelSum, d.overview.balanceSum, 1.0f, 1.0f);
        if (!ratio) {
            log("\tNo balance: a channel is silent\r\n", true);
        } else {
            log("\tBalancing\r\n");
            AdjustBalance(d.store, d.ui(), lv, *ratio);
        }
    }
    if (o_.normalise && !aborted()) {
        if (lv.MaxSample < 0) {
            log("\tFinding Maximum Signal: ");
            const int max = FindMaxSample(d.store, d.ui(), lv);
            log(format("Peak = %5.1f dB\r\n", max > 0 ? 20.0 * std::log10(max / 32768.0) : -99.9));
        }
        if (aborted()) return false;
        if (lv.MaxSample <= 0) {
            log("\tNot normalised: the recording is silent\r\n", true);
        } else {
            log("\tNormalising\r\n");
            ScaleLevels(d.store, d.ui(), lv,
                        std::pow(10.0, o_.levelDb / 20.0) * 32768.0 / lv.MaxSample);
        }
    }
    if (o_.scale && !aborted()) {
        log("\tScaling\r\n");
        ScaleLevels(d.store, d.ui(), lv, std::pow(10.0, o_.levelDb / 20.0));
    }
    d.editor().invalidate();
    return !aborted();
}

bool FileRun::save(const std::string& input) {
    CMorvath3Doc& d = doc_;
    const BatchOutputName name = batchOutputName(input, o_);
    log(format("\tSaving: %s\r\n", name.path.c_str()));
    const WaveLayout& l = d.store.layout;
    Track& whole = d.tracks[0];
    bool trimmed = false;
    if (o_.trimSilence) {
        const int32_t first = FindMusic(d.store, d.fft, l.dataStart, +1);
        const int32_t last = FindMusic(d.store, d.fft, l.dataEnd, -1);
        const int32_t musicStart = first >= 0 ? first : l.dataStart;
        const int32_t musicEnd = last >= 0 ? last : l.dataEnd;
        // A second at 44.1 kHz either side, with a tenth of it faded.
        whole.start = l.toFrame(std::max(l.dataStart, musicStart - 176000));
        whole.end = l.toFrame(std::min(l.dataEnd, musicEnd + 176000));
        whole.fadeIn = whole.fadeOut = 17600;
        trimmed = true;
    }
    OutputContext out{d.store, d.tracks, d.splices, d.ui(), {}, {}, {}};
    applyOutputSettings(o_.output, out.options);
    out.options.replaceExisting = true;
    out.options.trackNumberText = d.tracks.trackNumberText;
    if (o_.output.usesExternalEncoder()) {
        if (!encoderSetupValid(o_.output.encoderSetup())) {
            log(std::string("\t") + kInvalidParametersText + "\r\n", true);
            return false;
        }
        out.externalEncoder = makeExternalEncoder(o_.output.encoderSetup(), d.ui());
    }
    if (WriteTrack(out, 0, 0, name.path, !trimmed, !trimmed) != WriteStatus::Written) return false;
    result_.output = name.path;
    if (name.besideInput)
        log(format("\tThe input keeps its name; the result is %s\r\n", name.path.c_str()), true);
    return true;
}

BatchFileResult FileRun::run(const std::string& input) {
    CMorvath3Doc& d = doc_;
    result_ = BatchFileResult{};
    log(format("Opening: %s \r\n", input.c_str()));
    d.CloseWave();
    d.scan = o_.scan;
    if (!o_.removeClicks) d.scan.sensitivity = 0;
    // Only the whole side is saved: finding its tracks would be wasted.
    d.scan.splitTracks = 0;
    if (!d.OpenWave(input)) {
        log("----Error Opening File----\r\n", true);
        result_.outcome = BatchFileResult::Outcome::NotOpened;
        d.CloseWave();
        return result_;
    }
    auto finish = [&](BatchFileResult::Outcome outcome) {
        // A file saved before the abort was noticed is whole and stays done.
        result_.outcome = aborted() && outcome != BatchFileResult::Outcome::Saved
                              ? BatchFileResult::Outcome::Aborted
                              : outcome;
        d.CloseWave();
        return result_;
    };
    if (o_.removeClicks) log("\tDetecting Clicks: ");
    if (!d.ProcessFile() || aborted()) {
        if (o_.removeClicks && !aborted()) log("\r\n");
        if (!aborted()) log("\tThe file could not be loaded\r\n", true);
        return finish(BatchFileResult::Outcome::Failed);
    }
    if (o_.removeClicks && !declick()) return finish(BatchFileResult::Outcome::Failed);
    host_.progress(0, 0, d.store.layout.dataEnd);
    if (o_.filter && !aborted() && !filter()) return finish(BatchFileResult::Outcome::Failed);
    if (!levels()) return finish(BatchFileResult::Outcome::Failed);
    if (aborted() || !save(input)) return finish(BatchFileResult::Outcome::Failed);
    return finish(BatchFileResult::Outcome::Saved);
}

} // namespace

std::vector<std::string> BatchCommandArguments(const BatchOptions& o) {
    std::vector<std::string> a;
    auto number = [](double v) { return format("%.17g", v); };
    if (!o.outputPath.empty()) a.insert(a.end(), {"--out", o.outputPath});
    if (o.naming == BatchNaming::InputNames) a.push_back("--input-names");
    if (o.removeClicks) {
        const ScanSettings& s = o.scan;
        a.insert(a.end(), {"--declick", "--passes", std::to_string(o.superPasses), "--sensitivity",
                           std::to_string(std::clamp(s.sensitivity, 0, 5)),
                           s.isDifferential() ? "--differential" : "--per-channel",
                           s.isNarrow() ? "--narrow" : "--normal", "--agc", std::to_string(s.agc),
                           "--discriminator", std::to_string(s.discriminator), "--min-magnitude",
                           std::to_string(s.minMagnitude), "--repair",
                           s.method() == RepairMethod::Precise ? "precise" : "standard"});
    }
    if (o.filter) {
        const FilterSettings& f = o.filters;
        std::string list;
        auto add = [&](const std::string& item) { list += (list.empty() ? "" : ",") + item; };
        if (f.RumbleOn) add("rumble");
        if (f.HumOn) add("hum");
        if (f.HissOn && f.HissLevel > 0) add("hiss=" + std::to_string(f.HissLevel));
        if (f.TrebleOn && f.TrebleLevel != 0) add("treble=" + std::to_string(f.TrebleLevel));
        if (!o.graphicName.empty()) add("graphic=" + o.graphicName);
        // Filtering with nothing chosen still logs its step.
        a.insert(a.end(), {"--filter", list.empty() ? "none" : list});
    }
    if (o.normalise) a.insert(a.end(), {"--normalise", number(o.levelDb)});
    if (o.scale) a.insert(a.end(), {"--scale", number(o.levelDb)});
    if (o.balanceAuto) a.push_back("--balance");
    if (o.trimSilence) a.push_back("--trim");
    const char* type = o.output.usesExternalEncoder()        ? "external"
                       : o.output.fileType == ids::kFileApe  ? "ape"
                       : o.output.fileType == ids::kFileOgg  ? "ogg"
                       : o.output.fileType == ids::kFileFlac ? "flac"
                                                             : "wav";
    a.insert(a.end(), {"--format", type});
    return a;
}

double clampBatchLevel(double db, bool normalise) {
    if (!std::isfinite(db)) return normalise ? 0.0 : 0.0;
    return std::clamp(db, -30.0, normalise ? 0.0 : 10.0);
}

std::string BatchDeclickSummary(const ScanSettings& s, int passes) {
    std::string text = format("Threshold: %d", std::max(s.sensitivity, 0));
    text += passes > 0 ? format("\r\nSuper Passes: %d", passes) : "\r\nSuper Passes: None";
    text += s.isDifferential() ? "\r\nDifferential Mode" : "\r\nPer Channel Mode";
    text += s.isNarrow() ? "\r\nNarrow Corrections" : "\r\nNormal Corrections";
    if (s.agc || s.discriminator || s.minMagnitude) text += "\r\nAdv. Options set";
    return text;
}

bool isBatchInput(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string end = lower(path.substr(path.size() - 4));
    return end == ".wav" || end == ".ape";
}

std::vector<std::string> BatchFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isBatchInput(it->path().string()))
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

BatchOutputName batchOutputName(const std::string& input, const BatchOptions& o) {
    const fs::path in(input);
    std::string name = in.stem().string();
    if (o.naming == BatchNaming::AddCor) name += "cor";
    name += outputExtension(o.output);
    const fs::path folder = o.outputPath.empty() ? in.parent_path() : fs::path(o.outputPath);
    BatchOutputName out;
    out.path = (folder / name).string();
    // Compared without regard to case, as the file systems of removable media do; and the same
    // file by another spelling counts as well.
    if (lower(out.path) == lower(input) || samePath(out.path, input)) {
        out.path += "~~~";
        out.besideInput = true;
    }
    return out;
}

void BatchUi::message(const std::string& text, const std::string&) {
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\r') c = ' ';
        if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    host_.log("\t" + line + "\r\n", true);
}

Answer BatchUi::ask(const std::string&, const std::string&, Buttons buttons) {
    // Questions come after an abort (the steps' cancel questions): stop the step, and drop a
    // load rather than finish it unscanned. Otherwise go on as a run without a user would.
    const bool stop = host_.abortRequested();
    switch (buttons) {
    case Buttons::YesNo:
        return stop ? Answer::Yes : Answer::No;
    case Buttons::YesNoCancel:
        return stop ? Answer::No : Answer::Yes;
    case Buttons::OkCancel:
        return stop ? Answer::Cancel : Answer::Ok;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}

void BatchUi::setProgressRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
    host_.progress(low, low, high);
}

void BatchUi::setProgressPosition(int64_t position) {
    host_.progress(position, low_, high_);
}

bool BatchUi::pumpAndTakeCancel() {
    host_.pump();
    return host_.abortRequested();
}

BatchFileResult ProcessBatchFile(CMorvath3Doc& doc, BatchHost& host, const std::string& input,
                                 const BatchOptions& options) {
    try {
        return FileRun(doc, host, options).run(input);
    } catch (const std::exception& e) {
        // A file error (disk full, a vanished folder) ends this file, not the run.
        host.log(std::string("\t") + e.what() + "\r\n", true);
        doc.CloseWave();
        BatchFileResult r;
        r.outcome = host.abortRequested() ? BatchFileResult::Outcome::Aborted
                                          : BatchFileResult::Outcome::Failed;
        return r;
    }
}

BatchSummary RunBatch(CMorvath3Doc& doc, BatchHost& host, const std::vector<std::string>& files,
                      const BatchOptions& options) {
    BatchSummary s;
    for (const std::string& file : files) {
        if (host.abortRequested()) break;
        BatchFileResult r = ProcessBatchFile(doc, host, file, options);
        if (r.outcome == BatchFileResult::Outcome::Saved)
            ++s.saved;
        else if (r.outcome != BatchFileResult::Outcome::Aborted)
            ++s.failed;
    }
    s.aborted = host.abortRequested();
    host.log(s.aborted ? kBatchAbortedLine : kBatchDoneLine, s.aborted);
    host.progress(0, 0, 1);
    return s;
}

} // namespace tarnival
