// The batch run over a list of generated sides, with one document, as the dialog and the command
// line run it.
#include "batch/BatchProcessor.h"
#include "facade/Document.h"
#include "support/AudioDecoding.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnival {
namespace {

namespace fs = std::filesystem;
using test::Stereo;
using test::TempDir;

// Records the log and aborts when a chosen line arrives.
struct RecordingHost : BatchHost {
    std::vector<std::pair<std::string, bool>> lines;
    std::function<bool(const std::string&)> abortOn;
    bool abort = false;
    int pumps = 0;
    void log(const std::string& text, bool red) override {
        lines.emplace_back(text, red);
        if (abortOn && abortOn(text)) abort = true;
    }
    void pump() override { ++pumps; }
    bool abortRequested() const override { return abort; }
    std::string text() const {
        std::string all;
        for (const auto& l : lines) all += l.first;
        return all;
    }
};

// A side: quiet lead-in and run-out around music with clicks.
Stereo side(uint32_t seed, double level = 6000) {
    Stereo a = test::silence(44100 * 3);
    Stereo m = test::music(44100 * 8, 44100, seed, level);
    test::addClicks(m, 20, 20000, 44100 * 8 - 20000, seed + 9);
    test::append(a, m);
    test::append(a, test::silence(44100 * 3));
    return a;
}

Stereo wavSamples(const std::string& path) {
    std::vector<uint8_t> bytes = test::readFile(path);
    for (size_t i = 12; i + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[i + 4], 4);
        if (std::memcmp(&bytes[i], "data", 4) == 0) {
            Stereo s(std::min<size_t>(size, bytes.size() - i - 8) / 2);
            std::memcpy(s.data(), &bytes[i + 8], s.size() * 2);
            return s;
        }
        i += 8 + size + (size & 1);
    }
    return {};
}

// A log line against a pattern in which '*' stands for any text (a number the run reports).
bool matches(const std::string& line, const std::string& pattern) {
    const size_t star = pattern.find('*');
    if (star == std::string::npos) return line == pattern;
    const std::string head = pattern.substr(0, star), tail = pattern.substr(star + 1);
    return line.size() >= head.size() + tail.size() && line.compare(0, head.size(), head) == 0 &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
}

int peakOf(const Stereo& s) {
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int{v}));
    return peak;
}

struct Batch {
    TempDir dir;
    MemoryProfile profile;
    RecordingHost host;
    std::unique_ptr<BatchUi> ui;
    std::unique_ptr<CMorvath3Doc> doc;
    BatchOptions options;

    Batch() {
        profile.setInt("Settings", "Temp Mode", ids::kTempUser);
        fs::create_directories(dir.path() / "temp");
        profile.setString("Settings", "Temp Path", dir.file("temp"));
        ui = std::make_unique<BatchUi>(host);
        doc = std::make_unique<CMorvath3Doc>(profile, *ui);
        options.scan.sensitivity = 3;
        options.outputPath = dir.file("out");
        fs::create_directories(options.outputPath);
    }
    BatchSummary run(const std::vector<std::string>& files) {
        return RunBatch(*doc, host, files, options);
    }
    std::vector<std::string> outputs() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(options.outputPath))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(BatchRun, EveryStepOnThreeSidesWithADamagedOneInTheMiddle) {
    Batch b;
    std::vector<std::string> files;
    for (int i = 1; i <= 4; ++i) {
        files.push_back(b.dir.file("side" + std::to_string(i) + ".wav"));
        if (i == 2) {
            test::writeFile(files.back(), {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'J', 'U', 'N', 'K'});
            continue;
        }
        Stereo s = side(static_cast<uint32_t>(i), 3000.0 * i);
        // The right channel louder, for the balance to find.
        for (size_t k = 1; k < s.size(); k += 2) s[k] = static_cast<int16_t>(s[k] / 2);
        test::writeWav(files.back(), s);
    }
    std::vector<std::vector<uint8_t>> inputs;
    for (const std::string& f : files) inputs.push_back(test::readFile(f));

    BatchOptions& o = b.options;
    o.removeClicks = true;
    o.superPasses = 1;
    o.filter = true;
    o.filters.RumbleOn = true;
    o.filters.TrebleOn = true;
    o.filters.TrebleLevel = -1;
    o.balanceAuto = true;
    o.normalise = true;
    o.levelDb = -1;
    o.trimSilence = true;
    BatchSummary s = b.run(files);
    EXPECT_EQ(s.saved, 3);
    EXPECT_EQ(s.failed, 1);
    EXPECT_FALSE(s.aborted);

    // The log, line by line, with the numbers it reports left open.
    std::string out = b.options.outputPath + "/";
    std::vector<std::string> expected;
    for (int i = 1; i <= 4; ++i) {
        const std::string in = files[static_cast<size_t>(i - 1)];
        expected.push_back("Opening: " + in + " \r\n");
        if (i == 2) {
            expected.push_back("\t*\r\n"); // why it could not be opened
            expected.push_back("----Error Opening File----\r\n");
            continue;
        }
        for (const char* line :
             {"\tDetecting Clicks: ", "Found: * \r\n", "\tRemoving Clicks\r\n",
              "\tSuperScan Pass 1 of 1 - Detecting Clicks: ", "Found * \r\n",
              "\tSuperScan Pass 1 of 1 - Removing Clicks\r\n", "\tFiltering\r\n",
              "\t\tRumble Filter\r\n", "\t\tTreble Cut\r\n", "\tFinding Maximum Signal\r\n",
              "\tBalancing\r\n", "\tFinding Maximum Signal: ", "Peak = * dB\r\n",
              "\tNormalising\r\n"})
            expected.push_back(line);
        expected.push_back("\tSaving: " + out + "side" + std::to_string(i) + "cor.wav\r\n");
    }
    expected.push_back("----All Done----\r\n");
    ASSERT_EQ(b.host.lines.size(), expected.size()) << b.host.text();
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_TRUE(matches(b.host.lines[k].first, expected[k]))
            << k << ": " << b.host.lines[k].first;
        const bool red = expected[k].find("Error") != std::string::npos || expected[k] == "\t*\r\n";
        EXPECT_EQ(b.host.lines[k].second, red) << k;
    }

    EXPECT_EQ(b.outputs(),
              (std::vector<std::string>{"side1cor.wav", "side3cor.wav", "side4cor.wav"}));
    for (int i : {1, 3, 4}) {
        SCOPED_TRACE(i);
        Stereo result = wavSamples(out + "side" + std::to_string(i) + "cor.wav");
        // Trimmed to the music and a second either side; the peak at -1 dB.
        EXPECT_NEAR(static_cast<double>(result.size()) / 2, 44100 * 10, 44100 * 0.5);
        EXPECT_NEAR(peakOf(result), std::pow(10.0, -1.0 / 20) * 32768, 2);
        // Balanced: both channels about equally loud.
        double left = 0, right = 0;
        for (size_t k = 0; k + 1 < result.size(); k += 2) {
            left += std::abs(result[k]);
            right += std::abs(result[k + 1]);
        }
        EXPECT_NEAR(left / right, 1.0, 0.1);
    }
    for (size_t k = 0; k < files.size(); ++k) EXPECT_EQ(test::readFile(files[k]), inputs[k]);
    // The working files went with each file.
    EXPECT_TRUE(fs::is_empty(b.dir.path() / "temp"));
}

