#include "pressure/pressure_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace {

constexpr float NO_DATA = std::numeric_limits<float>::quiet_NaN();
constexpr const char* SENSOR_FORMAT = "sensor insole export";
constexpr const char* MATRIX_FORMAT = "plain matrix";

// The lines of a text held in memory, without their line ends (LF or CRLF), counted from 1.
class Lines {
public:
    Lines(const std::uint8_t* data, std::size_t size)
        : text_(reinterpret_cast<const char*>(data), size)
    {
        // A UTF-8 byte order mark is the editor's, not part of the first line.
        if (text_.size() >= 3 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            at_ = 3;
        }
    }

    bool next(std::string_view& line)
    {
        if (at_ >= text_.size()) {
            return false;
        }
        std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) {
            end = text_.size();
        }
        line = text_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        at_ = end + 1;
        ++number_;
        return true;
    }
    int number() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int number_ = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Splits at runs of spaces and tabs; at most `limit` words are kept, the count is exact.
int splitWords(std::string_view s, std::string_view* words, int limit)
{
    int count = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < s.size() && !isBlank(s[i])) {
            ++i;
        }
        if (i > start) {
            if (count < limit) {
                words[count] = s.substr(start, i - start);
            }
            ++count;
        }
    }
    return count;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The whole of s as a decimal number, independent of the locale. "nan" and "inf" are numbers
