#include "ui/kit/UrlOpener.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace orvane {

namespace {

UrlOpenerFunction& currentOpener()
{
    static UrlOpenerFunction opener = spawnXdgOpen;
    return opener;
}

} // namespace

bool spawnXdgOpen(const std::string& url)
{
    if (url.empty() || url.front() == '-')
        return false;
    std::string program = "xdg-open";
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        return false;
    // The opener usually hands over to a browser and ends at once; nobody waits for it, but
    // it must not stay behind as a zombie.
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

UrlOpenerFunction setUrlOpener(UrlOpenerFunction opener)
{
    return std::exchange(currentOpener(), std::move(opener));
}

bool openUrl(const std::string& url)
{
    return currentOpener() ? currentOpener()(url) : false;
}

} // namespace orvane
