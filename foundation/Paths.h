#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

// fileType bits
enum : int {
    FileTypeMissing = 0,
    FileTypeExists = 1,
    FileTypeFile = 2,
    FileTypeDirectory = 4,
    FileTypeHidden = 8,
};

bool isAlpha(char c);
String absolutePath(const char* path);
String currentDirectory();
String fullPath(const char* path);
int fileType(const char* path);
int64_t fileSize(const char* path);
String asDirectoryPath(const char* path);
String fileNameOf(const char* path);
bool makeDirectories(const char* path);

struct DirListing;
DirListing* openDir(const char* path);
// The next entry's name, or NULL after the last one.
const char* readDir(DirListing* listing);
int closeDir(DirListing* listing);
void listDirectory(const char* path, StringArray& out);
bool listDirectoryPaths(const char* directory, StringArray& out);

int openFile(const char* path, int flags);

} // namespace orvane
