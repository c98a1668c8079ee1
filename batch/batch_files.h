// Where tarsola-batch reads and writes: folders, the identity of files, the names of each
// foot's outputs and measurement.
#pragma once

#include <string>
#include <sys/types.h>

bool isFolder(const std::string& path);

// Identity of an existing file, to see that two names lead to the same one.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool exists = false;
};

FileId fileId(const std::string& path);
bool sameFile(const FileId& a, const FileId& b);

// A foot's name without its folder and extension: the name of its files in an output folder.
std::string stem(const std::string& foot);
