#include "dsp/GraphicCurve.h"
#include "document/Profile.h"
#include "document/Settings.h"

#include <cmath>
#include <cstdio>

namespace tarnival {

namespace {

using settings::kFiltersSection;

std::string quoted(const char* fmt, const std::string& name) {
    std::vector<char> text(name.size() + 200);
    std::snprintf(text.data(), text.size(), fmt, name.c_str());
    return text.data();
}

// The slot holding name, or -1.
int slotOf(const Profile& settings, const std::string& name) {
    for (int i = 0; i < settings::kFilterSlots; ++i)
        if (settings.getString(kFiltersSection, FilterSlotKey(i), "") == name) return i;
    return -1;
}

// A name of the slot form would share its key with a slot and overwrite a name list entry.
bool isSlotKey(const std::string& name) {
    for (int i = 0; i < settings::kFilterSlots; ++i)
        if (name == FilterSlotKey(i)) return true;
    return false;
}

} // namespace

GraphCurve FlatCurve() {
    return {GraphPoint{0, 0, 0}, GraphPoint{255, 0, 0}};
}

std::vector<uint8_t> EncodeCurve(const GraphCurve& curve, int rate) {
    std::vector<uint8_t> bytes;
    bytes.reserve(4 * (curve.size() + 1));
    auto put = [&](const GraphPoint& p) {
        const auto level = static_cast<uint16_t>(p.level);
        bytes.insert(bytes.end(), {p.x, 0, static_cast<uint8_t>(level & 0xFF),
                                   static_cast<uint8_t>(level >> 8)});
    };
    for (const GraphPoint& p : curve) put(p);
    put(GraphPoint{0, 0, static_cast<int16_t>(rate / 10)});
    return bytes;
}

CurveReading DecodeCurve(const std::vector<uint8_t>& bytes, int rate) {
    CurveReading r;
    if (bytes.size() % 4 != 0) {
        r.problem = "its length is not a whole number of points";
        return r;
    }
    GraphCurve& c = r.curve;
    for (size_t i = 0; i < bytes.size(); i += 4)
        c.push_back(GraphPoint{bytes[i], bytes[i + 1],
                               static_cast<int16_t>(bytes[i + 2] | (bytes[i + 3] << 8))});
    int storedRate = rate;
    if (!c.empty() && c.back().level > kTrailerLevel) {
        storedRate = c.back().level * 10;
        c.pop_back();
    }
    if (c.size() < 2) {
        r.problem = "it holds fewer than two points";
    } else if (c.front().x != 0) {
        r.problem = "its first point is not at the lowest frequency";
    } else {
        for (size_t i = 0; i < c.size() && r.problem.empty(); ++i) {
            if (i > 0 && c[i].x < c[i - 1].x) r.problem = "its points are out of order";
            if (c[i].level > kTrailerLevel || c[i].level < kLowestLevel)
                r.problem = "a level is out of range";
        }
    }
    if (!r.problem.empty()) {
        c.clear();
        return r;
    }
    if (storedRate != rate) {
        for (GraphPoint& p : c)
            p.x = static_cast<uint8_t>(std::min<int64_t>(255, int64_t{p.x} * storedRate / rate));
        while (c.size() > 2 && c[c.size() - 2].x == 255) c.pop_back();
    }
    if (c.back().x < 255) c.push_back(GraphPoint{255, 0, c.back().level});
    return r;
}

std::string FilterSlotKey(int slot) {
    char key[16];
    std::snprintf(key, sizeof key, "Filt%02u", static_cast<unsigned>(slot));
    return key;
}

std::vector<std::string> ListCurves(const Profile& settings) {
    std::vector<std::string> names;
    for (int i = 0; i < settings::kFilterSlots; ++i) {
        std::string name = settings.getString(kFiltersSection, FilterSlotKey(i), "");
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

GraphCurve LoadCurve(const Profile& settings, UserInterface& ui, const std::string& name,
                     int rate) {
    if (name.empty()) return FlatCurve();
    auto value = settings.getBinary(kFiltersSection, name);
    if (!value || value->empty()) return FlatCurve();
    CurveReading r = DecodeCurve(*value, rate);
    if (!r.problem.empty()) {
        ui.message(quoted("The Filter, \"%s\" is damaged and cannot be used: ", name) + r.problem +
                   ".");
        return FlatCurve();
    }
    return r.curve;
}

bool SaveCurve(Profile& settings, UserInterface& ui, const std::string& name,
               const GraphCurve& curve, int rate, bool askOverwrite) {
    if (name.empty()) {
        ui.message("You have not specified a name for the new filter. Enter a new name before "
                   "saving.");
        return false;
    }
    if (isSlotKey(name)) {
        ui.message(
            quoted("The name \"%s\" is reserved. Enter a different name before saving.", name));
        return false;
    }
    int slot = slotOf(settings, name);
    if (slot >= 0) {
        if (askOverwrite &&
            ui.ask(quoted("The Filter, \"%s\" already exists. Do you want to overwrite it?", name),
                   "Tarnival", Buttons::YesNo) != Answer::Yes)
            return false;
        settings.setString(kFiltersSection, FilterSlotKey(slot), "");
    }
    int free = -1;
    for (int i = 0; i < settings::kFilterSlots && free < 0; ++i)
        if (settings.getString(kFiltersSection, FilterSlotKey(i), "").empty()) free = i;
    if (free < 0) {
        ui.message("All 100 places for saved filters are taken. Delete a filter before saving a "
                   "new one.");
        return false;
    }
    settings.setString(kFiltersSection, FilterSlotKey(free), name);
    settings.setBinary(kFiltersSection, name, EncodeCurve(curve, rate));
    return true;
}

bool DeleteCurve(Profile& settings, UserInterface& ui, const std::string& name) {
    if (ui.ask(quoted("The Filter, \"%s\" will be permanently deleted. Really delete?", name),
               "Tarnival", Buttons::YesNo) != Answer::Yes)
        return false;
    for (int slot = slotOf(settings, name); slot >= 0; slot = slotOf(settings, name))
        settings.setString(kFiltersSection, FilterSlotKey(slot), "");
    // The store has no removal: an empty value reads as a missing one.
    settings.setBinary(kFiltersSection, name, {});
    return true;
}

void CurveToGains(const GraphCurve& curve, std::array<float, kBins>& gains) {
    std::array<double, kBins> level{};
    if (curve.empty()) {
        gains.fill(1.0f);
        return;
    }
    level.fill(curve.back().level);
    for (size_t i = 0; i + 1 < curve.size(); ++i) {
        const int x0 = curve[i].x, x1 = curve[i + 1].x;
        const double l0 = curve[i].level, l1 = curve[i + 1].level;
        for (int j = x0; j < x1; ++j) level[j] = (j - x0) * (l1 - l0) / (x1 - x0) + l0;
    }
    level[kBins - 1] = curve.back().level;
    for (int j = 0; j < kBins; ++j) gains[j] = static_cast<float>(std::pow(10.0, -0.05 * level[j]));
}

bool SelectGraphicFilter(const Profile& settings, UserInterface& ui, FilterState& state,
                         const std::string& name, int rate) {
    auto value = name.empty() || slotOf(settings, name) < 0
                     ? std::nullopt
                     : settings.getBinary(kFiltersSection, name);
    if (!value || value->empty()) {
        ui.message(quoted("There is no graphic filter called \"%s\".", name));
        return false;
    }
    CurveReading r = DecodeCurve(*value, rate);
    if (!r.problem.empty()) {
        ui.message(quoted("The Filter, \"%s\" is damaged and cannot be used: ", name) + r.problem +
                   ".");
        return false;
    }
    CurveToGains(r.curve, state.tables.GraphicGain);
    state.settings.GraphicName = name;
    state.settings.GraphicOn = true;
    return true;
}

} // namespace tarnival
