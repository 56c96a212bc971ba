#pragma once

#include <string>

namespace orvane {

// The one record two webjoin windows exchange, carried as the data text of a module
// message. Written compactly with self-closing, its children become attributes:
//
//   <data command="NAVIGATE" url="..." session_id="..."/>
//
// Reading is forgiving: text that does not parse, or lacks a child, gives empty fields.
// The command is upper-cased in the ASCII letters only, so "navigate" is recognised while
// bytes above 127 stay as they came.
struct NavigateRecord {
    std::string command;
    std::string url;
    std::string sessionId;

    static std::string write(const std::string& url, const std::string& sessionId);
    static NavigateRecord read(const char* data);
};

// Whether the peer may send a window to url: http and https addresses (scheme compared
// without case) and exactly "about:blank". Anything else a page could run or read
// locally (javascript:, file:, data:, ...) is never taken from the network.
bool isAddressAPeerMayOpen(const std::string& url);

} // namespace orvane
