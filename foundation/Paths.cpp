#include "foundation/Paths.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

const char Separator = '/';

int lastSeparator(const String& s)
{
    for (int i = s.length() - 1; i >= 0; --i) {
        if (s.at(i) == Separator)
            return i;
    }
    return -1;
}

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool statPath(const char* path, struct stat& st)
{
    if (!path)
        return false;
    String absolute = absolutePath(path);
    return !absolute.isEmpty() && ::stat(absolute.c_str(), &st) == 0;
}

bool isDirectory(const char* path)
{
    return (fileType(path) & FileTypeDirectory) != 0;
}

// The last component of a path, ignoring trailing separators.
String lastComponent(const char* path)
{
    String s(path);
    while (s.length() > 1 && s.at(s.length() - 1) == Separator)
        s.setLength(s.length() - 1);
    int slash = lastSeparator(s);
    return slash < 0 ? s : s.substring(slash + 1);
}

// Creates the directory and, when its parent is missing, the parents from the top down.
// Every step works on a strictly shorter text, so odd paths cannot make it recurse forever.
bool makeDirectoriesAbsolute(const String& path)
{
    if (path.isEmpty())
        return false;
    // Owner-only, like the files the program writes into these folders.
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    // Only a missing parent can be helped by creating it; any other failure (the directory
    // exists, no permission, a file in the way) leaves every ancestor's creation failing too.
    if (errno != ENOENT)
        return false;
    int slash = lastSeparator(path);
    if (slash <= 0)
        return false;
    String parent = path.substring(0, slash);
    if (parent.length() >= path.length() || !makeDirectoriesAbsolute(parent))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0;
}

} // namespace

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

String absolutePath(const char* path)
{
    if (!path || !*path)
        return String();
    if (path[0] == Separator)
        return String(path);
    String result = currentDirectory();
    // A current directory of "/" must not give "//name".
    if (!result.endsWith("/"))
        result += Separator;
    result += path;
    return result;
}

String currentDirectory()
{
    // getcwd answers ERANGE while the buffer is short; the buffer then doubles, so deep
    // directories are read in full. The bound only stops a runaway loop.
    String buffer;
    for (int size = 256; size <= (1 << 24); size *= 2) {
        buffer.setLength(size);
        if (::getcwd(buffer.data(), static_cast<size_t>(size) + 1)) {
            buffer.setLength(static_cast<int>(std::strlen(buffer.c_str())));
            return buffer;
        }
        if (errno != ERANGE)
            break;
    }
    return String("null");
}

String fullPath(const char* path)
{
    // The full name is worked out from the text alone, the way a Windows full path name is:
    // "." and ".." are resolved, repeated separators collapse, symbolic links are kept and
    // the path need not exist. A trailing separator stays.
    if (!path || !*path)
        return String();
    if (path[0] != Separator && currentDirectory() == "null")
        return String(); // no base to resolve against
    String absolute = absolutePath(path);

    String result;
    result.reserve(absolute.length());
    const char* p = absolute.c_str();
    while (*p) {
        while (*p == Separator)
            ++p;
        const char* start = p;
        while (*p && *p != Separator)
            ++p;
        int n = static_cast<int>(p - start);
        if (n == 0 || (n == 1 && start[0] == '.'))
            continue;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            int slash = lastSeparator(result);
            result.setLength(slash < 0 ? 0 : slash); // ".." above the root stays at the root
            continue;
        }
        result += Separator;
        result.append(start, n);
    }
    if (result.isEmpty())
        return String("/");
    if (absolute.endsWith("/"))
        result += Separator;
    return result;
}

int fileType(const char* path)
{
    struct stat st;
    if (!statPath(path, st))
        return FileTypeMissing;
    int type = FileTypeExists;
    type |= S_ISDIR(st.st_mode) ? FileTypeDirectory : FileTypeFile;
    // Hidden entries are the dot files; "." and ".." name ordinary directories.
    String name = lastComponent(path);
    if (name.length() > 0 && name.at(0) == '.' && !isDotOrDotDot(name.c_str()))
        type |= FileTypeHidden;
    return type;
}

int64_t fileSize(const char* path)
{
    if (!path)
        return -1;
    struct stat st;
    if (!statPath(path, st) || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<int64_t>(st.st_size);
}

String asDirectoryPath(const char* path)
{
    String result(path);
    if (!result.isEmpty() && !result.endsWith("/") && isDirectory(path))
        result += Separator;
    return result;
}

String fileNameOf(const char* path)
{
    String s(path);
    if (s.endsWith("/") && isDirectory(path))
        s.setLength(s.length() - 1);
    int slash = lastSeparator(s);
    return slash < 0 ? s : s.substring(slash + 1);
}

bool makeDirectories(const char* path)
{
    if (!path)
        return false;
    String absolute = absolutePath(path);
    if (absolute.endsWith("/"))
        absolute.setLength(absolute.length() - 1);
    return makeDirectoriesAbsolute(absolute);
}

struct DirListing {
    DIR* dir = nullptr; // NULL once the listing is exhausted
};

DirListing* openDir(const char* path)
{
    if (!isDirectory(path))
        return nullptr;
    DIR* dir = ::opendir(absolutePath(path).c_str());
    if (!dir)
        return nullptr;
    DirListing* listing = new DirListing;
    listing->dir = dir;
    return listing;
}

const char* readDir(DirListing* listing)
{
    if (!listing || !listing->dir)
        return nullptr;
    if (struct dirent* entry = ::readdir(listing->dir))
        return entry->d_name;
    ::closedir(listing->dir);
    listing->dir = nullptr;
    return nullptr;
}

int closeDir(DirListing* listing)
{
    if (!listing)
        return 0;
    int result = 0;
    if (listing->dir && ::closedir(listing->dir) != 0)
        result = -1;
    delete listing;
    return result;
}

void listDirectory(const char* path, StringArray& out)
{
    out.clear();
    DirListing* listing = openDir(path);
    if (!listing)
        return;
    try {
        while (const char* name = readDir(listing)) {
            if (!isDotOrDotDot(name))
                out.add(String(name));
        }
    } catch (...) {
        closeDir(listing);
        throw;
    }
    closeDir(listing);
}

bool listDirectoryPaths(const char* directory, StringArray& out)
{
    if (!isDirectory(directory)) {
        out.clear();
        return false;
    }
    StringArray names;
    listDirectory(directory, names);
    String prefix(directory);
    if (!prefix.endsWith("/"))
        prefix += Separator;
    out.clear();
    for (const String& name : names)
        out.add(prefix + name);
    return true;
}

int openFile(const char* path, int flags)
{
    if (!path)
        return -1;
    String absolute = absolutePath(path);
    int fd;
    do {
        fd = ::open(absolute.c_str(), flags | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace orvane
