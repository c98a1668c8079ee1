#include "app/message_line.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace {

MessageLine* currentLine = nullptr;

void showMessage(const std::string& text, MessageKind kind)
{
    if (currentLine) {
        currentLine->say(text, kind);
    }
}

// Readable on the window's grey background: a dark red for what failed, a dark amber for
// what went through with something to watch.
constexpr Fl_Color ERROR_COLOUR = 0xA0000000;
constexpr Fl_Color WARNING_COLOUR = 0x8C500000;

}  // namespace

MessageLine::MessageLine(int x, int y, int w, int h) : Fl_Box(x, y, w, h)
{
    box(FL_NO_BOX);
    align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    labelsize(13);
    clear_visible_focus();
}

void MessageLine::say(const std::string& text, MessageKind kind)
{
    text_ = text;
    kind_ = kind;
    copy_label(text.c_str());
    copy_tooltip(text.empty() ? nullptr : text.c_str());
    labelcolor(kind == MessageKind::Error     ? ERROR_COLOUR
               : kind == MessageKind::Warning ? WARNING_COLOUR
                                              : FL_FOREGROUND_COLOR);
    // The label is drawn over the window's own background.
    if (window()) {
        window()->damage(FL_DAMAGE_ALL, x(), y(), w(), h());
    }
    redraw();
}

void showMessagesOn(MessageLine* line)
{
    currentLine = line;
    setMessageListener(showMessage);
}

MessagesOn::MessagesOn(MessageLine* line) : previous_(currentLine)
{
    if (line) {
        currentLine = line;
    }
}

MessagesOn::~MessagesOn() { currentLine = previous_; }
