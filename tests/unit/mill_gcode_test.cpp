// The G-code file: read back it holds the recipe, the units and exactly the path's points;
// LinuxCNC's own interpreter (rs274) reads it without error and moves through the same points
// at the same feeds; a decimal-comma locale changes nothing; a failed write keeps the old file.
#include "base/trace.h"
#include "mill/gcode.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <locale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A pyramid of 31-degree faces on a wall of 6.8 mm.
Toolpath pyramidPath()
{
    Grid grid{};
    for (int y = 100; y < 124; ++y) {
        for (int x = 60; x < 84; ++x) {
            grid[gridIndex(x, y)] = static_cast<std::uint8_t>(70 - 3 * std::max(std::abs(x - 72), std::abs(y - 112)));
        }
    }
    Toolpath path;
    std::string refusal;
    EXPECT_TRUE(planToolpath(grid, DEFAULT_LEVEL_MM, MillSetup{}, path, refusal)) << refusal;
    return path;
}

GcodeRecipe recipe()
{
    return {"scans/left (copy) \xE8\xB6\xB3.bmp", 93.5, 260, 1.2, true, 0.2, "2 mm under the metatarsal heads", ""};
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The moves a file makes, read the way a controller does: words keep their value until given
// again.
struct ReadMove {
    int motion;
    double x, y, z, feed;
};

// Whether a word is a letter of a move and a number with exactly three decimals (G0 and G1
// have none).
bool moveWord(const std::string& word)
{
    if (word == "G0" || word == "G1") {
        return true;
    }
    if (word.size() < 6 || std::string("XYZF").find(word[0]) == std::string::npos) {
        return false;
    }
    const std::size_t dot = word.size() - 4;
    std::size_t digits = word[1] == '-' ? 2 : 1;
    if (word[dot] != '.' || digits >= dot) {
        return false;
    }
    for (std::size_t i = digits; i < word.size(); ++i) {
        if (i != dot && !(word[i] >= '0' && word[i] <= '9')) {
            return false;
        }
    }
    return true;
}

std::vector<ReadMove> readMoves(const std::vector<std::string>& lines)
{
    std::vector<ReadMove> moves;
    ReadMove state{0, 0, 0, 0, 0};
    for (const std::string& line : lines) {
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            EXPECT_TRUE(moveWord(word)) << line;
            const double value = std::strtod(word.c_str() + 1, nullptr);
            switch (word[0]) {
            case 'G': state.motion = static_cast<int>(value); break;
            case 'X': state.x = value; break;
            case 'Y': state.y = value; break;
            case 'Z': state.z = value; break;
            default: state.feed = value; break;
            }
        }
        moves.push_back(state);
    }
    return moves;
}

// Whether `read` is exactly the path's moves after the rise to the safe height.
void expectPathMoves(const Toolpath& path, const std::vector<ReadMove>& read)
{
    ASSERT_EQ(read.size(), path.moves.size() + 1);
    EXPECT_EQ(read[0].motion, 0);
    EXPECT_EQ(read[0].z, path.setup.safeMm);
    for (std::size_t i = 0; i < path.moves.size(); ++i) {
        const MillMove& m = path.moves[i];
        const ReadMove& r = read[i + 1];
        ASSERT_EQ(r.motion, m.kind == MillMoveKind::Rapid ? 0 : 1) << "move " << i;
        EXPECT_NEAR(r.x, m.x, 1e-9) << "move " << i;
        EXPECT_NEAR(r.y, m.y, 1e-9) << "move " << i;
        EXPECT_NEAR(r.z, m.z, 1e-9) << "move " << i;
        if (m.kind != MillMoveKind::Rapid) {
            EXPECT_EQ(r.feed, m.kind == MillMoveKind::Plunge ? path.setup.plungeFeed : path.setup.feed)
                << "move " << i;
        }
    }
}

}  // namespace

