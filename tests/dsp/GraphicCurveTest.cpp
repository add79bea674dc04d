#include "dsp/GraphicCurve.h"
#include "FilterRig.h"
#include "document/Settings.h"
#include "dsp/FilterChain.h"

#include <gtest/gtest.h>

using namespace tarnival;
using namespace tarnival::test;

namespace {

const GraphCurve kTilt{{0, 0, 0}, {128, 0, 12}, {255, 0, 12}};

std::vector<uint8_t> stored(const MemoryProfile& p, const std::string& name) {
    return p.getBinary(settings::kFiltersSection, name).value_or(std::vector<uint8_t>{});
}

} // namespace

TEST(GraphicCurve, SaveListReloadAndDelete) {
    MemoryProfile settings;
    ScriptedUi ui;
    ASSERT_TRUE(SaveCurve(settings, ui, "Tilt", kTilt, 44100, true));
    ASSERT_TRUE(SaveCurve(settings, ui, "Flat", FlatCurve(), 44100, true));
    EXPECT_EQ(ListCurves(settings), (std::vector<std::string>{"Tilt", "Flat"}));
    EXPECT_EQ(settings.getString("Filters", "Filt00", ""), "Tilt");
    // The stored form: 4 bytes a point and a trailer holding the rate / 10.
    const std::vector<uint8_t> bytes = stored(settings, "Tilt");
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4, bytes.begin() + 8),
              (std::vector<uint8_t>{128, 0, 12, 0}));
    EXPECT_EQ(bytes[14] | bytes[15] << 8, 4410);
    EXPECT_EQ(LoadCurve(settings, ui, "Tilt", 44100), kTilt);
    EXPECT_EQ(LoadCurve(settings, ui, "Missing", 44100), FlatCurve());
    EXPECT_EQ(LoadCurve(settings, ui, "", 44100), FlatCurve());

    // An existing name: No leaves everything as it was, Yes stores the new curve in place.
    const GraphCurve cut{{0, 0, 3}, {255, 0, 3}};
    ui.answers = {Answer::No};
    EXPECT_FALSE(SaveCurve(settings, ui, "Tilt", cut, 44100, true));
    EXPECT_EQ(LoadCurve(settings, ui, "Tilt", 44100), kTilt);
    EXPECT_EQ(ui.questions.back(),
              "The Filter, \"Tilt\" already exists. Do you want to overwrite it?");
    EXPECT_TRUE(SaveCurve(settings, ui, "Tilt", cut, 44100, true));
    EXPECT_EQ(LoadCurve(settings, ui, "Tilt", 44100), cut);
    EXPECT_EQ(ListCurves(settings), (std::vector<std::string>{"Tilt", "Flat"}));

    ui.answers = {Answer::No};
    EXPECT_FALSE(DeleteCurve(settings, ui, "Tilt"));
    EXPECT_TRUE(DeleteCurve(settings, ui, "Tilt"));
    EXPECT_EQ(ListCurves(settings), std::vector<std::string>{"Flat"});
    EXPECT_EQ(LoadCurve(settings, ui, "Tilt", 44100), FlatCurve());
    EXPECT_TRUE(SaveCurve(settings, ui, "Bright", kTilt, 44100, false));
    EXPECT_EQ(settings.getString("Filters", "Filt00", ""), "Bright"); // the freed slot

    // Names the store cannot keep.
    EXPECT_FALSE(SaveCurve(settings, ui, "", kTilt, 44100, true));
    EXPECT_FALSE(SaveCurve(settings, ui, "Filt07", kTilt, 44100, true));
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[0].find("You have not specified a name") == 0);
}

TEST(GraphicCurve, GainsFollowTheCurveInDecibels) {
    std::array<float, kBins> gains{};
    CurveToGains(kTilt, gains);
    EXPECT_FLOAT_EQ(gains[0], 1.0f);
    EXPECT_NEAR(gains[64], std::pow(10.0, -0.3), 1e-6); // level 6 halfway up the slope
    for (int k = 128; k < kBins; ++k) EXPECT_NEAR(gains[k], std::pow(10.0, -0.6), 1e-6);
    // A boost and a vertical step (two points on one bin).
    CurveToGains({{0, 0, -6}, {50, 0, -6}, {50, 0, 20}, {255, 0, 20}}, gains);
    EXPECT_NEAR(gains[49], std::pow(10.0, 0.3), 1e-6);
    EXPECT_NEAR(gains[50], 0.1, 1e-6);
}

