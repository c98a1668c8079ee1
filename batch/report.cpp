#include "batch/report.h"

#include "batch/batch.h"
#include "mill/gcode.h"

#include <charconv>
#include <cmath>
#include <sstream>

using nlohmann::json;

std::string formatOf(int format)
{
    const char* name = FreeImage_GetFormatFromFIF(static_cast<FREE_IMAGE_FORMAT>(format));
    return name ? name : "unknown";
}

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// The shortest decimal that reads back as exactly this value: a range's end is printed as
// the value it is compared with.
std::string exact(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A coordinate of the solid as the shortest decimal that is the same float ("2.6", not
// "2.5999999046325684").
double shortest(double floatValue)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(floatValue)).ptr;
    return std::strtod(std::string(text, end).c_str(), nullptr);
}

// Figures of a scan as traced: to a tenth of a millimetre or degree.
double rounded(double value) { return std::round(value * 10) / 10; }

// A figure of the relief to this many decimals, never "-0": what a person would type again.
double decimals(double value, int places)
{
    const double scale = std::pow(10.0, places);
    const double r = std::round(value * scale) / scale;
    return r == 0 ? 0.0 : r;
}

// The figures of a solid for the report, volume to the thousandth of a cubic millimetre.
json solidReport(const SolidFigures& f, double levelMm)
{
    return {{"levelMm", levelMm},
            {"triangles", f.triangles},
            {"volumeMm3", std::round(f.volumeMm3 * 1000.0) / 1000.0},
            {"thinnestMm", shortest(f.thinnestMm)},
            {"thickestMm", shortest(f.thickestMm)},
            {"footprint", {{"widthMm", shortest(f.footprintWidthMm)},
                           {"lengthMm", shortest(f.footprintLengthMm)}}}};
}

// What a person reads before milling, as the G-code's header gives it: the blank (its size
// and the corner nearest the machine's origin), the passes, the moves and the file's size,
// the finish, the time and the heaviest cut; millimetres to the thousandth the file holds,
// the scallop finer since it is a fraction of one.
json millingReport(const MillFigures& f, std::size_t fileBytes)
{
    return {{"blankMm", {decimals(f.blankXMm, 3), decimals(f.blankYMm, 3), decimals(f.blankZMm, 3)}},
            {"blankCornerMm", {decimals(f.blankMinX, 3), decimals(f.blankMinY, 3)}},
            {"roughingPasses", f.roughingPasses},
            {"finishingLines", f.finishingLines},
            {"moves", f.moves},
            {"fileBytes", fileBytes},
            {"scallopMm", decimals(f.scallopMm, 4)},
            {"machiningSeconds", decimals(f.machiningSeconds, 1)},
            {"largestCutMm", decimals(f.largestCutMm, 3)},
            {"filletMm", decimals(f.filletMm, 3)}};
}

json measurementReport(const std::string& file, const PressureMap& map)
{
    return {{"file", file},
            {"format", map.format},
            {"rows", map.rows},
            {"columns", map.cols},
            {"rowPitchMm", map.rowPitchMm},
            {"columnPitchMm", map.colPitchMm},
            {"frames", map.frames},
            {"heelFirst", map.heelFirst},
            {"peakKpa", decimals(map.peakKpa, 1)}};
}

json placementReport(const PressurePlacement& p, const PlacementCorrection& hand)
{
    return {{"turnDegrees", decimals(p.turnDegrees, 2)},
            {"shiftMm", {decimals(p.shiftXMm, 2), decimals(p.shiftYMm, 2)}},
            {"automatic",
             {{"turnDegrees", decimals(p.autoTurnDegrees, 2)},
              {"shiftMm", {decimals(p.autoShiftXMm, 2), decimals(p.autoShiftYMm, 2)}}}},
            {"byHand", {{"turnDegrees", hand.turnDegrees},
                        {"shiftMm", {hand.shiftXMm, hand.shiftYMm}}}},
            {"mirror", hand.mirror},
            {"loadShare", decimals(p.loadShare, 4)},
            {"otherSideLoadShare", decimals(p.otherSideLoadShare, 4)},
            {"endForEndLoadShare", decimals(p.endForEndLoadShare, 4)},
            {"warnings", p.warnings}};
}

