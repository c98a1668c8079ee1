#include "mill/gcode.h"

#include "base/file_replace.h"
#include "base/trace.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <tuple>

namespace {

// A value to the thousandth as its shortest plain decimal ("0.5", "14000", "2.4"), the same
// in every locale.
std::string plain(double value)
{
    value = std::round(value * 1000.0) / 1000.0;
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}


// Where a header line may be broken: after ", " or "; " between the parts of a recipe, or
// failing that at a space that does not part a number from its unit.
bool breaksAfter(const std::string& text, std::size_t space, bool strong)
{
    if (space == 0 || text[space] != ' ') {
        return false;
    }
    if (text[space - 1] == ',' || text[space - 1] == ';') {
        return true;
    }
    if (strong) {
        return false;
    }
    const char before = text[space - 1];
    const bool numberBefore = before >= '0' && before <= '9';
    const char after = space + 1 < text.size() ? text[space + 1] : ' ';
    const bool wordAfter = (after >= 'a' && after <= 'z') || (after >= 'A' && after <= 'Z') || after == '%';
    return !(numberBefore && wordAfter);
}

// A comment over as many lines as it needs, each within GCODE_LINE_LIMIT characters; the
// lines after the first are indented to show that they go on with it.
void comment(std::string& out, const std::string& text)
{
    const std::string clean = gcodeCommentText(text);
    const std::string indent = "  ";
    std::size_t start = 0;
    bool first = true;
    while (start < clean.size() || first) {
        const std::size_t room = GCODE_LINE_LIMIT - 2 - (first ? 0 : indent.size());
        std::size_t end = clean.size();
        if (end - start > room) {
            end = std::string::npos;
            for (bool strong : {true, false}) {
                for (std::size_t space = start + room; space > start && end == std::string::npos; --space) {
                    if (breaksAfter(clean, space, strong)) {
                        end = space;
                    }
                }
            }
            if (end == std::string::npos) {
                end = start + room;  // one word longer than a line: a file name, cut
            }
        }
        out += '(';
        out += first ? "" : indent;
        out.append(clean, start, end - start);
        out += ")\n";
        start = end;
        while (start < clean.size() && clean[start] == ' ') {
            ++start;
        }
        first = false;
    }
}

bool endsWithNoCase(const std::string& name, const std::string& ending)
{
    if (name.size() < ending.size()) {
        return false;
    }
    for (std::size_t i = 0; i < ending.size(); ++i) {
        char c = name[name.size() - ending.size() + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != ending[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string gcodeNumber(double value)
{
    long long thousandths = std::llround(value * 1000.0);
    std::string text;
    if (thousandths < 0) {
        text += '-';
        thousandths = -thousandths;
    }
    text += std::to_string(thousandths / 1000);
    const int fraction = static_cast<int>(thousandths % 1000);
    text += '.';
    text += static_cast<char>('0' + fraction / 100);
    text += static_cast<char>('0' + fraction / 10 % 10);
    text += static_cast<char>('0' + fraction % 10);
    return text;
}

std::string gcodeCommentText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '(') {
            out += '[';
        } else if (c == ')') {
            out += ']';
        } else if (c >= 0x20 && c < 0x7F) {
            out += c;
        } else {
            out += '?';
        }
    }
    return out;
}

std::string gcodeFileName(const std::string& name)
{
    for (const char* ending : {".nc", ".ngc", ".gcode"}) {
        if (endsWithNoCase(name, ending)) {
            return name;
        }
    }
    return name + ".nc";
}

std::string encodeGcode(const Toolpath& path, const GcodeRecipe& recipe)
{
    const MillSetup& s = path.setup;
    const MillFigures& f = path.figures;
    std::string out;
    out.reserve(path.moves.size() * 20 + 2048);
    comment(out, "Tarsola " TARSOLA_VERSION " insole, milled with a ball-end tool");
    comment(out, "Foot file: " + recipe.footFile);
    comment(out, "Insole: width " + plain(recipe.widthMm) + " mm, length " + plain(recipe.lengthMm) +
                     " mm, height ratio " + plain(recipe.heightRatio) + ", 30-degree limit " +
                     (recipe.limit ? "on" : "off"));
    comment(out, "Level: " + plain(recipe.levelMm) + " mm per height level");
    if (!recipe.relief.empty()) {
        comment(out, "Relief: " + recipe.relief);
    }
    // One comment per element, each beginning a line of its own, so that an element is
    // found at a glance however many the prescription has.
    for (std::size_t start = 0; start < recipe.elements.size();) {
        std::size_t end = recipe.elements.find("; ", start);
        if (end == std::string::npos) {
            end = recipe.elements.size();
        }
        comment(out, "Elements: " + recipe.elements.substr(start, end - start));
        start = end + 2;
    }
    comment(out, "Tool: ball end, diameter " + plain(s.toolMm) + " mm, flute length " +
                     plain(s.fluteMm) + " mm; the programmed point is the tip of the ball");
    comment(out, "Finishing: lines along Y " + plain(s.stepoverMm) + " mm apart, scallop " +
                     gcodeNumber(f.scallopMm) + " mm, fillet of " + plain(f.filletMm) +
                     " mm radius at the foot of the outline wall");
    comment(out, "Roughing: step-down " + plain(s.stepdownMm) + " mm, allowance " +
                     plain(s.allowanceMm) + " mm, lines along Y " +
                     plain(f.roughingStepoverMm) + " mm apart, " +
                     std::to_string(f.roughingPasses) + " passes");
    comment(out, "Feed " + plain(s.feed) + " mm/min, plunge feed " + plain(s.plungeFeed) +
                     " mm/min, spindle " + plain(s.rpm) + " rpm, safe height " + plain(s.safeMm) +
                     " mm above the blank");
    comment(out, "Blank: " + gcodeNumber(f.blankXMm) + " x " + gcodeNumber(f.blankYMm) + " x " +
                     gcodeNumber(f.blankZMm) + " mm, corner at X" + gcodeNumber(f.blankMinX) +
                     " Y" + gcodeNumber(f.blankMinY) + "; Z0 is its top, the table is at Z" +
                     gcodeNumber(-f.blankZMm));
    comment(out, "Largest cut: " + gcodeNumber(f.largestCutMm) + " mm of material taken by one move (step-down " +
                     plain(s.stepdownMm) + " mm, allowance " + plain(s.allowanceMm) + " mm)");
    comment(out, "Estimated machining time: " + machiningTime(f.machiningSeconds) + " (rapids at " +
                     plain(MILL_RAPID_FEED) + " mm/min), " + std::to_string(f.moves) + " moves");
    out += "G21 G90 G17\n";
    out += "S" + plain(std::round(s.rpm)) + " M3\n";
    out += "G0 Z" + gcodeNumber(s.safeMm) + "\n";

    // Words that keep their value until changed: written only when they change.
    int motion = 0;
    std::string x, y, z = gcodeNumber(s.safeMm), feed;
    for (const MillMove& m : path.moves) {
        const int word = m.kind == MillMoveKind::Rapid ? 0 : 1;
        const std::string nx = gcodeNumber(m.x), ny = gcodeNumber(m.y), nz = gcodeNumber(m.z);
        std::string line;
        if (word != motion) {
            line += word == 0 ? "G0" : "G1";
        }
        for (const auto& [letter, now, last] :
             {std::make_tuple('X', &nx, &x), std::make_tuple('Y', &ny, &y), std::make_tuple('Z', &nz, &z)}) {
            if (*now != *last) {
                if (!line.empty()) {
                    line += ' ';
                }
                line += letter;
                line += *now;
                *last = *now;
            }
        }
        if (line.empty() || (line.size() == 2 && line[0] == 'G')) {
            continue;  // goes nowhere
        }
        if (word == 1) {
            const std::string rate =
                gcodeNumber(m.kind == MillMoveKind::Plunge ? s.plungeFeed : s.feed);
            if (rate != feed) {
                line += " F" + rate;
                feed = rate;
            }
        }
        motion = word;
        out += line;
        out += '\n';
    }
    out += "M5\nM2\n";
    return out;
}

bool writeGcodeFile(const Toolpath& path, const GcodeRecipe& recipe, const char* fileName)
{
    const char* name = fileName ? fileName : "";
    if (!*name) {
        traceFileProblem("Cannot save G-code", name, "no file name was chosen");
        return false;
    }
    const std::string text = encodeGcode(path, recipe);
    std::string failure;
    if (!replaceFile(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), failure)) {
        traceFileProblem("Cannot save G-code", name, failure.c_str());
        return false;
    }
    return true;
}

std::string machiningTime(double seconds)
{
    const long long minutes = std::llround(std::ceil(seconds / 60.0));
    if (minutes < 60) {
        return std::to_string(minutes) + " min";
    }
    const long long rest = minutes % 60;
    return std::to_string(minutes / 60) + " h " + (rest < 10 ? "0" : "") + std::to_string(rest) +
           " min";
}
