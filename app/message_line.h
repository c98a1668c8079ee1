// One line of text in a window: the last message of the system, in its own words, so that a
// person at the window sees why a load did nothing, that a save went through, or that the
// insole is cut. Every refusal and warning also stays on standard error exactly as it was.
#pragma once

#include "base/trace.h"

#include <FL/Fl_Box.H>

#include <string>

class MessageLine : public Fl_Box {
public:
    // A boxless line that takes no keyboard focus.
    MessageLine(int x, int y, int w, int h);

    // Shows the text, errors and warnings in a warning colour, in place of whatever the line
    // showed. The line names the `file` the text is about (when given) by its name alone, its
    // folders pushing the reason out of sight, and shortens a text longer than itself to the
    // whole words that fit, followed by "…": the messages say what failed first and why
    // after, so the start is what a glance must catch. The whole text is the tooltip.
    void say(const std::string& text, MessageKind kind, const std::string& file = std::string());
    const std::string& text() const { return text_; }
    MessageKind kind() const { return kind_; }
    // The text as the line words it: the file by its name alone.
    const std::string& brief() const { return brief_; }
    // What the line shows at its present width: the brief text, or its shortened start.
    const std::string& shown() const { return shown_; }

    void resize(int x, int y, int w, int h) override;
    void draw() override;

private:
    // Shortens the text to the line's width.
    void fit();

    std::string text_;
    std::string brief_;
    std::string shown_;
    MessageKind kind_ = MessageKind::Done;
};

// Makes `line` the one that every message reaches from now on (the main window's), and starts
// listening to the trace.
void showMessagesOn(MessageLine* line);

// While one of these lives, messages go to another window's line (a null line changes
// nothing): the 3D window's own actions say what became of them there.
class MessagesOn {
public:
    explicit MessagesOn(MessageLine* line);
    ~MessagesOn();
    MessagesOn(const MessagesOn&) = delete;
    MessagesOn& operator=(const MessagesOn&) = delete;

private:
    MessageLine* previous_;
};
