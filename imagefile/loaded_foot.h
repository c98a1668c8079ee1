// The name of the foot image now loaded, for the records that go with the insole's files
// (a solid's 3MF metadata), so that a workshop knows later which scan an insole came from.
#pragma once

#include <string>

// Called by every load: the name as the dialog gave it (UTF-8) after a successful load, and
// forgetLoadedFoot after a failed one, which leaves no foot loaded.
void rememberLoadedFoot(const char* chosenUtf8Name);
void forgetLoadedFoot();

// The file's name without its folder; empty while no foot is loaded.
const std::string& loadedFootName();
