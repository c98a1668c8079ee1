// How a foot image gets named to the window program: on its command line, in a drop, and
// where the Load dialog starts.
#include "app/start_arguments.h"
#include "imagefile/dropped_files.h"
#include "imagefile/loaded_foot.h"

#include "support/test_support.h"

#include <FL/Fl.H>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Reads a command line with FLTK's own option parser, as the program does.
StartRequest read(std::vector<std::string> words)
{
    words.insert(words.begin(), "tarsola");
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    return readStartArguments(static_cast<int>(words.size()), argv.data(), Fl::arg);
}

using Action = StartRequest::Action;

DroppedFile drop(const std::string& text) { return firstDroppedFile(text.data(), text.size(), "workshop"); }

}  // namespace

TEST(StartArguments, TheFootMayStandBeforeBetweenOrAfterTheWindowOptions)
{
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"foot.bmp"},
             {"-geometry", "+10+20", "foot.bmp", "-iconic"},
             {"-title", "left foot", "foot.bmp"},
             {"-geo", "300x400", "--", "foot.bmp"}}) {
        const StartRequest request = read(words);
        EXPECT_EQ(request.action, Action::Run) << words.size() << " words";
        EXPECT_EQ(request.foot, "foot.bmp");
    }
    EXPECT_EQ(read({}).foot, "");
    EXPECT_EQ(read({"-kbd"}).action, Action::Run);
    // After "--" a word starting with '-' is a name; a lone "-" is a name anyway.
    EXPECT_EQ(read({"--", "-odd.bmp"}).foot, "-odd.bmp");
    EXPECT_EQ(read({"-"}).foot, "-");
}

TEST(StartArguments, HelpAndVersionWinOverEverythingAfterThem)
{
    EXPECT_EQ(read({"--help"}).action, Action::Help);
    EXPECT_EQ(read({"-h", "a.bmp", "b.bmp"}).action, Action::Help);
    EXPECT_EQ(read({"foot.bmp", "--version", "-zz"}).action, Action::Version);
    // After "--" they are names.
    EXPECT_EQ(read({"--", "--help"}).foot, "--help");
}

TEST(StartArguments, TwoFeetOrAnUnknownOptionAreRefusedByName)
{
    const StartRequest twoFeet = read({"left.bmp", "-iconic", "right.bmp"});
    EXPECT_EQ(twoFeet.action, Action::Usage);
    EXPECT_NE(twoFeet.problem.find("\"right.bmp\""), std::string::npos) << twoFeet.problem;
    EXPECT_EQ(read({"--", "left.bmp", "right.bmp"}).action, Action::Usage);

    for (const auto& words : std::vector<std::vector<std::string>>{
             {"-zz", "foot.bmp"}, {"--width", "100"}, {"foot.bmp", "-geometry"},
             {"-geometry", "huge", "foot.bmp"}}) {
        const StartRequest request = read(words);
        EXPECT_EQ(request.action, Action::Usage) << words[0];
        EXPECT_NE(request.problem.find("unknown option"), std::string::npos) << request.problem;
    }
}

TEST(DroppedFiles, EscapesAreDecodedOnlyWhenWhole)
{
    EXPECT_EQ(drop("file:///tmp/a%20foot.bmp").path, "/tmp/a foot.bmp");
    // UTF-8 bytes of a name, upper and lower case hex, and an escaped '%' that stays one.
    EXPECT_EQ(drop("file:///feet/%E8%B6%B3%e8%b6%b3%2541.bmp").path, "/feet/足足%41.bmp");
    for (const char* broken : {"file:///tmp/a%2", "file:///tmp/a%", "file:///tmp/%zz.bmp",
                               "file:///tmp/%0g.bmp"}) {
        const DroppedFile dropped = drop(broken);
        EXPECT_EQ(dropped.path, "") << broken;
        EXPECT_NE(dropped.reason.find("hex digits"), std::string::npos) << dropped.reason;
    }
    // %00 would end the name at "foot.bmp" and so open a file that was never dropped.
    const DroppedFile cut = drop("file:///tmp/foot.bmp%00.txt");
    EXPECT_EQ(cut.path, "");
    EXPECT_NE(cut.reason.find("%00"), std::string::npos);
}

