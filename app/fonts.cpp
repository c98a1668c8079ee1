#include "app/fonts.h"

#include <FL/Fl.H>
#include <FL/Enumerations.H>

#include <fontconfig/fontconfig.h>

#include <string>

namespace {

// Characters of the labels that a family must have to be chosen: 讀 存 還 寬 度 限 長 高 例.
constexpr FcChar32 LABEL_CHARACTERS[] = {0x8B80, 0x5B58, 0x9084, 0x5BEC, 0x5EA6, 0x9650, 0x9577, 0x9AD8, 0x4F8B};

bool coversLabels(FcPattern* font)
{
    FcCharSet* characters = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch) {
        return false;
    }
    for (FcChar32 c : LABEL_CHARACTERS) {
        if (!FcCharSetHasChar(characters, c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* useFontForLabels()
{
    static std::string face;  // FLTK keeps the pointer it is given
    if (!FcInit()) {
        return nullptr;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans:lang=zh-tw"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* font = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!font) {
        return nullptr;
    }
    FcChar8* family = nullptr;
    if (coversLabels(font) && FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch) {
        // A leading blank tells FLTK's Xft backend "regular weight, upright".
        face = std::string(" ") + reinterpret_cast<const char*>(family);
        Fl::set_font(FL_HELVETICA, face.c_str());
    }
    FcPatternDestroy(font);
    return face.empty() ? nullptr : face.c_str() + 1;
}
