// What the insole view needs of the window around it: the settings the controls show at this
// moment, the level size that solids are made with, and the controls that take the measured
// size of a new foot. The window implements this and installs it in the view, so that the
// view never reaches up into the window's own code.
#pragma once

#include "base/insole_settings.h"
#include "imagefile/foot_image.h"

class InsoleControls {
public:
    virtual ~InsoleControls() = default;

    // The width and length slider values, the height slider's ratio and the limit button, as
    // they stand now: a recompute frame shapes with exactly these.
    virtual InsoleSettings settings() const = 0;
    // The level size, in millimetres, that solids are made with now; a scan's grey levels
    // take it too.
    virtual double levelMm() const = 0;
    // A foot was loaded and measured: the width and length sliders take its size as their
    // values and the ranges that go with it.
    virtual void footMeasured(const SliderSetting& width, const SliderSetting& length) = 0;
};