TEST(DroppedFiles, OnlyFilesOfThisMachineAreLocal)
{
    EXPECT_EQ(drop("file:///home/a.bmp").path, "/home/a.bmp");
    EXPECT_EQ(drop("FILE://LocalHost/home/a.bmp").path, "/home/a.bmp");
    EXPECT_EQ(drop("file://workshop/home/a.bmp").path, "/home/a.bmp");
    EXPECT_EQ(drop("file:/home/a.bmp").path, "/home/a.bmp");
    // A fragment or query is no part of the name.
    EXPECT_EQ(drop("file:///home/a.bmp#page").path, "/home/a.bmp");
    // "file://home/a.bmp" names host "home", not the folder /home.
    EXPECT_NE(drop("file://home/a.bmp").reason.find("another machine"), std::string::npos);
    EXPECT_EQ(drop("file://server/share/a.bmp").path, "");
    EXPECT_EQ(drop("file://workshop").path, "");
    EXPECT_EQ(drop("file:a.bmp").path, "");
    // A plain absolute path, as sources that answer with text give it, is taken as it is.
    EXPECT_EQ(drop("/home/a%20b.bmp\n").path, "/home/a%20b.bmp");
}

TEST(DroppedFiles, TheFirstLocalFileOfAListWins)
{
    const std::string list = "# dragged from a file manager\r\n"
                             "http://example.org/foot.bmp\r\n"
                             "smb://server/feet/left.bmp\r\n"
                             "\r\n"
                             "file:///feet/left%20foot.bmp\r\n"
                             "file:///feet/right.bmp\r\n";
    EXPECT_EQ(drop(list).path, "/feet/left foot.bmp");
    EXPECT_EQ(drop("  file:///feet/a.bmp  \n").path, "/feet/a.bmp");
    // The drop ends at a NUL within its length.
    EXPECT_EQ(drop(std::string("file:///a.bmp\0file:///b.bmp", 27)).path, "/a.bmp");
    EXPECT_EQ(drop(std::string("\0file:///b.bmp", 14)).path, "");

    // Nothing local: the reason names the first entry passed over, shortened and printable.
    EXPECT_EQ(drop("hello\x01world").reason, "\"hello?world\" is neither a file URI nor a path");
    EXPECT_EQ(drop("https://example.org/foot.bmp\nftp://x/y").reason,
              "\"https://example.org/foot.bmp\" is not a file URI");
    EXPECT_EQ(drop("# only a comment\r\n").reason, "it names no file");
    EXPECT_EQ(firstDroppedFile(nullptr, 0, "workshop").reason, "it names no file");
    EXPECT_LT(drop(std::string(5000, 'x')).reason.size(), 120u);
}

TEST(FootFolder, IsTheAbsoluteFolderOfTheLastFootWhileItExists)
{
    EXPECT_EQ(folderOfFile("/feet/left.bmp", "/work"), "/feet");
    EXPECT_EQ(folderOfFile("/left.bmp", "/work"), "/");
    EXPECT_EQ(folderOfFile("left.bmp", "/work"), "/work");
    EXPECT_EQ(folderOfFile("feet/left.bmp", "/work"), "/work/feet");
    EXPECT_EQ(folderOfFile("feet/left.bmp", ""), "");

    TempDir dir;
    const std::string feet = dir.file("my feet");
    ASSERT_EQ(mkdir(feet.c_str(), 0700), 0);
    rememberLoadedFoot((feet + "/left.bmp").c_str());
    EXPECT_EQ(lastFootFolder(), feet);
    ASSERT_EQ(rmdir(feet.c_str()), 0);
    EXPECT_EQ(lastFootFolder(), "");
}