json reliefReport(const ReliefPlan& plan)
{
    const ReliefParameters& p = plan.parameters;
    return {{"thresholdKpa", p.thresholdKpa}, {"depthMm", p.depthMm},
            {"marginMm", p.marginMm},         {"widthMm", p.widthMm},
            {"levelMm", plan.levelMm},        {"fullRaiseLevels", plan.relief.fullRaise}};
}

// The zones as the insole has them: centre and area on its grid, as the recompute drew them
// (the window lists the same figures), so that both follow the width and length.
json zonesReport(const DrawnRelief& drawn)
{
    json zones = json::array();
    for (const ReliefZone& zone : drawn.zones) {
        zones.push_back({{"centreMm", {decimals(zone.centreXMm, 1), decimals(zone.centreYMm, 1)}},
                         {"areaMm2", zone.areaMm2},
                         {"peakKpa", decimals(zone.peakKpa, 1)},
                         {"fullDepth", zone.fullDepth}});
    }
    return zones;
}

json landmarksReport(const FootFrame& f)
{
    return {{"heelCentreMm", {decimals(f.heelXMm, 2), decimals(f.heelYMm, 2)}},
            {"ballCentreMm", {decimals(f.ballXMm, 2), decimals(f.ballYMm, 2)}},
            {"axis", {decimals(f.axisX, 4), decimals(f.axisY, 4)}},
            {"heelEndMm", decimals(f.heelEndMm, 2)},
            {"lengthMm", decimals(f.lengthMm, 2)},
            {"side", sideName(f.side)},
            {"sideSet", f.sideSet},
            {"headLineMm", f.hasHeadLine ? json(decimals(f.headLineMm, 2)) : json(nullptr)},
            {"headMedialMm", f.hasHeadLine ? json(decimals(f.headMedialMm, 2)) : json(nullptr)},
            {"headLateralMm", f.hasHeadLine ? json(decimals(f.headLateralMm, 2)) : json(nullptr)}};
}

json elementsReport(const ElementRaise& e)
{
    const ElementSettings& s = e.settings;
    json out = json::object();
    if (s.metPad) {
        out["metPad"] = {{"centreMm", {decimals(e.metPadAlongMm, 2), decimals(e.metPadAcrossMm, 2)}},
                         {"heightMm", s.metPadHeightMm}};
    }
    if (s.metBar) {
        out["metBar"] = {{"frontEdgeMm", decimals(e.metBarFrontMm, 2)},
                         {"rule", e.metBarFromPressure ? "pressure" : "headLine"},
                         {"heightMm", s.metBarHeightMm}};
    }
    if (s.arch) {
        out["arch"] = {{"heightMm", s.archHeightMm}};
    }
    if (s.heelCup) {
        out["heelCup"] = {{"heightMm", s.heelCupHeightMm}, {"widthMm", s.heelCupWidthMm}};
    }
    if (s.rearfootPost) {
        out["rearfootPost"] = {{"degrees", s.rearfootPostDegrees}};
    }
    return out;
}

