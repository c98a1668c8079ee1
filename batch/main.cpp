// tarsola-batch: the insoles of foot images without a window, for scripts and machines
// without a display.
#include "base/trace.h"
#include "batch/batch.h"
#include "imagefile/image_door.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Status for arguments that cannot run as a batch; 1 is kept for feet that failed.
constexpr int BAD_ARGUMENTS = 2;

// A value as its shortest decimal, the one the range check compares ("0.05", "20000").
std::string shortest(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// The help of a milling option, from the setup's own names, ranges and defaults: "Tool
// diameter, 1 to 20 mm (default 6)". The stepover's top and the blank's range hang on other
// options, so they are said in words.
std::string millOptionHelp(MillParameter parameter)
{
    const MillParameterInfo info = millParameterInfo(parameter, MillSetup{});
    std::string help = info.name;
    if (help[0] >= 'a' && help[0] <= 'z') {
        help[0] = static_cast<char>(help[0] - 'a' + 'A');  // it begins the sentence
    }
    const std::string unit = std::string(" ") + info.unit;
    switch (parameter) {
    case MillParameter::Stepover:
        return help + " (distance between finishing lines), " + shortest(info.minimum) + unit +
               " to the tool's radius (default " + shortest(info.defaultValue) + ")";
    case MillParameter::Blank:
        return help + " in mm, no deeper than the flute length (default, or 0: the insole's "
                      "thickest point plus 2 mm, rounded up to a whole mm)";
    case MillParameter::Flute:
        return help + " (cutting length; no blank may be deeper), " + shortest(info.minimum) +
               " to " + shortest(info.maximum) + unit + " (default " +
               shortest(info.defaultValue) + ")";
    case MillParameter::Safe:
        return help + " of rapid moves above the blank, " + shortest(info.minimum) + " to " +
               shortest(info.maximum) + unit + " (default " + shortest(info.defaultValue) + ")";
    default:
        return help + ", " + shortest(info.minimum) + " to " + shortest(info.maximum) + unit +
               " (default " + shortest(info.defaultValue) + ")";
    }
}

}  // namespace

