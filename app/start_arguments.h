// The command line of the window program: `tarsola [the window toolkit's options] [FOOT]`.
#pragma once

#include <string>

// What the command line asks the window program to do.
struct StartRequest {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    std::string foot;     // the foot image to load once the window is up; empty for none
    std::string problem;  // for Usage: what is wrong with the command line
};

// The window toolkit's parser of one option, shaped like FLTK's Fl::arg: when argv[i] is one
// of its options and carries the value it needs, the parser takes both, moves i past them and
// returns how many words it took; otherwise it returns 0 and leaves i alone.
using ToolkitOption = int (*)(int argc, char** argv, int& i);

// Reads the command line. Every word before "--" is offered to the toolkit first: its options
// are many, may be abbreviated (-geo, -di) and take values, and only the toolkit knows them.
// A word it does not take is -h or --help, --version (either ends the reading at once),
// "--" (every later word is a foot), a word starting with '-' that nobody knows (a problem),
// or the foot. More than one foot is a problem too.
StartRequest readStartArguments(int argc, char** argv, ToolkitOption toolkitOption);

// What the window program does, its usage and its options, for --help and after a problem.
const char* startUsage();
