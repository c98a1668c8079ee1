#include "support/pressure_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

std::string pressureMatrixOf(const FootGrid& foot, double pitchMm)
{
    int minY = GRID_ROWS, maxY = -1;
    for (int y = 0; y < GRID_ROWS; ++y) {
        for (int x = 0; x < FOOT_COLUMNS; ++x) {
            if (foot[footIndex(x, y)]) {
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    const double length = maxY - minY + 1;
    const double ball = minY + 0.72 * length;
    const double heel = minY + 0.12 * length;
    const int rows = static_cast<int>(std::floor(GRID_ROWS / pitchMm));
    const int cols = static_cast<int>(std::floor(FOOT_COLUMNS / pitchMm));
    std::string text;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const double x = (c + 0.5) * pitchMm;
            const double y = GRID_ROWS - (r + 0.5) * pitchMm;  // row 0 at the toes
            const bool onFoot = foot[footIndex(static_cast<int>(x), static_cast<int>(y))] != 0;
            const double kpa = onFoot ? 80 + 370 * std::exp(-std::pow((y - ball) / (0.06 * length), 2)) +
                                            180 * std::exp(-std::pow((y - heel) / (0.07 * length), 2))
                                      : 0.0;
            char value[16];
            std::snprintf(value, sizeof value, "%s%.1f", c ? "," : "", kpa);
            text += value;
        }
        text += '\n';
    }
    return text;
}

namespace {

std::vector<std::vector<std::string>> matrixCells(const std::string& matrix)
{
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    while (at < matrix.size()) {
        std::size_t end = matrix.find('\n', at);
        if (end == std::string::npos) {
            end = matrix.size();
        }
        const std::string line = matrix.substr(at, end - at);
        std::vector<std::string> row;
        std::size_t from = 0;
        for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos;
             from = comma + 1) {
            row.push_back(line.substr(from, comma - from));
        }
        row.push_back(line.substr(from));
        rows.push_back(row);
        at = end + 1;
    }
    return rows;
}

std::string matrixText(const std::vector<std::vector<std::string>>& rows)
{
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += (c ? "," : "") + row[c];
        }
        text += '\n';
    }
    return text;
}

}  // namespace

std::string matrixTurnedEndForEnd(const std::string& matrix)
{
    auto rows = matrixCells(matrix);
    std::reverse(rows.begin(), rows.end());
    for (auto& row : rows) {
        std::reverse(row.begin(), row.end());
    }
    return matrixText(rows);
}

std::string matrixTurnedOver(const std::string& matrix)
{
    auto rows = matrixCells(matrix);
    for (auto& row : rows) {
        std::reverse(row.begin(), row.end());
    }
    return matrixText(rows);
}