int main(int argc, char** argv)
{
    routeImageLibraryMessages();
    BatchOptions options;
    CLI::App app{"Makes the insole height map of each foot image, as the Tarsola window's Load, "
                 "sliders and Save would, without a display.",
                 "tarsola-batch"};
    app.add_option("FOOT", options.feet,
                   "Foot images (150 x 360 pixels, 1 px = 1 mm), 3D scans (STL, OBJ, PLY) or "
                   "jobs (a 3MF that Tarsola wrote: its foot, measurement and recipe, the "
                   "recipe's settings the defaults that options override); a foot that cannot "
                   "be read fails alone, the others are made")
        ->required();
    app.add_option("-o,--out", options.out,
                   "Insole file for one foot (\".bmp\" is appended as Save does); a folder for "
                   "several, one NAME.bmp per foot");
    app.add_option("--width", options.width,
                   "Insole width in mm, 0.8 to 1.2 times the foot's width (default: the foot's)");
    app.add_option("--length", options.length,
                   "Insole length in mm, 0.5 to 1.5 times the foot's length (default: the foot's)");
    CLI::Option* height = app.add_option("--height", options.heightRatio, "Height ratio, 0.1 to 2")
        ->check(CLI::Range(MIN_HEIGHT_RATIO, MAX_HEIGHT_RATIO))
        ->capture_default_str();
    CLI::Option* limit = app.add_flag("--limit", options.limit, "Limit the slopes to 30 degrees");
    app.add_option("--preview", options.preview,
                   "Picture of the heights (PNG) for one foot; a folder for several, one "
                   "NAME.png per foot");
    app.add_option("--stl", options.stl,
                   "The insole as a solid, binary STL in mm, for one foot (\".stl\" is appended "
                   "unless the name ends so); a folder for several, one NAME.stl per foot");
    app.add_option("--3mf", options.threeMf,
                   "The insole as a solid, 3MF in mm with the settings recorded, for one foot "
                   "(\".3mf\" is appended unless the name ends so); a folder for several, one "
                   "NAME.3mf per foot");
    CLI::Option* level = app.add_option("--level-mm", options.scan.levelMm,
                   "Size of one height level in mm, 0.05 to 1: the thickness of a level in the "
                   "solid, and the height of a grey level of a scan")
        ->capture_default_str();
    app.add_option("--foot-image", options.footImage,
                   "The foot image made from a scan (PNG), to keep and load again; a folder for "
                   "several feet, one NAME.png per scan");
    std::string units = "auto";
    std::string up = "+z";
    CLI::Option* scanUnits = app.add_option("--scan-units", units,
                   "Units of scans: auto (from the foot's size: 150-400 mm, 15-40 cm, "
                   "0.15-0.40 m), mm, cm or m")
        ->check(CLI::IsMember({"auto", "mm", "cm", "m"}))
        ->capture_default_str();
    CLI::Option* scanUp = app.add_option("--scan-up", up, "The axis of scans that points up from the ground")
        ->check(CLI::IsMember({"+z", "-z", "+y", "-y", "+x", "-x"}))
        ->capture_default_str();
    BatchPressure& pressure = options.pressure;
    app.add_option("--pressure", pressure.measurement,
                   "Plantar-pressure measurement (sensor insole export .asf/.csv, or a plain "
                   "matrix .csv/.txt) to relieve the insole under its peaks; for several feet a "
                   "folder holding NAME.asf, NAME.csv or NAME.txt per foot (a foot without one is "
                   "made without relief)");
    app.add_option("--relief-kpa", pressure.thresholdKpa,
                   "Peak pressure at or above which the foot is relieved, 100 to 1000 kPa "
                   "(default 200)");
    app.add_option("--relief-depth-mm", pressure.depthMm,
                   "How much higher the insole is around the zones, 0.5 to 6 mm (default 3), in "
                   "levels of --level-mm");
    app.add_option("--relief-margin-mm", pressure.marginMm,
                   "How far a zone reaches beyond the peaks, 0 to 15 mm (default 5)");
    app.add_option("--relief-width-mm", pressure.widthMm,
                   "Distance over which the insole rises by the depth, 2 to 20 mm (default 8)");
    app.add_option("--pressure-pitch-mm", pressure.pitchMm,
                   "Distance between the cells of a plain matrix, 1 to 20 mm (default 5)");
    app.add_flag("--pressure-heel-first", pressure.heelFirst,
                 "A plain matrix's first row is at the heel (the foot stood the other way round "
                 "on the plate): it is read turned end for end. Without it the first row is at "
                 "the toes; a sensor insole export says so in its header");
    app.add_option("--pressure-units", pressure.units,
                   "Unit of a plain matrix: kPa, MPa, N/cm2 or PSI, in any case (default kPa)");
    app.add_option("--pressure-shift", pressure.shift,
                   "Correction by hand of the placement, X,Y in mm (right, toward the toes), "
                   "each -100 to 100, after the automatic one");
    app.add_option("--pressure-turn", pressure.turnDegrees,
                   "Correction by hand of the placement's turn, -180 to 180 degrees "
                   "anticlockwise");
    app.add_flag("--pressure-mirror", pressure.mirror,
                 "Turn the measurement over left to right before placing it: a measurement of "
                 "the other foot, or one stored mirrored");
    app.add_flag("--pressure-accept", pressure.accept,
                 "Relieve the insole even when the placement is doubtful (the measurement looks "
                 "like the other foot, looks turned end for end, or puts under 90 % of its load "
                 "on the foot); the warning stays in the report. Without it such a foot fails "
                 "with the reason and the switch that puts it right");
    app.add_option("--pressure-preview", pressure.preview,
                   "Picture of the placed peak pressure over the foot's outline (PNG) for one "
                   "foot; a folder for several, one NAME.png per foot");
    BatchElements& elements = options.elements;
    app.add_option("--side", elements.side,
                   "Which foot it is, for the elements: auto (from the toes), left or right "
                   "(default auto)");
    app.add_option("--met-pad-mm", elements.metPadMm,
                   "A metatarsal pad of this height behind the metatarsal heads, 1 to 8 mm "
                   "(default off)");
    app.add_option("--met-pad-offset-mm", elements.metPadOffsetMm,
                   "How far the pad's centre lies behind the head line, 0 to 20 mm (default 8)");
    app.add_option("--met-pad-shift", elements.metPadShift,
                   "The pad moved by hand, T,V in mm (along the foot toward the toes, across it "
                   "toward the big toe), -40 to 40 each");
    app.add_option("--met-bar-mm", elements.metBarMm,
                   "A metatarsal bar of this height across the foot, its front edge where the "
                   "pressure falls to 77 % of the forefoot's peak (10 mm behind the head line "
                   "without a measurement), 1 to 8 mm (default off)");
    app.add_option("--met-bar-shift-mm", elements.metBarShiftMm,
                   "The bar's front edge moved by hand along the foot, -40 to 40 mm");
    app.add_option("--arch-mm", elements.archMm, "An arch support of this height, 1 to 15 mm (default off)");
    app.add_option("--heel-cup-mm", elements.heelCupMm,
                   "A heel cup rising this much at the heel's edge, 2 to 15 mm (default off)");
    app.add_option("--heel-cup-width-mm", elements.heelCupWidthMm,
                   "How far in from the edge the heel cup reaches, 5 to 25 mm (default 12)");
    app.add_option("--rearfoot-post-deg", elements.rearfootPostDegrees,
                   "Rearfoot posting by this angle, -10 to 10 degrees, positive raising the "
                   "medial side (default off)");
    app.add_option("--elements-preview", elements.preview,
                   "Picture of the elements' summed raise over the foot's outline (PNG), lined "
                   "up with --preview, for one foot; a folder for several, one NAME.png per foot");
    app.add_option("--gcode", options.gcode,
                   "G-code for a 3-axis mill with a ball-end tool, for one foot (\".nc\" is "
                   "appended unless the name ends in .nc, .ngc or .gcode); a folder for several, "
                   "one NAME.nc per foot. Roughing clears the blank in step-down levels, the ring "
                   "around the outline down to the table, so that no move takes more than the "
                   "step-down and the allowance (the largest cut reported is the true one, "
                   "measured on a model of the blank). A blank deeper than the flute is refused "
                   "naming the --blank-mm or --flute-mm that would mill it. The milling options "
                   "below set the tool and the blank");
    for (int i = 0; i < MILL_PARAMETER_COUNT; ++i) {
        const MillParameter parameter = MILL_PARAMETERS[i];
        app.add_option(millParameterInfo(parameter, MillSetup{}).option, options.mill[i],
                       millOptionHelp(parameter));
    }
    app.add_flag("--info", options.info, "Print the measurements only; write nothing");
    app.add_flag("--json", options.json, "One JSON object per foot on standard output");
    app.set_version_flag("--version", std::string("tarsola-batch ") + TARSOLA_VERSION,
                         "Print the version and exit");
    app.footer("Exit status: 0 every foot done, 1 some foot failed, 2 wrong arguments.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help or --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return BAD_ARGUMENTS;
    }

    options.given = {height->count() > 0, limit->count() > 0, level->count() > 0,
                     scanUnits->count() > 0, scanUp->count() > 0};
    parseScanUnits(units, options.scan.units);
    parseScanUp(up, options.scan.up);

    // The window's running trace would only clutter the report; problems stay on stderr.
    setTraceStreams(nullptr, stderr);
    const std::string why = prepareBatch(options);
    if (!why.empty()) {
        std::fprintf(stderr, "tarsola-batch: %s\n", why.c_str());
        return BAD_ARGUMENTS;
    }
    return runBatch(options, stdout, stderr, isatty(STDERR_FILENO) != 0);
}
