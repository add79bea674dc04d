// Opening a recording as the user would meet it: refusals that say what is wrong, damaged data
// lengths read sensibly, and the document's own files never taken for a recording.
#include "document/FileError.h"
#include "document/FreeSpace.h"
#include "facade/Document.h"
#include "support/ApeEncoding.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUi;
using test::TempDir;

const std::string kFormatMessage =
    " Incorrect Wave File Format\nOnly 16 bit stereo/44.1kHz or 48kHz Sampling Rate supported. ";

struct Opener {
    TempDir dir;
    MemoryProfile profile;
    ScriptedUi ui;
    std::unique_ptr<CMorvath3Doc> doc;
    explicit Opener(int tempMode = ids::kTempUser) {
        set(profile, settings::kTempMode, tempMode);
        set(profile, settings::kTempPath, dir.path().string());
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
    }
    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
        test::writeFile(dir.file(name), bytes);
        return dir.file(name);
    }
    // The one message an open gave, or what went wrong with the messages.
    std::string refusal(const std::string& path) {
        ui.messages.clear();
        if (doc->OpenWave(path)) return "<opened>";
        return ui.messages.size() == 1 ? ui.messages[0]
                                       : std::to_string(ui.messages.size()) + " messages";
    }
};

test::Stereo tone(int frames) {
    test::Stereo s(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i * 37) % 2000 - 1000);
    return s;
}

TEST(OpenWave, DataChunksWithoutALengthAreReadToTheEndOfTheFile) {
    Opener o;
    const test::Stereo audio = tone(30000);
    const struct {
        uint32_t claimed;
        int extraBytes; // a half frame left over after the audio
    } cases[] = {{0, 0}, {0xFFFFFFFFu, 0}, {0, 3}, {0xFFFFFFFFu, 2}};
    for (const auto& c : cases) {
        auto bytes = test::wavBytes(audio);
        std::memcpy(&bytes[40], &c.claimed, 4);
        bytes.resize(bytes.size() + static_cast<size_t>(c.extraBytes), 0x55);
        ASSERT_EQ(o.refusal(o.put("crashed.wav", bytes)), "<opened>") << c.claimed;
        const WaveLayout& l = o.doc->store.layout;
        EXPECT_EQ(l.dataLength(), 120000) << c.claimed;
        EXPECT_EQ(l.trailingLength, c.extraBytes) << c.claimed;
        ASSERT_TRUE(o.doc->ProcessFile());
        EXPECT_NE(o.doc->StatusReport().find("the audio was read to the end of the file"),
                  std::string::npos)
            << o.doc->StatusReport();
    }
    // A plain file says nothing of the kind.
    ASSERT_EQ(o.refusal(o.put("plain.wav", test::wavBytes(audio))), "<opened>");
    ASSERT_TRUE(o.doc->ProcessFile());
    EXPECT_EQ(o.doc->StatusReport().find("read to the end"), std::string::npos);
}