namespace {

// The foot's landmarks and the elements, for the text report.
void elementsText(const json& r, std::ostringstream& line)
{
    if (r.contains("landmarks")) {
        const json& l = r["landmarks"];
        line << "; " << l["side"].get<std::string>() << " foot ("
             << (l["sideSet"].get<bool>() ? "given" : "found from the toes") << "), heel centre "
             << number(l["heelCentreMm"][0]) << ", " << number(l["heelCentreMm"][1])
             << " mm, ball centre " << number(l["ballCentreMm"][0]) << ", "
             << number(l["ballCentreMm"][1]) << " mm, axis " << number(l["axis"][0]) << ", "
             << number(l["axis"][1]) << ", heel end " << number(l["heelEndMm"]) << " mm, length "
             << number(l["lengthMm"]) << " mm";
        if (l["headLineMm"].is_null()) {
            line << ", no head line";
        } else {
            line << ", head line at " << number(l["headLineMm"]) << " mm from "
                 << number(l["headMedialMm"]) << " (medial) to " << number(l["headLateralMm"])
                 << " mm (lateral)";
        }
    }
    if (r.contains("elements") && r["ok"].get<bool>()) {
        const json& e = r["elements"];
        if (e.contains("metPad")) {
            line << "; metatarsal pad " << number(e["metPad"]["heightMm"]) << " mm centred at "
                 << number(e["metPad"]["centreMm"][0]) << ", " << number(e["metPad"]["centreMm"][1])
                 << " mm";
        }
        if (e.contains("metBar")) {
            line << "; metatarsal bar " << number(e["metBar"]["heightMm"]) << " mm, front edge at "
                 << number(e["metBar"]["frontEdgeMm"]) << " mm ("
                 << (e["metBar"]["rule"] == "pressure" ? "where the pressure falls to 77 % of its peak"
                                                       : "10 mm behind the head line")
                 << ")";
        }
        if (e.contains("arch")) {
            line << "; arch support " << number(e["arch"]["heightMm"]) << " mm";
        }
        if (e.contains("heelCup")) {
            line << "; heel cup " << number(e["heelCup"]["heightMm"]) << " mm over "
                 << number(e["heelCup"]["widthMm"]) << " mm";
        }
        if (e.contains("rearfootPost")) {
            line << "; rearfoot posting " << number(e["rearfootPost"]["degrees"]) << " degrees";
        }
        line << "; " << r["elementsCappedCells"] << " cells capped at 255";
    }
    if (r.contains("elementsPreview")) {
        line << "; elements preview " << r["elementsPreview"].get<std::string>();
    }
}

// The measurement, its placement, the relief and its zones, for the text report.
void pressureText(const json& r, std::ostringstream& line)
{
    if (r.contains("measurement") && r["measurement"].is_null()) {
        line << "; no pressure measurement, made without relief";
    } else if (r.contains("measurement")) {
        const json& m = r["measurement"];
        const int frames = m["frames"];
        line << "; pressure measurement " << m["file"].get<std::string>() << ": "
             << m["format"].get<std::string>() << ", " << m["rows"] << " x " << m["columns"]
             << " cells (rows x columns) of " << number(m["columnPitchMm"]) << " x "
             << number(m["rowPitchMm"]) << " mm, " << frames
             << (frames == 1 ? " frame" : " frames") << ", peak " << number(m["peakKpa"]) << " kPa"
             << (m["heelFirst"].get<bool>() ? ", read with its first row at the heel" : "");
    }
    if (r.contains("placement")) {
        const json& p = r["placement"];
        const auto turnAndShift = [](const json& part) {
            return number(part["turnDegrees"]) + " degrees, " + number(part["shiftMm"][0]) + ", " +
                   number(part["shiftMm"][1]) + " mm";
        };
        line << "; placed " << (p["mirror"].get<bool>() ? "turned over left to right, " : "")
             << "turned " << number(p["turnDegrees"]) << " degrees, shifted "
             << number(p["shiftMm"][0]) << ", " << number(p["shiftMm"][1])
             << " mm (automatically " << turnAndShift(p["automatic"]) << "; by hand "
             << turnAndShift(p["byHand"]) << "), "
             << number(std::round(p["loadShare"].get<double>() * 1000) / 10)
             << " % of the load on the foot";
        for (const json& warning : p["warnings"]) {
            line << "; warning: " << warning.get<std::string>();
        }
    }
    if (r.contains("relief")) {
        const json& f = r["relief"];
        line << "; relief at " << number(f["thresholdKpa"]) << " kPa, depth "
             << number(f["depthMm"]) << " mm (" << f["fullRaiseLevels"] << " levels of "
             << number(f["levelMm"]) << " mm), margin " << number(f["marginMm"])
             << " mm, transition " << number(f["widthMm"]) << " mm";
    }
    if (r.contains("zones") && r["ok"].get<bool>()) {
        const json& zones = r["zones"];
        if (zones.empty()) {
            line << ": no zone, nothing relieved";
        } else {
            line << ": " << zones.size() << (zones.size() == 1 ? " zone" : " zones");
            for (const json& z : zones) {
                line << (&z == &zones.front() ? ": " : "; ") << "at " << number(z["centreMm"][0])
                     << ", " << number(z["centreMm"][1]) << " mm, " << z["areaMm2"] << " mm2, peak "
                     << number(z["peakKpa"]) << " kPa, "
                     << (z["fullDepth"].get<bool>() ? "full depth" : "not full depth");
            }
            line << "; " << r["relief"]["cappedCells"] << " cells capped at 255";
        }
    }
    if (r.contains("pressurePreview")) {
        line << "; pressure preview " << r["pressurePreview"].get<std::string>();
    }
}


// The milling figures and the G-code file, for the text report.
void millingText(const json& r, std::ostringstream& line)
{
    if (r.contains("milling") && r["ok"].get<bool>()) {
        const json& m = r["milling"];
        line << "; milled from a blank of " << number(m["blankMm"][0]) << " x "
             << number(m["blankMm"][1]) << " x " << number(m["blankMm"][2]) << " mm (corner at X"
             << number(m["blankCornerMm"][0]) << " Y" << number(m["blankCornerMm"][1]) << "): "
             << m["roughingPasses"] << " roughing passes, " << m["finishingLines"]
             << " finishing lines, " << m["moves"] << " moves, " << m["fileBytes"]
             << " bytes, scallop " << number(m["scallopMm"]) << " mm, machining about "
             << machiningTime(m["machiningSeconds"]) << ", largest cut " << number(m["largestCutMm"])
             << " mm deep, fillet of " << number(m["filletMm"]) << " mm at the outline wall";
    }
    if (r.contains("gcode")) {
        line << "; gcode " << r["gcode"].get<std::string>();
    }
}

}  // namespace