TEST(GcodeFile, ReadBackHoldsTheRecipeTheUnitsAndThePathsPoints)
{
    const Toolpath path = pyramidPath();
    TempDir dir;
    const std::string file = dir.file("pyramid.nc");
    ASSERT_TRUE(writeGcodeFile(path, recipe(), file.c_str()));
    const std::vector<std::uint8_t> bytes = readFileBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, encodeGcode(path, recipe()));

    const std::vector<std::string> lines = linesOf(text);
    std::size_t header = 0;
    while (header < lines.size() && lines[header][0] == '(') {
        const std::string& line = lines[header];
        EXPECT_EQ(line.back(), ')');
        for (std::size_t i = 1; i + 1 < line.size(); ++i) {
            EXPECT_TRUE(line[i] >= 0x20 && line[i] < 0x7F && line[i] != '(' && line[i] != ')') << line;
        }
        ++header;
    }
    const std::string comments = text.substr(0, text.find("G21"));
    for (const char* expected : {"(Tarsola " TARSOLA_VERSION, "Foot file: scans/left [copy] ???.bmp)",
                                 "width 93.5 mm, length 260 mm, height ratio 1.2, 30-degree limit on",
                                 "Level: 0.2 mm", "Relief: 2 mm under the metatarsal heads",
                                 "diameter 6 mm, flute length 40 mm", "Blank: ", "x 16.000 mm",
                                 "table is at Z-16.000", "Largest cut: ", "Estimated machining time: "}) {
        EXPECT_NE(comments.find(expected), std::string::npos) << expected << "\n" << comments;
    }
    GcodeRecipe noRelief = recipe();
    noRelief.relief.clear();
    EXPECT_EQ(encodeGcode(path, noRelief).find("Relief"), std::string::npos);
    EXPECT_EQ(encodeGcode(path, noRelief).find("Elements"), std::string::npos);
    // Every element in a comment of its own, however many there are: here five, over 200
    // characters together.
    GcodeRecipe prescribed = recipe();
    prescribed.elements = "elements left foot (found); metatarsal pad 4 mm, 8 mm behind the heads, "
                          "shifted 0, 0 mm; metatarsal bar 4 mm, front edge by the head line, shifted "
                          "0 mm; arch support 5 mm; heel cup 6 mm over 12 mm; rearfoot posting 4 degrees";
    ASSERT_GT(prescribed.elements.size(), 200u);
    const std::string withElements = encodeGcode(path, prescribed);
    for (const char* expected : {"\n(Elements: elements left foot [found])\n",
                                 "\n(Elements: arch support 5 mm)\n",
                                 "\n(Elements: rearfoot posting 4 degrees)\n"}) {
        EXPECT_NE(withElements.find(expected), std::string::npos) << expected;
    }

    ASSERT_GT(lines.size(), header + 4);
    EXPECT_EQ(lines[header], "G21 G90 G17");
    EXPECT_EQ(lines[header + 1], "S14000 M3");
    EXPECT_EQ(lines[lines.size() - 2], "M5");
    EXPECT_EQ(lines.back(), "M2");
    // Every number of a move has three decimals; no arcs, line numbers or compensation
    // (readMoves checks every word).
    expectPathMoves(path, readMoves(std::vector<std::string>(lines.begin() + header + 2, lines.end() - 2)));
    EXPECT_EQ(path.figures.moves, path.moves.size());
}

TEST(GcodeFile, NumbersAndNames)
{
    EXPECT_EQ(gcodeNumber(-0.0004), "0.000");
    EXPECT_EQ(gcodeNumber(-12.3456), "-12.346");
    EXPECT_EQ(gcodeNumber(7.0), "7.000");
    EXPECT_EQ(gcodeNumber(-0.05), "-0.050");
    EXPECT_EQ(gcodeNumber(123456.7891), "123456.789");
    EXPECT_EQ(gcodeFileName("insole"), "insole.nc");
    EXPECT_EQ(gcodeFileName("insole.NGC"), "insole.NGC");
    EXPECT_EQ(gcodeFileName("insole.Gcode"), "insole.Gcode");
    EXPECT_EQ(gcodeFileName("insole.nc"), "insole.nc");
    EXPECT_EQ(gcodeFileName("insole.stl"), "insole.stl.nc");
    EXPECT_EQ(gcodeFileName("nc"), "nc.nc");
    EXPECT_EQ(gcodeCommentText("a(b)c\td\x7F"), "a[b]c?d?");
}

// A recipe longer than a controller's line (a long measurement name, a placement by hand)
// goes over several comment lines, each within the limit, broken between the recipe's parts:
// read back and joined it is the whole recipe, and no value is parted from its unit.
TEST(GcodeFile, ALongRecipeLineIsSplitBetweenItsPartsAndKeptWhole)
{
    const Toolpath path = pyramidPath();
    GcodeRecipe long_ = recipe();
    long_.footFile = std::string(240, 'f') + ".bmp";
    long_.relief = "pressure measurement " + std::string(150, 'p') +
                   ".csv (plain matrix, 5 mm pitch); relief 200 kPa, depth 3 mm, margin 5 mm, "
                   "transition 8 mm; placement turned 1.5 degrees, shifted 2, -3 mm, of which by "
                   "hand 0.5 degrees, 1, -2 mm; the other side; turned end for end";
    const std::vector<std::string> lines = linesOf(encodeGcode(path, long_));
    std::string relief, foot;
    std::string* joining = nullptr;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), GCODE_LINE_LIMIT) << line;
        if (line.empty() || line[0] != '(') {
            break;
        }
        ASSERT_EQ(line.back(), ')') << line;
        std::string body = line.substr(1, line.size() - 2);
        if (body.rfind("  ", 0) == 0) {
            ASSERT_NE(joining, nullptr) << "a continued line follows no line: " << line;
            *joining += " " + body.substr(2);
            continue;
        }
        joining = body.rfind("Relief: ", 0) == 0 ? &relief : body.rfind("Foot file:", 0) == 0 ? &foot : nullptr;
        if (joining) {
            *joining = body;
        }
        // No number ends a line whose unit begins the next.
        const std::size_t last = body.find_last_not_of("0123456789.-");
        EXPECT_FALSE(last != std::string::npos && last + 1 < body.size() && body[last] == ' ' &&
                     body.size() - last < 10)
            << "a value cut from its unit: " << line;
    }
    EXPECT_EQ(relief, "Relief: " + gcodeCommentText(long_.relief));
    // A single word longer than a line (the foot's name) is the one thing cut, and kept whole.
    std::string joinedFoot = foot;
    joinedFoot.erase(std::remove(joinedFoot.begin() + 11, joinedFoot.end(), ' '), joinedFoot.end());
    EXPECT_EQ(joinedFoot, "Foot file: " + long_.footFile);
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("(  ", 0) == 0; }),
              lines.end());
}

