#include "output/NamingRules.h"
#include "document/Profile.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace tarnival::test {
namespace {

Track tagged(const std::string& title, const std::string& artist = "",
             const std::string& album = "", const std::string& genre = "") {
    Track t;
    t.title = title;
    t.artist = artist;
    t.album = album;
    t.genre = genre;
    return t;
}

TEST(NamingRules, ExpansionExamples) {
    EXPECT_EQ(ExpandNamingRule("INPUTcor#", tagged(""), "Side A", 3), "Side Acor03");
    EXPECT_EQ(ExpandNamingRule("# - TITLE", tagged("AC/DC: Live?"), "x", 7), "07 - AC-DC- Live-");
    // Number 0 is two spaces; three digits are kept.
    EXPECT_EQ(ExpandNamingRule("# - TITLE", tagged("Song"), "x", 0), "   - Song");
    EXPECT_EQ(ExpandNamingRule("#", tagged(""), "x", 123), "123");
    // A "#" inside a value gets the number too.
    EXPECT_EQ(ExpandNamingRule("TITLE", tagged("Take #"), "x", 4), "Take 04");
    // Empty tags become "Unknown ..." stand-ins.
    EXPECT_EQ(ExpandNamingRule("ARTIST-TITLE", tagged("Song"), "x", 1), "Unknown Artist-Song");
    EXPECT_EQ(ExpandNamingRule("album genre", tagged(""), "x", 1), "Unknown Album Unknown Genre");
    // All three spellings of a word, and a word inside other text.
    EXPECT_EQ(ExpandNamingRule("Artist ARTIST artist Artists", tagged("", "Bo"), "x", 1),
              "Bo Bo Bo Bos");
    // A typed "%" before a word stays in front of the value.
    EXPECT_EQ(ExpandNamingRule("%title", tagged("Song"), "x", 1), "%Song");
    // Every character that does not belong in a name becomes "-".
    EXPECT_EQ(ExpandNamingRule("TITLE", tagged("a<b>c:d\"e/f|g*h?i"), "x", 1), "a-b-c-d-e-f-g-h-i");
    // A value is not expanded again, so tags holding placeholder text come out as they are.
    EXPECT_EQ(ExpandNamingRule("ALBUM TITLE", tagged("Song", "", "%title"), "x", 1), "%title Song");
}

TEST(NamingRules, FoldersComeOnlyFromTheRule) {
    EXPECT_EQ(ExpandNamingRule("ALBUM\\# - TITLE", tagged("Song", "", "Disc"), "x", 2),
              "Disc/02 - Song");
    EXPECT_EQ(ExpandNamingRule("ALBUM\\TITLE", tagged("Song"), "x", 2), "Unknown Album/Song");
    // Tag values cannot make folders, climb out of the output folder or become absolute.
    EXPECT_EQ(ExpandNamingRule("TITLE", tagged("..\\..\\etc\\passwd"), "x", 1), "..-..-etc-passwd");
    EXPECT_EQ(ExpandNamingRule("ALBUM\\TITLE", tagged("Song", "", ".."), "x", 1), "--/Song");
    EXPECT_EQ(ExpandNamingRule("ALBUM\\TITLE", tagged(".", "", "A/B"), "x", 1), "A-B/-");
    EXPECT_EQ(ExpandNamingRule("\\\\TITLE\\", tagged("Song"), "x", 1), "Song");
    EXPECT_EQ(ExpandNamingRule("TITLE", tagged(std::string("a\nb\0c", 5)), "x", 1), "a-b-c");

    // A backslash rule writes into a subfolder of the output folder.
    TempDir dir;
    TrackList tracks;
    tracks.tracks.push_back(tagged("One", "", "Disc"));
    tracks.tracks.push_back(tagged("Two", "", "Disc"));
    NamingInput in;
    in.rule = "ALBUM\\# - TITLE";
    in.outputFolder = dir.path().string() + "/";
    in.selected = {1, 2};
    OutputNames names = BuildOutputNames(in, tracks);
    ASSERT_EQ(names.paths.size(), 2u);
    EXPECT_EQ(names.paths[0], in.outputFolder + "Disc/01 - One.wav");
    EXPECT_EQ(names.paths[1], in.outputFolder + "Disc/02 - Two.wav");
}

TEST(NamingRules, Numbering) {
    // Place in the list, or consecutive along the selection.
    EXPECT_EQ(NumberTracks({2, 4, 5}, 1, false, -1), (std::vector<int>{2, 4, 5}));
    EXPECT_EQ(NumberTracks({2, 4, 5}, 1, true, -1), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(NumberTracks({2, 4, 5}, 10, false, -1), (std::vector<int>{11, 13, 14}));
    EXPECT_EQ(NumberTracks({2, 4, 5}, 10, true, -1), (std::vector<int>{10, 11, 12}));
    // One track with a fixed number keeps it unless renumbered.
    EXPECT_EQ(NumberTracks({1}, 5, false, 9), (std::vector<int>{9}));
    EXPECT_EQ(NumberTracks({1}, 5, false, 0), (std::vector<int>{0}));
    EXPECT_EQ(NumberTracks({1}, 5, true, 9), (std::vector<int>{5}));

    EXPECT_EQ(fixedTrackNumber(1, ""), 0);
    EXPECT_EQ(fixedTrackNumber(1, "7"), 7);
    EXPECT_EQ(fixedTrackNumber(1, "3/12"), 3);
    EXPECT_EQ(fixedTrackNumber(1, "99999999999999999999"), 0);
    EXPECT_EQ(fixedTrackNumber(3, "7"), -1);
    EXPECT_TRUE(defaultConsecutive(1, 0));
    EXPECT_FALSE(defaultConsecutive(1, 4));
    EXPECT_FALSE(defaultConsecutive(3, -1));
    EXPECT_EQ(startNumberFromText("0"), 1);
    EXPECT_EQ(startNumberFromText("12"), 12);
    EXPECT_EQ(startNumberFromText(""), 1);
}

TEST(NamingRules, BuildingNamesFlagsDuplicatesUnknownsAndExisting) {
    TempDir dir;
    TrackList tracks;
    tracks[0].album = "LP";
    tracks.tracks.push_back(tagged("Same", "A", "LP"));
    tracks.tracks.push_back(tagged("Same", "", "LP"));
    tracks.tracks.push_back(tagged("Other", "B", "LP"));
    NamingInput in;
    in.outputFolder = dir.path().string() + "/";
    in.inputName = "side";
    in.rule = "TITLE";
    in.selected = {1, 2, 3};
    OutputNames names = BuildOutputNames(in, tracks);
    EXPECT_TRUE(names.duplicates);
    EXPECT_FALSE(names.okEnabled());
    EXPECT_EQ(duplicatePaths(names.paths), (std::vector<size_t>{0, 1}));
    EXPECT_FALSE(names.unknownTags);

    in.rule = "ARTIST-TITLE";
    writeFile(in.outputFolder + "A-Same.wav", {1, 2, 3});
    names = BuildOutputNames(in, tracks);
    EXPECT_FALSE(names.duplicates);
    EXPECT_TRUE(names.okEnabled());
    EXPECT_TRUE(names.unknownTags);
    EXPECT_TRUE(names.someFileExists);
    EXPECT_EQ(names.listLines,
              (std::vector<std::string>{"*A-Same.wav", "Unknown Artist-Same.wav", "B-Other.wav"}));
    EXPECT_EQ(names.numbers, (std::vector<int>{1, 2, 3}));

    in.selected.clear();
    EXPECT_FALSE(BuildOutputNames(in, tracks).okEnabled());

    EXPECT_EQ(outputExtension(1239, false, "mp3"), ".wav");
    EXPECT_EQ(outputExtension(1240, false, "mp3"), ".ape");
    EXPECT_EQ(outputExtension(1241, false, "mp3"), ".ogg");
    EXPECT_EQ(outputExtension(1239, true, "mp3"), ".mp3");
    EXPECT_EQ(defaultOutputFolder("", "/music/in/side.a.wav"), "/music/in/");
    EXPECT_EQ(defaultOutputFolder("/out", "/music/in/side.wav"), "/out/");
    EXPECT_EQ(defaultOutputFolder("/out/", "/music/in/side.wav"), "/out/");
    EXPECT_EQ(inputNameOf("/music/in/side.a.wav"), "side.a");
}

TEST(NamingRules, RuleChoicesAndRecentRules) {
    MemoryProfile profile;
    EXPECT_EQ(initialNamingRule(profile), "INPUTcor#");
    EXPECT_EQ(namingRuleChoices(profile).size(), 6u);

    rememberNamingRule(profile, "TITLE"); // a preset: not added to the recent rules
    EXPECT_EQ(profile.getString("Settings", "Rule1", ""), "");
    EXPECT_EQ(initialNamingRule(profile), "TITLE");
    for (const char* rule : {"A#", "B#", "C#", "B#", "D#"}) rememberNamingRule(profile, rule);
    EXPECT_EQ(profile.getString("Settings", "Rule1", ""), "B#");
    EXPECT_EQ(profile.getString("Settings", "Rule2", ""), "C#");
    EXPECT_EQ(profile.getString("Settings", "Rule3", ""), "D#");
    EXPECT_EQ(profile.getString("Settings", "NamingRule", ""), "D#");
    std::vector<std::string> choices = namingRuleChoices(profile);
    ASSERT_EQ(choices.size(), 9u);
    EXPECT_EQ(choices[4], "ALBUM\\# - TITLE");
    EXPECT_EQ(choices[8], "D#");

    EXPECT_EQ(trackRowText(3, 44100 * 4 * 75, 44100, "Song"), "Track 3    1:15   Song");
    EXPECT_EQ(trackRowText(0, 48000 * 4 * 5, 48000, "X"), " ---            0:05   X");
}

} // namespace
} // namespace tarnival::test
