// The Load and Save dialogs.
#pragma once

#include "base/grid.h"
#include "imagefile/source_image.h"

#include <string>

enum class FileDialog { Load, Save };

// Shows the native file chooser with a title, starting in `startFolder` unless that is empty.
// Returns true with the chosen name (UTF-8, a full path) in `chosen`; on a failed or
// cancelled dialog traces it and returns false.
bool chooseFile(const char* title, FileDialog kind, std::string& chosen,
                const std::string& startFolder = std::string());

// The Save button: asks for a name and writes the insole's height map into the foot image
// and under that name. With no foot image loaded there is nothing to save: it says so and
// shows no dialog.
void exportInsole(const Grid& heightGrid, SourceImage& image);
