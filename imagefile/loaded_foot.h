// The foot image loaded last in this session, whether it came through the Load dialog, the
// command line or a drop: its name goes into the records that travel with the insole's files
// (a solid's 3MF), so that a workshop knows later which scan an insole came from, and its
// folder is where the Load dialog starts.
#pragma once

#include <string>

// Called by every successful load with the name as the dialog gave it (UTF-8); a refused
// load keeps the foot that was loaded, and its name and folder with it. forgetLoadedFoot
// leaves no foot's name, as before the first load; the folder stays remembered.
void rememberLoadedFoot(const char* chosenUtf8Name);
void forgetLoadedFoot();
// A job was opened: its foot goes by the name the job records (the original file's), and the
// next Load starts in the job's folder.
void rememberJobFoot(const std::string& footFile, const char* jobUtf8Name);
// A step was undone or redone: its foot goes by the name it was recorded with; the Load
// dialog's folder stays.
void rememberFootName(const std::string& footFile);

// The loaded file's name without its folder; empty while no foot is loaded.
const std::string& loadedFootName();

// A file's name without its folder. The folder says where a scan lay on one machine on one
// day; the name is what a workshop files it under.
std::string fileNameOf(const std::string& path);

// The folder that holds a file, as an absolute path: the name up to its last '/', taken
// against `workingFolder` when the name is relative. "/" for a file in the root folder; ""
// for an empty name, or a relative one without a working folder.
std::string folderOfFile(const std::string& fileName, const std::string& workingFolder);

// The folder of the last foot loaded, or "" when none was or it is no longer a folder.
std::string lastFootFolder();
