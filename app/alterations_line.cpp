#include "app/alterations_line.h"

#include "app/main_window.h"
#include "app/prescription_window.h"
#include "insole/alterations.h"
#include "view/gl_display_image.h"
#include "view/insole_listener.h"

#include <FL/Fl_Box.H>

#include <string>

Fl_Box* alterationsLine = nullptr;

namespace {

InsoleListener listenedBefore = nullptr;

// Called inside the view's frame, like every listener: only a label changes.
void insoleHasChanged()
{
    Fl_Box* line = alterationsLine;
    const std::string text =
        insoleAlterations(insoleView->reliefPlan.get(), *insoleView->drawnRelief,
                          insoleView->elementPlan.get(), *insoleView->drawnElements,
                          elementsOnText());
    if (text != (line->label() ? line->label() : "")) {
        line->copy_label(text.c_str());
        line->copy_tooltip(text.empty() ? nullptr : text.c_str());
        // The label is drawn over the window's own background.
        if (line->window()) {
            line->window()->damage(FL_DAMAGE_ALL, line->x(), line->y(), line->w(), line->h());
        }
    }
    if (listenedBefore) {
        listenedBefore();
    }
}

// Apart from the message line's red and amber: a state, not a problem.
constexpr Fl_Color ALTERATION_COLOUR = 0x00408000;

}  // namespace

Fl_Box* createAlterationsLine()
{
    alterationsLine = new Fl_Box(FL_NO_BOX, 125, 448, 342, 24, nullptr);
    alterationsLine->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    alterationsLine->labelsize(13);
    alterationsLine->labelcolor(ALTERATION_COLOUR);
    alterationsLine->clear_visible_focus();
    listenedBefore = insoleChanged;
    insoleChanged = insoleHasChanged;
    return alterationsLine;
}
