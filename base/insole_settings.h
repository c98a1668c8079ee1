// What the controls say the insole should be: the width and length slider values in
// millimetres, the height slider's ratio and the limit button. Every front end makes an
// insole from these, and the 3MF records them so that the same insole can be made again.
#pragma once

struct InsoleSettings {
    double width = 0.0;
    double length = 0.0;
    double heightRatio = 1.0;
    bool limit = false;
};
