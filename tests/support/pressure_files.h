// Measurements of a foot written by the tests: what a pressure plate under the foot image's
// foot would export as a plain matrix.
#pragma once

#include "base/grid.h"

#include <string>

// CSV text, one row of sensor cells of `pitchMm` per line, the first row at the toes (the top
// of the foot image), over the whole 150 x 360 mm of the foot image. A cell whose centre lies
// on the foot measures a pressure that peaks under the ball (about 450 kPa) and the heel
// (about 260 kPa) over a floor of 80 kPa; a cell off the foot measures 0.
std::string pressureMatrixOf(const FootGrid& foot, double pitchMm);

// The same CSV matrix as another plate would store it: turned end for end (180 degrees in its
// own plane: the first row at the heel, as when the foot stood the other way round), or
// turned over left to right (as the other foot's measurement lies).
std::string matrixTurnedEndForEnd(const std::string& matrix);
std::string matrixTurnedOver(const std::string& matrix);