TEST(BatchRun, AbortWhileFilteringTheSecondSkipsItsSaveAndTheRest) {
    Batch b;
    std::vector<std::string> files;
    for (int i = 1; i <= 3; ++i) {
        files.push_back(b.dir.file("s" + std::to_string(i) + ".wav"));
        test::writeWav(files.back(), side(static_cast<uint32_t>(i)));
    }
    b.options.filter = true;
    b.options.filters.HumOn = true;
    b.options.output.fileType = ids::kFileApe;
    int filtering = 0;
    b.host.abortOn = [&](const std::string& line) {
        return line == "\tFiltering\r\n" && ++filtering == 2;
    };
    BatchSummary s = b.run(files);
    EXPECT_TRUE(s.aborted);
    EXPECT_EQ(s.saved, 1);
    EXPECT_EQ(b.outputs(), std::vector<std::string>{"s1cor.ape"});
    const std::string log = b.host.text();
    EXPECT_EQ(log.find("Opening: " + files[2]), std::string::npos);
    EXPECT_EQ(log.find("Saving: " + b.options.outputPath + "/s2cor.ape"), std::string::npos);
    ASSERT_FALSE(b.host.lines.empty());
    EXPECT_EQ(b.host.lines.back(), std::make_pair(std::string(kBatchAbortedLine), true));
    EXPECT_TRUE(fs::is_empty(b.dir.path() / "temp"));
    // The one saved decodes whole.
    test::DecodedAudio ape = test::decodeApe(b.options.outputPath + "/s1cor.ape");
    EXPECT_EQ(ape.error, "");
    EXPECT_EQ(ape.samples.size(), side(1).size());
}

TEST(BatchRun, NormaliseReferencesFullScaleAndClips) {
    // A file whose peak is 16384, normalised to -0.5 dB: every sample times 10^-0.025 x 2.
    Batch b;
    Stereo s = test::silence(44100 * 2);
    for (size_t k = 0; k < s.size(); ++k)
        s[k] = static_cast<int16_t>(16384 * std::sin(static_cast<double>(k / 2) * 0.01));
    const std::string input = b.dir.file("tone.wav");
    test::writeWav(input, s);
    b.options.normalise = true;
    b.options.levelDb = -0.5;
    b.options.output.fileType = ids::kFileWave;
    ASSERT_EQ(b.run({input}).saved, 1);
    Stereo out = wavSamples(b.options.outputPath + "/tonecor.wav");
    ASSERT_EQ(out.size(), s.size());
    const double g = std::pow(10.0, -0.025) * 32768.0 / peakOf(s);
    EXPECT_NEAR(g, 1.888, 0.001);
    for (size_t k = 0; k < s.size(); k += 997) EXPECT_NEAR(out[k], std::trunc(s[k] * g), 1.0) << k;
}

