// Trace output: every diagnostic line of the program comes from one function here, so the
// formats stay exactly as users' scripts and the tests expect them. Standard output carries
// the running trace (several lines end in a blank, some have no newline at all); standard
// error carries dialog failures and the reasons why a file was refused or not written.
// Every write is flushed at once: the program has no console, and the lines are read from
// a redirected stream by whoever watches it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Sends the running trace (the lines that go to standard output) and the problem lines (those
// on standard error) to other streams; a null stream drops them. A front end whose standard
// output is a machine-readable report keeps the running trace out of it this way.
void setTraceStreams(std::FILE* running, std::FILE* problems);
// The streams in use now, so that a caller that redirects them for a while can put them back.
std::FILE* runningTraceStream();
std::FILE* problemTraceStream();

// What a person at a window reads: every line on the problem stream reaches the listener as
// a message too (its text without the newline), and so do the successes, which have no trace
// line of their own. A window shows the last one; the trace lines stay exactly as they are.
// A line about one file names it as it was given (often with its folders); `file` is that
// name, or empty, so that a window can name the file without the folders that push the
// reason out of sight.
enum class MessageKind { Done, Warning, Error };
using MessageListener = void (*)(const std::string& text, MessageKind kind, const std::string& file);
// Null: nobody listens (the batch).
void setMessageListener(MessageListener listener);
// Lines written on the problem stream so far: an operation that wrote none of its own can say
// that it succeeded without hiding a warning.
unsigned long problemLinesWritten();
// A success, for the listener only: "Saved insole.bmp".
void traceSuccess(const std::string& text);

// Insole view.
void traceGridMinimum(int minimum);               // "MIN = %d \n"
void traceLowestHeight(float lowest);             // "min %f\n"
void traceDisplayWidth(float displayWidth);       // " LU_Point %f \n"
void tracePan(int panX, int panY);                // "offset %d %d \n"
void traceMiddleClick();                          // "middle mouse click \n"
void traceMouseWheel(int dy);                     // "mouse wheel %d \n"

// Foot image loading: the five values of a new image, run together without newline.
void traceImageProperties(int width, int height, int dpmX, int pitch, int bpp);
void traceLoadFailed();                           // "Unable to load texture: "
// A scan made into a foot image, on the running trace:
// "Scan <file>: <format>, <n> triangles, units <u> (found from its size|as given),
//  <l> x <w> x <h> mm (length x width x height), turned <d> degrees about the up axis (<up>),
//  <k> cells of small holes filled\n" (on one line)
void traceScanPlaced(const char* file, const char* format, std::size_t triangles, const char* units,
                     bool unitsGuessed, double lengthMm, double widthMm, double heightMm,
                     double turnDegrees, const char* up, int filledCells);
// An error message of the image library, on standard error: "FreeImage <format>: <message>\n".
// It reaches no window and counts as no problem line: the library's words mean nothing to a
// person at the window, and an operation that went through despite them says so.
void traceImageLibraryMessage(const char* format, const char* message);

// A drop onto the window that names no local file, on standard error:
// "Drop ignored: <reason>\n".
void traceDropIgnored(const char* reason);

// File dialogs, on standard error.
void traceDialogError(const char* message);       // "ERROR: %s\n" then "*** CANCEL\n"
void traceDialogCancel();                         // "*** CANCEL\n"

// Insole export, on standard error: why a save did not happen, and what it did differently
// from the foot image (another format, zeros beyond the grid).
void traceNothingToSave();                        // "Cannot save insole: no foot image is loaded\n"
// "Cannot save insole <file>: <reason>\n"
void traceSaveFailed(const char* file, const char* reason);
// "Insole <file> is written as BMP, not <format>: <reason>\n"
void traceSavedAsBmp(const char* file, const char* format, const char* reason);
// "Insole <file> is written as an 8-bit grey image: a pixel of <bpp> bits cannot hold a height\n"
void traceSavedAsGrey(const char* file, int bpp);
// "Insole <file>: <w> x <h> pixels is larger than 152 x 360; pixels beyond the grid are 0\n"
void traceInsoleLargerThanGrid(const char* file, int width, int height);

// The insole solid's files (STL, 3MF), on standard error.
// "Cannot save solid: the insole has no foot cell, so there is nothing to save\n"
void traceNoSolidToSave();
// "Cannot save solid <file>: <reason>\n"
void traceSolidSaveFailed(const char* file, const char* reason);
// The 3D window, on standard error: Save solid with no foot loaded, and a level size refused.
void traceNoFootForSolid();                       // "Cannot save solid: no foot image is loaded\n"
// "Level size \"<entry>\" refused: it must be a number from 0.05 to 1 (mm)\n"
void traceLevelRefused(const char* entry);
// The milling window, on standard error: an entry of the setup refused, and why the insole on
// screen cannot be milled with the setup.
// "<Name> \"<entry>\" refused: <why>\n", the parameter's name with a capital:
// "Tool diameter \"30\" refused: it must be a number from 1 to 20 mm\n"
void traceMillEntryRefused(const char* name, const char* entry, const char* why);
// "Cannot mill the insole: <reason>\n"
void traceMillRefused(const char* reason);

// A line on standard error saying why an operation on a file did not happen or only
// partly happened, naming the file: "<what> <file>: <reason>\n".
void traceFileProblem(const char* what, const char* file, const char* reason);
// The same for an operation that went through with something to watch out for: the same
// line, shown as a warning rather than an error.
void traceFileWarning(const char* what, const char* file, const char* reason);

// An entry of the 3D window's that is not a number in its range, on standard error:
// "<what> \"<entry>\" refused: it must be a number from <range>\n".
void traceEntryRefused(const char* what, const char* entry, const char* range);

// A pressure measurement refused by its reader, on standard error, the reader's reason naming
// the file and the line: "Cannot read pressure measurement <file>:<line>: <what>\n".
void tracePressureRefused(const char* failure);

// The insole drawn beyond the grid, on standard error when the cut changes:
// "Insole cut at the grid's edge: <r> rows lost\n", "... <c> columns lost\n" or
// "... <r> rows and <c> columns lost\n".
void traceInsoleCut(int rowsLost, int columnsLost);