TEST(GraphicCurve, AnotherRateMovesThePointsToTheirFrequencies) {
    GraphCurve saved{{0, 0, 0}, {100, 0, 5}, {234, 0, 7}, {236, 0, 9}, {250, 0, 2}, {255, 0, 2}};
    CurveReading r = DecodeCurve(EncodeCurve(saved, 48000), 44100);
    ASSERT_TRUE(r.problem.empty());
    // 100 -> 108 (100 x 48000 / 44100 = 108.8), 234 -> 254, beyond 235 -> 255 (one point).
    EXPECT_EQ(r.curve, (GraphCurve{{0, 0, 0}, {108, 0, 5}, {254, 0, 7}, {255, 0, 9}}));
    // The other way the last point falls short of 255 and is carried there.
    r = DecodeCurve(EncodeCurve(kTilt, 44100), 48000);
    EXPECT_EQ(r.curve, (GraphCurve{{0, 0, 0}, {117, 0, 12}, {234, 0, 12}, {255, 0, 12}}));
    // Without a trailer the points are kept as they are.
    std::vector<uint8_t> bare = EncodeCurve(kTilt, 44100);
    bare.resize(bare.size() - 4);
    EXPECT_EQ(DecodeCurve(bare, 48000).curve, kTilt);
}

TEST(GraphicCurve, DamagedStoredCurvesGiveAMessage) {
    const std::vector<std::vector<uint8_t>> damaged = {
        {0, 0, 0},                                      // not whole points
        {0, 0, 0, 0, 0, 0, 0x3A, 0x11},                 // one point and a trailer
        {5, 0, 0, 0, 255, 0, 0, 0},                     // starts above bin 0
        {0, 0, 0, 0, 200, 0, 0, 0, 100, 0, 0, 0},       // out of order
        {0, 0, 0, 0x80, 255, 0, 0, 0},                  // a boost of 32768 dB
        {0, 0, 0, 0, 255, 0, 0xA1, 0x0F, 255, 0, 0, 0}, // a trailer-sized level mid-curve
    };
    for (const auto& bytes : damaged) {
        MemoryProfile settings;
        ScriptedUi ui;
        settings.setString("Filters", "Filt00", "Bad");
        settings.setBinary("Filters", "Bad", bytes);
        EXPECT_EQ(LoadCurve(settings, ui, "Bad", 44100), FlatCurve());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].find("The Filter, \"Bad\" is damaged"), 0u);
        FilterState state;
        EXPECT_FALSE(SelectGraphicFilter(settings, ui, state, "Bad", 44100));
        EXPECT_FALSE(state.settings.GraphicOn);
        EXPECT_FLOAT_EQ(state.tables.GraphicGain[100], 1.0f);
    }
}

TEST(GraphicCurve, ChosenCurveShapesTheRightBins) {
    // 40 dB off from bin 100 up: a tone at bin 150 goes, one at bin 40 stays.
    MemoryProfile settings;
    ScriptedUi ui;
    ASSERT_TRUE(SaveCurve(settings, ui, "Dull", {{0, 0, 0}, {99, 0, 0}, {100, 0, 40}, {255, 0, 40}},
                          44100, false));
    const double low = 40 * 44100.0 / 512, high = 150 * 44100.0 / 512;
    Stereo audio = tone(2 * 44100, low, 5000);
    mix(audio, tone(2 * 44100, high, 5000));
    FilterRig rig(audio);
    ASSERT_TRUE(SelectGraphicFilter(settings, ui, rig.state, "Dull", 44100));
    EXPECT_EQ(rig.state.settings.GraphicName, "Dull");
    FilterContext ctx = rig.ctx();
    RunSpectralFilter(ctx, CurrentRange(ctx), kModeGraphic, 0);
    const Stereo out = rig.working();
    EXPECT_NEAR(db(amplitudeAt(out, low, 4410, 80000) / 5000), 0.0, 0.1);
    EXPECT_NEAR(db(amplitudeAt(out, high, 4410, 80000) / 5000), -40.0, 1.0);
    EXPECT_FALSE(SelectGraphicFilter(settings, ui, rig.state, "Unknown", 44100));
    ASSERT_FALSE(ui.messages.empty()) << "a missing filter is named, not passed over in silence";
    EXPECT_EQ(ui.messages.back(), "There is no graphic filter called \"Unknown\".");
}
