// The size of one height level in millimetres: how a grid's heights become a solid's
// thickness, and how a 3D scan's heights become grey levels.
#pragma once

#include <string>

// At 0.2 mm the 30-degree limit's steps (3 levels per 1 mm edge step, 4 per diagonal step)
// come out at 31 and 29.5 degrees.
constexpr double DEFAULT_LEVEL_MM = 0.2;
constexpr double MIN_LEVEL_MM = 0.05;
constexpr double MAX_LEVEL_MM = 1.0;

// Whether a level size lies in MIN_LEVEL_MM..MAX_LEVEL_MM; NaN does not.
constexpr bool levelInRange(double levelMm)
{
    return levelMm >= MIN_LEVEL_MM && levelMm <= MAX_LEVEL_MM;
}

// Whether a level size lies in its range; when it does not, `problem` says so with the range
// ("level size 2 mm is outside 0.05-1 mm"), as every refusal of a level size reads.
bool levelInRange(double levelMm, std::string& problem);
