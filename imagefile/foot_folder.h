// Where the Load dialog starts: the folder of the last foot image loaded in this session,
// whether it came through the dialog, the command line or a drop.
#pragma once

#include <string>

// The folder that holds a file, as an absolute path: the name up to its last '/', taken
// against `workingFolder` when the name is relative. "/" for a file in the root folder; ""
// for an empty name, or a relative one without a working folder.
std::string folderOfFile(const std::string& fileName, const std::string& workingFolder);

// Remembers the folder of a foot image just loaded; a relative name is taken against the
// working folder of this moment.
void rememberFootFolder(const char* fileName);

// The folder remembered last, or "" when none was or it is no longer a folder.
std::string lastFootFolder();