TEST(BatchRun, TheExternalEncoderMakesTheOutputFromTheWave) {
    Batch b;
    const std::string input = b.dir.file("ext.wav");
    test::writeWav(input, side(6));
    b.options.scale = true;
    b.options.levelDb = 0;
    b.options.output.externalEncoder = true;
    b.options.output.encoder = "/bin/cp";
    b.options.output.parameters = "%IN %OUT";
    b.options.output.extension = "copy";
    ASSERT_EQ(b.run({input}).saved, 1) << b.host.text();
    EXPECT_EQ(b.outputs(), std::vector<std::string>{"extcor.copy"});
    // Scaled by 0 dB: the encoder was handed the side itself.
    EXPECT_EQ(wavSamples(b.options.outputPath + "/extcor.copy"), side(6));

    // A template that does not name the input is refused, and logged.
    b.options.output.parameters = "%OUT";
    EXPECT_EQ(b.run({input}).failed, 1);
    EXPECT_NE(b.host.text().find("Invalid Parameters entered."), std::string::npos);
}

TEST(BatchNames, DerivedFromTheInput) {
    struct Case {
        std::string input;
        BatchNaming naming;
        int type;
        std::string outputPath;
        std::string expected;
        bool beside;
    };
    const Case cases[] = {
        {"/m/side1.wav", BatchNaming::AddCor, ids::kFileWave, "", "/m/side1cor.wav", false},
        {"/m/side1.wav", BatchNaming::InputNames, ids::kFileWave, "", "/m/side1.wav~~~", true},
        {"/m/SIDE1.WAV", BatchNaming::InputNames, ids::kFileWave, "", "/m/SIDE1.wav~~~", true},
        {"/m/side1.wav", BatchNaming::InputNames, ids::kFileWave, "/o", "/o/side1.wav", false},
        {"/m/side1.ape", BatchNaming::InputNames, ids::kFileWave, "", "/m/side1.wav", false},
        {"/m/side1.wav", BatchNaming::AddCor, ids::kFileOgg, "/o/", "/o/side1cor.ogg", false},
        {"/m/a.b.wav", BatchNaming::AddCor, ids::kFileApe, "", "/m/a.bcor.ape", false},
    };
    for (const Case& c : cases) {
        BatchOptions o;
        o.naming = c.naming;
        o.output.fileType = c.type;
        o.outputPath = c.outputPath;
        BatchOutputName n = batchOutputName(c.input, o);
        EXPECT_EQ(n.path, c.expected) << c.input;
        EXPECT_EQ(n.besideInput, c.beside) << c.input;
    }
}

TEST(BatchNames, InputNamesInTheSameFolderNeverReplaceTheInput) {
    Batch b;
    const std::string input = b.dir.file("side.wav");
    test::writeWav(input, side(4));
    const std::vector<uint8_t> before = test::readFile(input);
    b.options.scale = true;
    b.options.levelDb = -6;
    b.options.naming = BatchNaming::InputNames;
    b.options.outputPath.clear();
    ASSERT_EQ(b.run({input}).saved, 1);
    EXPECT_EQ(test::readFile(input), before);
    Stereo scaled = wavSamples(input + "~~~");
    Stereo original = side(4);
    ASSERT_EQ(scaled.size(), original.size());
    EXPECT_NEAR(peakOf(scaled), peakOf(original) * std::pow(10.0, -6.0 / 20), 1.0);
}

TEST(BatchOptionsText, LevelsSummariesAndFolders) {
    EXPECT_EQ(clampBatchLevel(5, true), 0);
    EXPECT_EQ(clampBatchLevel(15, false), 10);
    EXPECT_EQ(clampBatchLevel(-40, true), -30);
    EXPECT_EQ(clampBatchLevel(-40, false), -30);
    EXPECT_EQ(clampBatchLevel(-2.5, true), -2.5);

    ScanSettings s;
    s.sensitivity = 4;
    EXPECT_EQ(BatchDeclickSummary(s, 0),
              "Threshold: 4\r\nSuper Passes: None\r\nPer Channel Mode\r\nNormal Corrections");
    s.mode = ids::kDifferential;
    s.corWidth = ids::kNarrowWidth;
    s.minMagnitude = 2;
    EXPECT_EQ(BatchDeclickSummary(s, 3), "Threshold: 4\r\nSuper Passes: 3\r\nDifferential "
                                         "Mode\r\nNarrow Corrections\r\nAdv. Options set");

    TempDir dir;
    fs::create_directories(dir.path() / "sub" / "deeper");
    for (const char* name : {"a.wav", "sub/b.APE", "sub/deeper/c.Wav", "d.mp3", "sub/e.wave"})
        test::writeFile(dir.file(name), {1});
    EXPECT_EQ(BatchFilesIn(dir.path().string()),
              (std::vector<std::string>{dir.file("a.wav"), dir.file("sub/b.APE"),
                                        dir.file("sub/deeper/c.Wav")}));
}

} // namespace
} // namespace tarnival