// here, so that the caller can refuse them as such rather than as text.
bool parseNumber(std::string_view s, double& value)
{
    if (s.empty()) {
        return false;
    }
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

bool parseWhole(std::string_view s, long long& value)
{
    if (s.empty()) {
        return false;
    }
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

// A piece of the file quoted in a message, cut short so that a long line stays one line.
std::string quoted(std::string_view s)
{
    std::string out = "\"";
    for (char c : s.substr(0, 24)) {
        out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
    }
    return out + (s.size() > 24 ? "...\"" : "\"");
}

std::string number(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

struct Refusal {
    const char* name;
    std::string& failure;

    // line 0: about the file as a whole.
    bool operator()(int line, const std::string& what) const
    {
        failure = std::string(name);
        if (line > 0) {
            failure += ":" + std::to_string(line);
        }
        failure += ": " + what;
        return false;
    }
};

// One value of a row: a number in the file's unit, or "B" (and, in a plain matrix, an empty
// field) for no data. Returns the problem, or an empty string when the value is taken.
std::string readValue(std::string_view field, bool emptyIsNoData, double kpaPer, float& kpa)
{
    if (field == "B" || (emptyIsNoData && field.empty())) {
        kpa = NO_DATA;
        return {};
    }
    double value = 0;
    if (!parseNumber(field, value)) {
        return field.empty() ? "an empty value" : "value " + quoted(field) + " is not a number";
    }
    if (!std::isfinite(value)) {
        return "value " + quoted(field) + " is not a finite number";
    }
    if (value < 0) {
        return "value " + quoted(field) + " is negative";
    }
    const double converted = value * kpaPer;
    if (converted > MAX_PRESSURE_KPA) {
        return "value " + quoted(field) + " is " + number(converted) + " kPa, above " +
               number(MAX_PRESSURE_KPA) + " kPa";
    }
    // A negative zero is stored as zero.
    kpa = static_cast<float>(converted) + 0.0f;
    return {};
}

void keepPeak(float& peak, float value)
{
    if (!std::isnan(value) && (std::isnan(peak) || value > peak)) {
        peak = value;
    }
}

// Undoes the mirroring a sensor export declared, finds the peak and refuses an empty map.
bool finishMap(PressureMap& map, bool mirrorRows, bool mirrorCols, const Refusal& refuse)
{
    if (mirrorRows) {
        for (int r = 0; r < map.rows / 2; ++r) {
            std::swap_ranges(map.kpa.begin() + static_cast<std::ptrdiff_t>(r) * map.cols,
                             map.kpa.begin() + static_cast<std::ptrdiff_t>(r + 1) * map.cols,
                             map.kpa.begin() +
                                 static_cast<std::ptrdiff_t>(map.rows - 1 - r) * map.cols);
        }
    }
    if (mirrorCols) {
        for (int r = 0; r < map.rows; ++r) {
            const auto row = map.kpa.begin() + static_cast<std::ptrdiff_t>(r) * map.cols;
            std::reverse(row, row + map.cols);
        }
    }
    float peak = NO_DATA;
    for (float v : map.kpa) {
        keepPeak(peak, v);
    }
    if (std::isnan(peak) || peak <= PRESSURE_NOISE_KPA) {
        return refuse(0, "the measurement is empty: no cell is above the " +
                             number(PRESSURE_NOISE_KPA) + " kPa noise floor");
    }
    map.peakKpa = peak;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The sensor insole export.

struct Header {
    int rows = 0, cols = 0;
    double rowPitch = 0, colPitch = 0;
    bool unitsSeen = false;
    PressureUnit units = PressureUnit::Kpa;
    int mirrorRow = -1, mirrorCol = -1;
    long long startFrame = -1, endFrame = -1;
    int endFrameLine = 0;
};

bool readSide(const std::string_view* w, int count, int& side, int line, const Refusal& refuse)
{
    long long value = 0;
    if (count != 2 || !parseWhole(w[1], value) || value < 1) {
        return refuse(line, std::string(w[0]) + " must be a whole number of at least 1");
    }
    if (value > MAX_PRESSURE_SIDE) {
        return refuse(line, std::string(w[0]) + " " + std::to_string(value) + " is more than " +
                                std::to_string(MAX_PRESSURE_SIDE));
    }
    side = static_cast<int>(value);
    return true;
}

bool readSpacing(const std::string_view* w, int count, double& pitch, int line,
                 const Refusal& refuse)
{
    const std::string key(w[0]);
    double value = 0;
    if (count != 3 || !parseNumber(w[1], value) || !std::isfinite(value)) {
        return refuse(line, key + " must be a number and a unit (mm, millimeters, cm or inches)");
    }
    double mmPer = 0;
    if (sameIgnoringCase(w[2], "mm") || sameIgnoringCase(w[2], "millimeters")) {
        mmPer = 1;
    } else if (sameIgnoringCase(w[2], "cm")) {
        mmPer = 10;
    } else if (sameIgnoringCase(w[2], "inches")) {
        mmPer = 25.4;
    } else {
        return refuse(line, key + " has an unknown unit " + quoted(w[2]) +
                                " (mm, millimeters, cm or inches)");
    }
    pitch = value * mmPer;
    if (!pressurePitchInRange(pitch)) {
        return refuse(line, key + " " + number(pitch) + " mm is outside " +
                                number(MIN_PRESSURE_PITCH_MM) + "-" +
                                number(MAX_PRESSURE_PITCH_MM) + " mm");
    }
    return true;
}

bool readFlag(const std::string_view* w, int count, int& flag, int line, const Refusal& refuse)
{
    if (count != 2 || (w[1] != "0" && w[1] != "1")) {
        return refuse(line, std::string(w[0]) + " must be 0 or 1");
    }
    flag = w[1] == "1";
    return true;
}

bool readFrameNumber(const std::string_view* w, int count, long long& frame, int line,
                     const Refusal& refuse)
{
    if (count != 2 || !parseWhole(w[1], frame) || frame < 0) {
        return refuse(line, std::string(w[0]) + " must be a whole number of at least 0");
    }
    return true;
}

// The header up to "ASCII_DATA @@", parsed by key; unknown keys are ignored. Returns false
// with the refusal made when it is not sound.
bool readHeader(Lines& lines, Header& header, const Refusal& refuse)
{
    std::string_view line;
    bool commentFollows = false;
    bool seen[8] = {};
    while (lines.next(line)) {
        const int n = lines.number();
        if (commentFollows) {
            // The free text of COMMENTS: may look like anything, a key included.
            commentFollows = false;
            continue;
        }
        std::string_view w[4];
        const int count = splitWords(line, w, 4);
        if (count == 0) {
            continue;
        }
        if (count == 2 && w[0] == "ASCII_DATA" && w[1] == "@@") {
            return true;
        }
        if (w[0] == "COMMENTS:") {
            commentFollows = count == 1;
            continue;
        }
        static const char* const keys[] = {"ROWS",  "COLS",       "ROW_SPACING", "COL_SPACING",
                                           "UNITS", "MIRROR_ROW", "MIRROR_COL",  "START_FRAME"};
        int key = -1;
        for (int k = 0; k < 8; ++k) {
            if (w[0] == keys[k]) {
                key = k;
            }
        }
        if (w[0] == "END_FRAME") {
            if (header.endFrameLine) {
                return refuse(n, "END_FRAME is given twice");
            }
            header.endFrameLine = n;
            if (!readFrameNumber(w, count, header.endFrame, n, refuse)) {
                return false;
            }
            continue;
        }
        if (key < 0) {
            continue;
        }
        if (seen[key]) {
            return refuse(n, std::string(keys[key]) + " is given twice");
        }
        seen[key] = true;
        bool ok = true;
        switch (key) {
        case 0: ok = readSide(w, count, header.rows, n, refuse); break;
        case 1: ok = readSide(w, count, header.cols, n, refuse); break;
        case 2: ok = readSpacing(w, count, header.rowPitch, n, refuse); break;
        case 3: ok = readSpacing(w, count, header.colPitch, n, refuse); break;
        case 4:
            if (count != 2 || !pressureUnitFromName(std::string(w[1]), header.units)) {
                return refuse(n, "UNITS " + (count > 1 ? quoted(w[1]) : std::string("\"\"")) +
                                     " is not a known unit (kPa, MPa, N/cm2 or PSI)");
            }
            header.unitsSeen = true;
            break;
        case 5: ok = readFlag(w, count, header.mirrorRow, n, refuse); break;
        case 6: ok = readFlag(w, count, header.mirrorCol, n, refuse); break;
        case 7: ok = readFrameNumber(w, count, header.startFrame, n, refuse); break;
        }
        if (!ok) {
            return false;
        }
    }
    return refuse(0, "no line ASCII_DATA @@ ends the header (and it is not a plain matrix of "
                     "numbers either)");
}

// One row of a frame: exactly `cols` comma-separated values, each kept if above the peak.
bool readSensorRow(std::string_view line, int n, long long frame, float* peak, int cols,
                   double kpaPer, const Refusal& refuse)
{
    const int values = 1 + static_cast<int>(std::count(line.begin(), line.end(), ','));
    if (values != cols) {
        return refuse(n, "a row of frame " + std::to_string(frame) + " has " +
                             std::to_string(values) + " values, not " + std::to_string(cols));
    }
    std::size_t at = 0;
    for (int c = 0; c < cols; ++c) {
        std::size_t end = line.find(',', at);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        float kpa = 0;
        const std::string problem = readValue(trim(line.substr(at, end - at)), false, kpaPer, kpa);
        if (!problem.empty()) {
            return refuse(n, "column " + std::to_string(c + 1) + ": " + problem);
        }
        keepPeak(peak[c], kpa);
        at = end + 1;
    }
    return true;
}

bool readSensorExport(Lines& lines, PressureMap& map, const Refusal& refuse)
{
    Header header;
    if (!readHeader(lines, header, refuse)) {
        return false;
    }
    const int dataLine = lines.number();
    const char* missing = !header.rows           ? "ROWS"
                          : !header.cols         ? "COLS"
                          : header.rowPitch == 0 ? "ROW_SPACING"
                          : header.colPitch == 0 ? "COL_SPACING"
                          : !header.unitsSeen    ? "UNITS"
                                                 : nullptr;
    if (missing) {
        return refuse(0, std::string("the header has no ") + missing + " line");
    }
    const bool frameRange = header.startFrame >= 0 && header.endFrame >= 0;
    if (frameRange && header.endFrame < header.startFrame) {
        return refuse(header.endFrameLine, "END_FRAME is before START_FRAME");
    }
    if (frameRange && header.endFrame - header.startFrame >= MAX_PRESSURE_FRAMES) {
        return refuse(header.endFrameLine, "more than " + std::to_string(MAX_PRESSURE_FRAMES) +
                                               " frames (START_FRAME to END_FRAME)");
    }

    // ROWS and COLS are checked: the map is at most 512 x 512 cells.
    map.rows = header.rows;
    map.cols = header.cols;
    map.kpa.assign(static_cast<std::size_t>(map.rows) * map.cols, NO_DATA);
    const double kpaPer = kpaPerUnit(header.units);

    std::string_view line;
    int frames = 0;
    int rowsRead = 0;
    bool inFrame = false;
    long long frameNumber = 0;
    bool closed = false;
    while (!closed && lines.next(line)) {
        const int n = lines.number();
        std::string_view w[3];
        const int count = splitWords(line, w, 3);
        const bool frameLine = count >= 1 && w[0] == "Frame";
        const bool endLine = count == 1 && w[0] == "@@";
        if (inFrame && rowsRead < header.rows) {
            if (count == 0 || frameLine || endLine) {
                return refuse(n, "frame " + std::to_string(frameNumber) + " ends after " +
                                     std::to_string(rowsRead) + " of its " +
                                     std::to_string(header.rows) + " rows");
            }
            if (!readSensorRow(line, n, frameNumber,
                               map.kpa.data() + static_cast<std::size_t>(rowsRead) * map.cols,
                               map.cols, kpaPer, refuse)) {
                return false;
            }
            ++rowsRead;
            continue;
        }
        if (count == 0) {
            continue;
        }
        if (frameLine) {
            long long given = 0;
            if (count != 2 || !parseWhole(w[1], given) || given < 0) {
                return refuse(n, "a frame line must be \"Frame\" and a whole number");
            }
            // Frames run one by one from START_FRAME (or from the first one): a gap or a
            // repeat is a file put together wrongly, whose peak cannot be trusted.
            const std::string rule = std::string("frame numbers must run from ") +
                                     (header.startFrame >= 0 ? "START_FRAME" : "the first frame") +
                                     " upward without a gap or a repeat";
            if (frames == 0 && header.startFrame >= 0 && given != header.startFrame) {
                return refuse(n, "the first frame is Frame " + std::to_string(given) +
                                     ", not START_FRAME " + std::to_string(header.startFrame) +
                                     ": " + rule);
            }
            if (frames > 0 && given - 1 != frameNumber) {
                return refuse(n, "Frame " + std::to_string(given) + " follows Frame " +
                                     std::to_string(frameNumber) + ": " + rule);
            }
            frameNumber = given;
            if (++frames > MAX_PRESSURE_FRAMES) {
                return refuse(n, "more than " + std::to_string(MAX_PRESSURE_FRAMES) + " frames");
            }
            inFrame = true;
            rowsRead = 0;
        } else if (endLine) {
            closed = true;
        } else if (inFrame) {
            return refuse(n, "frame " + std::to_string(frameNumber) + " has more than " +
                                 std::to_string(header.rows) + " rows");
        } else {
            return refuse(n,
                          "expected a line \"Frame N\" or the closing @@, found " + quoted(line));
        }
    }
    if (!closed) {
        if (inFrame && rowsRead < header.rows) {
            return refuse(lines.number(), "the file ends inside frame " +
                                              std::to_string(frameNumber) + ", after " +
                                              std::to_string(rowsRead) + " of its " +
                                              std::to_string(header.rows) + " rows");
        }
        return refuse(lines.number(), "the data does not end with a line @@");
    }
    const int closing = lines.number();
    if (frames == 0) {
        return refuse(closing, "no frame between ASCII_DATA @@ (line " + std::to_string(dataLine) +
                                   ") and @@");
    }
    while (lines.next(line)) {
        if (!trim(line).empty()) {
            return refuse(lines.number(), "text after the closing @@");
        }
    }
    if (frameRange && frames != header.endFrame - header.startFrame + 1) {
        // A file cut short loses frames, and with them perhaps the peak.
        return refuse(0, "START_FRAME and END_FRAME announce " +
                             std::to_string(header.endFrame - header.startFrame + 1) +
                             " frames, the data has " + std::to_string(frames));
    }
    map.format = SENSOR_FORMAT;
    map.rowPitchMm = header.rowPitch;
    map.colPitchMm = header.colPitch;
    map.frames = frames;
    return finishMap(map, header.mirrorRow == 1, header.mirrorCol == 1, refuse);
}

// ---------------------------------------------------------------------------------------------
// The plain matrix.

// The separator of a plain matrix: the first of comma, semicolon and tab its first row holds,
// else runs of spaces.
char matrixSeparator(std::string_view firstRow)
{
    for (char c : {',', ';', '\t'}) {
        if (firstRow.find(c) != std::string_view::npos) {
            return c;
        }
    }
    return ' ';
}

// Whether a file's first non-blank line starts as a plain matrix does: a number, "B", or an
// empty field.
bool startsAsMatrix(std::string_view line)
{
    line = trim(line);
    const std::size_t end = line.find_first_of(",; \t");
    const std::string_view first = line.substr(0, end);
    double value = 0;
    return first.empty() || first == "B" || parseNumber(first, value);
}

bool readMatrix(Lines& lines, const PressureOptions& options, PressureMap& map,
                const Refusal& refuse)
{
    if (!pressurePitchInRange(options.pitchMm)) {
        return refuse(0, "the pitch " + number(options.pitchMm) + " mm is outside " +
                             number(MIN_PRESSURE_PITCH_MM) + "-" + number(MAX_PRESSURE_PITCH_MM) +
                             " mm");
    }
    const double kpaPer = kpaPerUnit(options.units);
    std::string_view line;
    char separator = 0;
    int blankLine = 0;
    std::vector<float> row;
    while (lines.next(line)) {
        const int n = lines.number();
        const std::string_view text = trim(line);
        if (text.empty()) {
            if (map.rows > 0 && !blankLine) {
                blankLine = n;
            }
            continue;
        }
        if (blankLine) {
            return refuse(blankLine, "a blank line inside the matrix");
        }
        if (map.rows == MAX_PRESSURE_SIDE) {
            return refuse(n, "more than " + std::to_string(MAX_PRESSURE_SIDE) + " rows");
        }
        if (!separator) {
            separator = matrixSeparator(line);
        }
        // Tabs that separate are not white space to trim: a row may start with an empty field.
        std::string_view fields = line;
        if (separator == '\t') {
            while (!fields.empty() && fields.front() == ' ') {
                fields.remove_prefix(1);
            }
            while (!fields.empty() && fields.back() == ' ') {
                fields.remove_suffix(1);
            }
        } else {
            fields = text;
        }
        row.clear();
        std::size_t at = 0;
        bool more = true;
        while (more) {
            std::string_view field;
            if (separator == ' ') {
                const std::size_t end = std::min(fields.find_first_of(" \t", at), fields.size());
                field = fields.substr(at, end - at);
                at = end;
                while (at < fields.size() && isBlank(fields[at])) {
                    ++at;
                }
                more = at < fields.size();
            } else {
                const std::size_t end = std::min(fields.find(separator, at), fields.size());
                field = trim(fields.substr(at, end - at));
                at = end + 1;
                more = end < fields.size();
            }
            if (static_cast<int>(row.size()) == MAX_PRESSURE_SIDE) {
                return refuse(n, "more than " + std::to_string(MAX_PRESSURE_SIDE) + " columns");
            }
            float kpa = 0;
            const std::string problem = readValue(field, true, kpaPer, kpa);
            if (!problem.empty()) {
                return refuse(n, "column " + std::to_string(row.size() + 1) + ": " + problem);
            }
            row.push_back(kpa);
        }
        if (map.rows == 0) {
            map.cols = static_cast<int>(row.size());
        } else if (static_cast<int>(row.size()) != map.cols) {
            return refuse(n, "a row of " + std::to_string(row.size()) + " values, not " +
                                 std::to_string(map.cols) + " as the first row");
        }
        map.kpa.insert(map.kpa.end(), row.begin(), row.end());
        ++map.rows;
    }
    if (map.rows == 0) {
        return refuse(0, "the file holds no measurement");
    }
    map.format = MATRIX_FORMAT;
    map.rowPitchMm = options.pitchMm;
    map.colPitchMm = options.pitchMm;
    map.frames = 1;
    map.heelFirst = options.heelFirst;
    // Heel first, the matrix is turned end for end: rows and columns both reversed.
    return finishMap(map, options.heelFirst, options.heelFirst, refuse);
}

}  // namespace

bool pressureUnitFromName(const std::string& name, PressureUnit& unit)
{
    static const struct {
        const char* name;
        PressureUnit unit;
    } units[] = {{"kpa", PressureUnit::Kpa},
                 {"mpa", PressureUnit::Mpa},
                 {"n/cm2", PressureUnit::NewtonPerCm2},
                 {"psi", PressureUnit::Psi}};
    for (const auto& u : units) {
        if (sameIgnoringCase(name, u.name)) {
            unit = u.unit;
            return true;
        }
    }
    return false;
}

double kpaPerUnit(PressureUnit unit)
{
    switch (unit) {
    case PressureUnit::Mpa: return 1000.0;
    case PressureUnit::NewtonPerCm2: return 10.0;
    // One pound-force per square inch: 4.4482216152605 N over 0.00064516 m².
    case PressureUnit::Psi: return 6.894757293168361;
    case PressureUnit::Kpa: break;
    }
    return 1.0;
}

bool pressurePitchInRange(double pitchMm)
{
    return pitchMm >= MIN_PRESSURE_PITCH_MM && pitchMm <= MAX_PRESSURE_PITCH_MM;
}

bool readPressureBytes(const std::uint8_t* data, std::size_t size, const char* name,
                       const PressureOptions& options, PressureMap& map, std::string& failure)
{
    map = PressureMap{};
    const Refusal refuse{name, failure};
    if (size > MAX_PRESSURE_FILE_BYTES) {
        return refuse(0, "the file is larger than " +
                             std::to_string(MAX_PRESSURE_FILE_BYTES >> 20) + " MiB");
    }
    // The kind of file shows in its first line that is not blank.
    Lines probe(data, size);
    std::string_view line;
    bool matrix = false;
    bool found = false;
    while (!found && probe.next(line)) {
        if (!trim(line).empty()) {
            found = true;
            matrix = startsAsMatrix(line);
        }
    }
    if (!found) {
        return refuse(0, "the file holds no measurement");
    }
    PressureMap read;
    Lines lines(data, size);
    const bool ok =
        matrix ? readMatrix(lines, options, read, refuse) : readSensorExport(lines, read, refuse);
    if (ok) {
        map = std::move(read);
    }
    return ok;
}

bool readPressureFile(const char* path, const PressureOptions& options, PressureMap& map,
                      std::string& failure, std::vector<std::uint8_t>* kept)
{
    map = PressureMap{};
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        failure = std::string(path) + ": " + std::strerror(errno);
        return false;
    }
    // Read at most one byte beyond the limit: enough to know that a file is too large,
    // whatever its size claimed to be when it was opened.
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    bool tooLarge = false;
    while (!tooLarge) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        if (got == 0) {
            break;
        }
        const std::size_t room = MAX_PRESSURE_FILE_BYTES + 1 - bytes.size();
        bytes.insert(bytes.end(), block, block + std::min(got, room));
        tooLarge = bytes.size() > MAX_PRESSURE_FILE_BYTES;
    }
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError) {
        failure = std::string(path) + ": " + std::strerror(readError);
        return false;
    }
    PressureMap read;
    if (!readPressureBytes(bytes.data(), bytes.size(), path, options, read, failure) ||
        !isFootMeasurement(read, path, failure)) {
        return false;
    }
    map = std::move(read);
    if (kept) {
        *kept = std::move(bytes);
    }
    return true;
}