std::string textReport(const json& r)
{
    std::ostringstream line;
    line << r["file"].get<std::string>() << ":";
    if (r.contains("image")) {
        const json& image = r["image"];
        line << " image " << image["width"] << " x " << image["height"] << " pixels, "
             << image["bitsPerPixel"] << " bits per pixel, " << image["format"].get<std::string>()
             << ";";
    }
    if (r.contains("scan")) {
        const json& scan = r["scan"];
        line << " scan " << scan["format"].get<std::string>() << ", " << scan["triangles"]
             << " triangles, units " << scan["units"].get<std::string>()
             << (scan["unitsFoundFromSize"].get<bool>() ? " (found from its size)" : "") << ", "
             << number(scan["lengthMm"]) << " x " << number(scan["widthMm"]) << " x "
             << number(scan["heightMm"]) << " mm, turned " << number(scan["turnDegrees"])
             << " degrees (" << scan["up"].get<std::string>() << " up), "
             << scan["holeCellsFilled"] << " hole cells filled;";
    }
    if (r.contains("box")) {
        const json& box = r["box"];
        const json& ranges = r["ranges"];
        line << " foot box columns " << box["minX"] << " to " << box["maxX"] << ", rows "
             << box["minY"] << " to " << box["maxY"] << "; foot width " << r["footWidth"]
             << " mm (width " << exact(ranges["width"][0]) << " to " << exact(ranges["width"][1])
             << "), length " << r["footLength"] << " mm (length " << exact(ranges["length"][0])
             << " to " << exact(ranges["length"][1]) << "), height ratio "
             << number(MIN_HEIGHT_RATIO) << " to " << number(MAX_HEIGHT_RATIO);
    }
    if (r.contains("settings") && r["ok"].get<bool>()) {
        const json& s = r["settings"];
        line << "; insole at width " << number(s["width"]) << " mm, length " << number(s["length"])
             << " mm, height " << number(s["height"]) << ", limit "
             << (s["limit"].get<bool>() ? "on" : "off") << ", heights "
             << r["heights"]["lowest"] << " to " << r["heights"]["highest"];
    }
    if (r.contains("solid") && r["ok"].get<bool>()) {
        const json& s = r["solid"];
        line << "; solid at level " << number(s["levelMm"]) << " mm: " << s["triangles"]
             << " triangles, volume " << number(s["volumeMm3"].get<double>() / 1000.0)
             << " cm3, thickness " << number(s["thinnestMm"]) << " to " << number(s["thickestMm"])
             << " mm, footprint " << number(s["footprint"]["widthMm"]) << " x "
             << number(s["footprint"]["lengthMm"]) << " mm";
    }
    for (const char* file : {"insole", "preview", "stl", "3mf"}) {
        if (r.contains(file)) {
            line << "; " << file << " " << r[file].get<std::string>();
        }
    }
    if (r.contains("footImage")) {
        line << "; foot image " << r["footImage"].get<std::string>();
    }
    pressureText(r, line);
    elementsText(r, line);
    millingText(r, line);
    if (!r["ok"].get<bool>()) {
        // Nothing may stand before the failure when the foot could not even be read.
        line << (r.contains("image") ? "; FAILED: " : " FAILED: ") << r["error"].get<std::string>();
    }
    return line.str();
}
