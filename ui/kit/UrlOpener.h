#pragma once

#include <functional>
#include <string>

namespace orvane {

// Opens a link the way the desktop does: the URL goes to `xdg-open` as one argument of a
// spawned process, never into a command line, so no text in it is ever run by a shell.
// Answers whether the opener could be started; what the opener then does with the URL is
// the desktop's business.
//
// A URL that starts with '-' is refused: the opener would take it for one of its options.
// User-interface thread; the opener runs on its own and is reaped in the background.
bool openUrl(const std::string& url);

// The opener in use; tests put a double in its place and get the previous one back.
using UrlOpenerFunction = std::function<bool(const std::string& url)>;
UrlOpenerFunction setUrlOpener(UrlOpenerFunction opener);

// The real opener: `xdg-open URL` found through PATH.
bool spawnXdgOpen(const std::string& url);

} // namespace orvane