TEST(OpenWave, RefusalsSayWhatIsWrong) {
    Opener o;
    const auto wave = test::wavBytes(tone(30000));

    // APE files the decoder cannot take: the error code and a sentence.
    std::vector<uint8_t> junkApe(200, 0x41);
    std::memcpy(junkApe.data(), "MAC ", 4);
    junkApe[4] = 3970 & 0xFF, junkApe[5] = 3970 >> 8;
    std::string text = o.refusal(o.put("junk.ape", junkApe));
    EXPECT_EQ(text.rfind("Error opening APE file. (error code ", 0), 0u) << text;
    EXPECT_NE(text.find("It is not an APE file, or its header is damaged."), std::string::npos)
        << text;

    // An APE file of the wrong layout gets the format message and what it holds.
    if (!test::findJmacJar().empty()) {
        test::Stereo mono = tone(30000);
        std::vector<int16_t> left;
        for (size_t i = 0; i < mono.size(); i += 2) left.push_back(mono[i]);
        test::WavOptions one;
        one.channels = 1;
        std::string monoWav = o.put("mono.wav", test::wavBytes(left, one));
        std::string monoApe = o.dir.file("mono.ape");
        ASSERT_EQ(test::encodeApe(monoWav, monoApe), "");
        o.doc->setApeVersionCheck(false);
        EXPECT_EQ(o.refusal(monoApe), kFormatMessage + "\nIt holds 1 channel of 16-bit samples "
                                                       "at 44100 Hz.");
        o.doc->setApeVersionCheck(true);
    }

    // Too little space where the working file goes, as the probe measures it.
    setFreeSpaceProbe([](const std::string&) -> int64_t { return kFreeSpaceReserve + 1000; });
    EXPECT_EQ(o.refusal(o.put("side.wav", wave)),
              "Insufficient space on Drive " + o.dir.path().string());
    setFreeSpaceProbe([](const std::string& folder) -> int64_t {
        throw FileError(folder, "Input/output error");
    });
    EXPECT_EQ(o.refusal(o.dir.file("side.wav")), "Input/output error: " + o.dir.path().string());
    setFreeSpaceProbe({});

    // A working file that cannot be made: the system's reason, with the file.
    fs::create_directory(o.dir.file("side~.wav"));
    text = o.refusal(o.dir.file("side.wav"));
    EXPECT_NE(text.find(o.dir.file("side~.wav")), std::string::npos) << text;
    EXPECT_NE(text.find("in the way"), std::string::npos) << text;
    fs::remove(o.dir.file("side~.wav"));
    // A folder for temporary files that is a file.
    set(o.profile, settings::kTempPath, o.dir.file("side.wav"));
    CMorvath3Doc other(o.profile, o.ui);
    o.ui.messages.clear();
    EXPECT_FALSE(other.OpenWave(o.dir.file("side.wav")));
    ASSERT_EQ(o.ui.messages.size(), 1u);
    EXPECT_EQ(o.ui.messages[0], "Not a directory: " + o.dir.file("side.wav"));
    EXPECT_FALSE(o.doc->isLoaded());
}

TEST(OpenWave, TheOpenDocumentsOwnFilesAreNoRecordings) {
    Opener o;
    const auto wave = test::wavBytes(tone(60000));
    ASSERT_EQ(o.refusal(o.put("side.wav", wave)), "<opened>");
    ASSERT_TRUE(o.doc->ProcessFile());
    const std::string working = o.doc->workingPath();
    const auto before = test::readFile(working);
    // By its own name, and through a link.
    fs::create_symlink(working, o.dir.file("link.wav"));
    for (const std::string& path : {working, o.dir.file("link.wav")}) {
        std::string text = o.refusal(path);
        EXPECT_NE(text.find("is the working copy of the recording that is open now"),
                  std::string::npos)
            << text;
        EXPECT_EQ(o.doc->status(), kReadyToSave) << "the open recording stays as it was";
        EXPECT_EQ(test::readFile(working), before);
    }

    // Another document may not take over a working file in use: two sides called the same in
    // different folders, both with the working files in the system's folder.
    TempDir tmp;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    {
        Opener first(ids::kTempSystem), second(ids::kTempSystem);
        ASSERT_EQ(first.refusal(first.put("side.wav", wave)), "<opened>");
        std::string text = second.refusal(second.put("side.wav", test::wavBytes(tone(1000 * 9))));
        EXPECT_EQ(text, "Another Tarnival is working on " + first.doc->workingPath() + ".");
        ASSERT_TRUE(first.doc->ProcessFile());
        EXPECT_EQ(test::readFile(first.doc->workingPath()).size(), wave.size());
        // Once it is closed the name is free again.
        first.doc->CloseWave();
        EXPECT_EQ(second.refusal(second.dir.file("side.wav")), "<opened>");
    }
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

} // namespace
} // namespace tarnival
