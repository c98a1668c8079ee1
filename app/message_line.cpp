#include "app/message_line.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

namespace {

MessageLine* currentLine = nullptr;

void showMessage(const std::string& text, MessageKind kind, const std::string& file)
{
    if (currentLine) {
        currentLine->say(text, kind, file);
    }
}

// The text with the first mention of `file` shortened to the part after its last '/'.
std::string withoutFolders(const std::string& text, const std::string& file)
{
    const std::size_t slash = file.rfind('/');
    const std::size_t at = slash == std::string::npos ? std::string::npos : text.find(file);
    if (at == std::string::npos || slash + 1 == file.size()) {
        return text;
    }
    return text.substr(0, at) + file.substr(slash + 1) + text.substr(at + file.size());
}

// Readable on the window's grey background: a dark red for what failed, a dark amber for
// what went through with something to watch.
constexpr Fl_Color ERROR_COLOUR = 0xA0000000;
constexpr Fl_Color WARNING_COLOUR = 0x8C500000;

// FLTK keeps this much free at each end of a label drawn inside a boxless widget.
constexpr int LABEL_INSET = 3;

const char* const ELLIPSIS = "…";

double widthOf(const std::string& text)
{
    return fl_width(text.c_str(), static_cast<int>(text.size()));
}

// The longest start of `text` that ends at a whole word and, with the ellipsis, fits in
// `room` pixels in the current font. A first word wider than the line on its own (a long
// file name) is cut at a character, since nothing would show otherwise.
std::string wholeWordsWithin(const std::string& text, double room)
{
    if (widthOf(text) <= room) {
        return text;
    }
    const double left = room - widthOf(ELLIPSIS);
    std::size_t best = 0;
    for (std::size_t space = text.find(' '); space != std::string::npos;
         space = text.find(' ', space + 1)) {
        if (space == 0 || text[space - 1] == ' ') {
            continue;
        }
        if (widthOf(text.substr(0, space)) > left) {
            break;
        }
        best = space;
    }
    if (best == 0) {
        // Whole characters of the first word, never half of a UTF-8 sequence.
        const char* start = text.c_str();
        const char* end = start + text.size();
        const char* p = start;
        while (p < end) {
            int length = 0;
            fl_utf8decode(p, end, &length);
            const char* next = p + (length > 0 ? length : 1);
            if (widthOf(std::string(start, next)) > left) {
                break;
            }
            p = next;
        }
        best = static_cast<std::size_t>(p - start);
    }
    // A word that ends in a colon or comma reads as complete without it.
    while (best > 0 && (text[best - 1] == ':' || text[best - 1] == ',' || text[best - 1] == ';')) {
        --best;
    }
    return text.substr(0, best) + ELLIPSIS;
}

}  // namespace

MessageLine::MessageLine(int x, int y, int w, int h) : Fl_Box(x, y, w, h)
{
    box(FL_NO_BOX);
    align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    labelsize(13);
    clear_visible_focus();
}

void MessageLine::say(const std::string& text, MessageKind kind, const std::string& file)
{
    text_ = text;
    brief_ = withoutFolders(text, file);
    kind_ = kind;
    copy_tooltip(text.empty() ? nullptr : text.c_str());
    labelcolor(kind == MessageKind::Error     ? ERROR_COLOUR
               : kind == MessageKind::Warning ? WARNING_COLOUR
                                              : FL_FOREGROUND_COLOR);
    fit();
    // The label is drawn over the window's own background.
    if (window()) {
        window()->damage(FL_DAMAGE_ALL, x(), y(), w(), h());
    }
    redraw();
}

void MessageLine::fit()
{
    // Text is measured on the display; before it is open the first drawing fits the text.
    if (!fl_display) {
        shown_ = brief_;
        copy_label(shown_.c_str());
        return;
    }
    fl_font(labelfont(), labelsize());
    shown_ = wholeWordsWithin(brief_, w() - 2 * LABEL_INSET);
    copy_label(shown_.c_str());
}

void MessageLine::resize(int x, int y, int w, int h)
{
    const bool widthChanged = w != this->w();
    Fl_Box::resize(x, y, w, h);
    if (widthChanged && !text_.empty()) {
        fit();
    }
}

void MessageLine::draw()
{
    if (shown_ == brief_ && !brief_.empty()) {
        fit();
    }
    // Drawn without FLTK's label symbols: an '@' in a file name is a character like any other.
    fl_font(labelfont(), labelsize());
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    fl_push_clip(x(), y(), w(), h());
    fl_draw(shown_.c_str(), x() + LABEL_INSET, y(), w() - 2 * LABEL_INSET, h(),
            FL_ALIGN_LEFT | FL_ALIGN_INSIDE, nullptr, 0);
    fl_pop_clip();
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
