#pragma once
// Unattended processing of a list of recordings with one document: open, de-click (with
// super-scan passes), filter, balance, normalise or scale, trim the silence at the ends and save
// the whole side under a derived name. Everything that happens goes into a log, line by line.
#include "document/UserInterface.h"
#include "dsp/FilterState.h"
#include "output/OutputSettings.h"
#include "scan/ScanSettings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnival {

class CMorvath3Doc;

enum class BatchNaming {
    AddCor,     // "Add 'cor' to filenames"
    InputNames, // "Use input filenames*"
};

struct BatchOptions {
    bool removeClicks = false; // "De-Click"
    int superPasses = 0;       // 0 .. 6
    ScanSettings scan;         // the de-click settings
    bool filter = false;
    FilterSettings filters;  // rumble, hum, hiss and its level, treble and its level
    std::string graphicName; // empty: no graphic filter
    bool normalise = false;
    bool scale = false;
    double levelDb = -1.0;
    bool balanceAuto = false;
    bool trimSilence = false;
    OutputSettings output;
    BatchNaming naming = BatchNaming::AddCor;
    std::string outputPath; // empty: each input's folder

    // Whether a run would do anything to a file (the dialog's Start rule, without the list).
    bool anyStep() const {
        return removeClicks || filter || normalise || scale || balanceAuto || trimSilence;
    }
};

// The options of `tarnival-cli batch` that make a run with these options (the output settings
// beyond the type, and the graphic filter's curve, come from the stored settings as they do for
// the dialog). Files and --jobs are the caller's.
std::vector<std::string> BatchCommandArguments(const BatchOptions& options);

// The level value as the dialog keeps it: -30..0 with Normalise, -30..10 with Scale.
double clampBatchLevel(double db, bool normalise);
// The de-click summary of the dialog ("Threshold: 3\r\nSuper Passes: None\r\n...").
std::string BatchDeclickSummary(const ScanSettings& scan, int superPasses);
// Wave and APE files below a folder, in name order, sub-folders included; a file is taken
// when its name ends in ".wav" or ".ape", in any case.
std::vector<std::string> BatchFilesIn(const std::string& folder);
bool isBatchInput(const std::string& path);

// Where the run's texts and progress go, and whether the user wants it to stop.
class BatchHost {
  public:
    virtual ~BatchHost() = default;
    virtual void log(const std::string& text, bool red) = 0;
    virtual void progress(int64_t /*position*/, int64_t /*low*/, int64_t /*high*/) {}
    // Runs pending interface events (the dialog's Abort button).
    virtual void pump() {}
    virtual bool abortRequested() const = 0;
};

// The seam for the document during a run: messages and warnings become red log lines, progress
// goes to the host, questions are answered without anyone to ask, and an abort stops each step
// at its next check.
class BatchUi : public UserInterface {
  public:
    explicit BatchUi(BatchHost& host) : host_(host) {}
    void message(const std::string& text, const std::string& caption) override;
    Answer ask(const std::string& text, const std::string& caption, Buttons buttons) override;
    void beep() override {}
    void setStatusPane(int, const std::string&) override {}
    void progressBegin(const std::vector<std::string>&) override { ++shown_; }
    void progressEnd() override { shown_ = shown_ > 0 ? shown_ - 1 : 0; }
    bool progressShown() const override { return shown_ > 0; }
    void setTaskText(int, const std::string&) override {}
    void setCurrentTask(int) override {}
    void markTask(int) override {}
    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPosition(int64_t position) override;
    void setProgressText(int, const std::string&) override {}
    bool pumpAndTakeCancel() override;
    bool stopRequested() const override { return host_.abortRequested(); }

  private:
    BatchHost& host_;
    int shown_ = 0;
    int64_t low_ = 0, high_ = 0;
};

struct BatchFileResult {
    enum class Outcome { Saved, NotOpened, Failed, Aborted };
    Outcome outcome = Outcome::Failed;
    std::string output; // the file written
    int clicks = 0;
};

// One file of a run, in a document that uses a BatchUi over the same host. The document is
// emptied afterwards; the input is only ever read.
BatchFileResult ProcessBatchFile(CMorvath3Doc& doc, BatchHost& host, const std::string& input,
                                 const BatchOptions& options);

// The path a file is saved under, and whether it had to step aside from the input's own name.
struct BatchOutputName {
    std::string path;
    bool besideInput = false; // "~~~" was appended: the input keeps its name
};
BatchOutputName batchOutputName(const std::string& input, const BatchOptions& options);

struct BatchSummary {
    int saved = 0;
    int failed = 0;
    bool aborted = false;
};

// The whole list, one file after another in one document, with the closing log line.
BatchSummary RunBatch(CMorvath3Doc& doc, BatchHost& host, const std::vector<std::string>& files,
                      const BatchOptions& options);

// The log's closing lines.
constexpr const char* kBatchDoneLine = "----All Done----\r\n";
constexpr const char* kBatchAbortedLine = "----Batch operation aborted----\r\n";
constexpr const char* kBatchAbortingLine =
    "All further processing will be aborted. Please Wait\r\n";

} // namespace tarnival
