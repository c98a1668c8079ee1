// The reports of tarsola-batch: one JSON object per foot, and the text line made from it. The
// figures are rounded here once, to what a person would type again, so that both reports
// carry the same values.
#pragma once

#include "insole/recompute.h"
#include "insole/relief_plan.h"
#include "mill/toolpath.h"
#include "pressure/placement.h"
#include "pressure/pressure_file.h"
#include "solid/solid_mesh.h"

#include <nlohmann/json.hpp>

#include <string>

// The name of a foot image's format, as the reports and messages give it.
std::string formatOf(int format);

// A figure as the text report prints it: the shortest decimal of its value to a few places.
std::string number(double value);
// The shortest decimal that reads back as exactly this value: a range's end is printed as
// the value it is compared with.
std::string exact(double value);
// A coordinate of the solid as the shortest decimal that is the same float ("2.6", not
// "2.5999999046325684").
double shortest(double floatValue);
// Figures of a scan as traced: to a tenth of a millimetre or degree.
double rounded(double value);
// A figure of the relief to this many decimals, never "-0": what a person would type again.
double decimals(double value, int places);

nlohmann::json solidReport(const SolidFigures& f, double levelMm);
nlohmann::json millingReport(const MillFigures& f, std::size_t fileBytes);
nlohmann::json measurementReport(const std::string& file, const PressureMap& map);
nlohmann::json placementReport(const PressurePlacement& p, const PlacementCorrection& hand);
nlohmann::json reliefReport(const ReliefPlan& plan);
nlohmann::json zonesReport(const DrawnRelief& drawn);
// The foot's landmarks, and each element that is on with where it was placed.
nlohmann::json landmarksReport(const FootFrame& frame);
nlohmann::json elementsReport(const ElementRaise& elements);

// The one line of the text report of a foot, from its JSON report.
std::string textReport(const nlohmann::json& r);