// Every number goes out with a '.', also when the program runs in a locale whose decimal mark
// is a comma (printf and iostreams would follow it).
TEST(GcodeFile, ADecimalCommaLocaleStillWritesDots)
{
    const Toolpath path = pyramidPath();
    const std::string expected = encodeGcode(path, recipe());
    TempDir dir;
    const std::string out = dir.file("comma.nc");
    const int code = runInChild([&] {
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            // Not installed: make it in the temporary folder from the system's locale sources.
            const std::string make = "localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") +
                                     "' >/dev/null 2>&1";
            if (std::system(make.c_str()) != 0) {
                return 77;
            }
            setenv("LOCPATH", dir.path().c_str(), 1);
            if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
                return 77;
            }
        }
        std::locale::global(std::locale(std::setlocale(LC_ALL, nullptr)));
        if (std::string(std::localeconv()->decimal_point) != ",") {
            return 78;
        }
        return writeGcodeFile(path, recipe(), out.c_str()) ? 0 : 1;
    });
    if (code == 77) {
        GTEST_SKIP() << "no locale with a decimal comma is installed or can be made here";
    }
    ASSERT_EQ(code, 0);
    const std::vector<std::uint8_t> bytes = readFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST(GcodeFile, AFailedWriteLeavesTheOldFileAndSaysWhy)
{
    const Toolpath path = pyramidPath();
    TempDir dir;
    const std::string target = dir.file("old.nc");
    writeFileBytes(target, "(the old file)\n");
    testing::internal::CaptureStderr();
    const int code = runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 90;
        }
        return writeGcodeFile(path, recipe(), target.c_str()) ? 1 : 0;
    });
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(errors, "Cannot save G-code " + target + ": cannot write the file: File too large\n");
    EXPECT_EQ(readFileText(target), "(the old file)\n");

    const std::string missing = dir.file("no such folder/insole.nc");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeGcodeFile(path, recipe(), missing.c_str()));
    errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "Cannot save G-code " + missing +
                          ": cannot create a temporary file in its folder: No such file or directory\n");
}

// LinuxCNC's stand-alone interpreter, from Debian's linuxcnc-uspace (scripts/install-deps.sh
// --test installs it): no error, and its canonical moves are the path's, at the path's feeds.
TEST(GcodeRs274, LinuxCncReadsTheFileAndMovesThroughThePathsPoints)
{
    ASSERT_EQ(access("/usr/bin/rs274", X_OK), 0) << "rs274 is missing: run scripts/install-deps.sh --test";
    const Toolpath path = pyramidPath();
    TempDir dir;
    const std::string file = dir.file("pyramid.ngc");
    ASSERT_TRUE(writeGcodeFile(path, recipe(), file.c_str()));
    const std::string canon = dir.file("canon.txt");
    const std::string errors = dir.file("errors.txt");
    const std::string command = "cd '" + dir.path() + "' && /usr/bin/rs274 -g '" + file + "' '" + canon +
                                "' </dev/null >/dev/null 2>'" + errors + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << readFileText(errors);
    EXPECT_EQ(readFileText(errors), "executing\n");

    std::vector<ReadMove> moves;
    double feed = 0.0;
    const std::string traverse = "STRAIGHT_TRAVERSE(", feedMove = "STRAIGHT_FEED(", rate = "SET_FEED_RATE(";
    for (const std::string& line : linesOf(readFileText(canon))) {
        std::size_t at;
        if ((at = line.find(rate)) != std::string::npos) {
            feed = std::strtod(line.c_str() + at + rate.size(), nullptr);
        } else if ((at = line.find(traverse)) != std::string::npos || (at = line.find(feedMove)) != std::string::npos) {
            const bool isFeed = line.compare(at, feedMove.size(), feedMove) == 0;
            char* next = const_cast<char*>(line.c_str() + at + (isFeed ? feedMove : traverse).size());
            ReadMove m{isFeed ? 1 : 0, 0, 0, 0, feed};
            for (double* value : {&m.x, &m.y, &m.z}) {
                *value = std::strtod(next, &next);
                next += 2;  // ", "
            }
            moves.push_back(m);
        }
    }
    for (ReadMove& m : moves) {
        // rs274 prints four decimals of what it read.
        m.x = std::round(m.x * 1000) / 1000;
        m.y = std::round(m.y * 1000) / 1000;
        m.z = std::round(m.z * 1000) / 1000;
    }
    expectPathMoves(path, moves);
}
