#include "insole/element_settings.h"

#include "base/settings.h"

#include <string>

namespace {

// The side as the file keeps it: 0 found, 1 left, 2 right.
constexpr double SIDE_CODES[] = {0, 1, 2};
constexpr SideChoice SIDES[] = {SideChoice::Automatic, SideChoice::Left, SideChoice::Right};

struct Field {
    const char* key;
    double ElementSettings::*value;
    const ElementRange* range;
};

const Field FIELDS[] = {
    {"met_pad_mm", &ElementSettings::metPadHeightMm, &MET_PAD_HEIGHT_MM},
    {"met_pad_offset_mm", &ElementSettings::metPadOffsetMm, &MET_PAD_OFFSET_MM},
    {"met_bar_mm", &ElementSettings::metBarHeightMm, &MET_BAR_HEIGHT_MM},
    {"arch_mm", &ElementSettings::archHeightMm, &ARCH_HEIGHT_MM},
    {"heel_cup_mm", &ElementSettings::heelCupHeightMm, &HEEL_CUP_HEIGHT_MM},
    {"heel_cup_width_mm", &ElementSettings::heelCupWidthMm, &HEEL_CUP_WIDTH_MM},
    {"rearfoot_post_deg", &ElementSettings::rearfootPostDegrees, &REARFOOT_POST_DEGREES},
};

struct Switch {
    const char* key;
    bool ElementSettings::*on;
};

const Switch SWITCHES[] = {
    {"met_pad", &ElementSettings::metPad},   {"met_bar", &ElementSettings::metBar},
    {"arch", &ElementSettings::arch},        {"heel_cup", &ElementSettings::heelCup},
    {"rearfoot_post", &ElementSettings::rearfootPost},
};

}  // namespace

ElementSettings readElementSettings(const char* path)
{
    ElementSettings settings;
    readSettingLines(path, [&settings](std::string_view key, double v) {
        if (key == "side") {
            for (int i = 0; i < 3; ++i) {
                if (v == SIDE_CODES[i]) {
                    settings.side = SIDES[i];
                }
            }
            return;
        }
        for (const Switch& s : SWITCHES) {
            if (key == s.key && (v == 0.0 || v == 1.0)) {
                settings.*(s.on) = v == 1.0;
            }
        }
        for (const Field& f : FIELDS) {
            if (key == f.key && v >= f.range->minimum && v <= f.range->maximum) {
                settings.*(f.value) = v;
            }
        }
    });
    return settings;
}

bool writeElementSettings(const char* path, const ElementSettings& settings)
{
    std::string text;
    for (int i = 0; i < 3; ++i) {
        if (settings.side == SIDES[i]) {
            text += "side " + formatDecimal(SIDE_CODES[i]) + "\n";
        }
    }
    for (const Switch& s : SWITCHES) {
        text += std::string(s.key) + (settings.*(s.on) ? " 1\n" : " 0\n");
    }
    for (const Field& f : FIELDS) {
        text += std::string(f.key) + " " + formatDecimal(settings.*(f.value)) + "\n";
    }
    return writeSettingsText(path, text);
}
