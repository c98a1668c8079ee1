#include "view/file_dialogs.h"

#include "base/trace.h"
#include "imagefile/insole_export.h"

#include <FL/Fl_Native_File_Chooser.H>

bool chooseFile(const char* title, FileDialog kind, std::string& chosen, const std::string& startFolder)
{
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(title);
    chooser.type(kind == FileDialog::Save ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                          : Fl_Native_File_Chooser::BROWSE_FILE);
    if (!startFolder.empty()) {
        chooser.directory(startFolder.c_str());
    }
    switch (chooser.show()) {
    case -1:
        traceDialogError(chooser.errmsg());
        return false;
    case 1:
        traceDialogCancel();
        return false;
    default:
        chosen = chooser.filename();
        return true;
    }
}

void exportInsole(const Grid& heightGrid, SourceImage& image)
{
    if (image.empty()) {
        traceNothingToSave();
        return;
    }
    std::string chosen;
    if (chooseFile("Save The Diabetic Insole", FileDialog::Save, chosen)) {
        saveInsole(heightGrid, image, chosen.c_str());
    }
}