bool isFootMeasurement(const PressureMap& map, const char* name, std::string& failure)
{
    const Refusal refuse{name, failure};
    if (map.rows < MIN_PRESSURE_SIDE || map.cols < MIN_PRESSURE_SIDE) {
        return refuse(0, "not a foot measurement: " + std::to_string(map.rows) + " x " +
                             std::to_string(map.cols) + " cells (rows x columns), fewer than " +
                             std::to_string(MIN_PRESSURE_SIDE) + " x " +
                             std::to_string(MIN_PRESSURE_SIDE));
    }
    std::size_t loadedCells = 0;
    for (float v : map.kpa) {
        loadedCells += v > PRESSURE_NOISE_KPA;
    }
    const double loadedMm2 = static_cast<double>(loadedCells) * map.rowPitchMm * map.colPitchMm;
    if (loadedMm2 < MIN_LOADED_AREA_MM2) {
        return refuse(0, "not a foot measurement: its loaded area (cells above the " +
                             number(PRESSURE_NOISE_KPA) + " kPa noise floor) is " +
                             number(loadedMm2) + " mm², under " + number(MIN_LOADED_AREA_MM2) +
                             " mm²");
    }
    return true;
}

float pressureAtMm(const PressureMap& map, double xMm, double yMm)
{
    if (map.empty() || !(xMm >= 0) || !(yMm >= 0)) {
        return NO_DATA;
    }
    const double col = std::floor(xMm / map.colPitchMm);
    const double fromHeel = std::floor(yMm / map.rowPitchMm);
    if (col >= map.cols || fromHeel >= map.rows) {
        return NO_DATA;
    }
    return map.at(map.rows - 1 - static_cast<int>(fromHeel), static_cast<int>(col));
}
