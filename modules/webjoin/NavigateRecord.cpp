#include "modules/webjoin/NavigateRecord.h"

#include "foundation/XmlNode.h"

namespace orvane {

namespace {

std::string childText(const XmlNode& node, const char* name)
{
    const XmlNode* child = node.getChild(name);
    return child ? std::string(child->getValue().c_str(), child->getValue().length()) : std::string();
}

bool startsWithIgnoringCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string NavigateRecord::write(const std::string& url, const std::string& sessionId)
{
    XmlNode data("data");
    data.addChild("command", "NAVIGATE");
    data.addChild("url", url.c_str());
    data.addChild("session_id", sessionId.c_str());
    const String text = data.toCompactString(true);
    return std::string(text.c_str(), text.length());
}

NavigateRecord NavigateRecord::read(const char* data)
{
    NavigateRecord record;
    XmlNode node;
    if (!data || !node.parse(data))
        return record;
    record.command = childText(node, "command");
    for (char& c : record.command) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    record.url = childText(node, "url");
    record.sessionId = childText(node, "session_id");
    return record;
}

bool isAddressAPeerMayOpen(const std::string& url)
{
    if (url == "about:blank")
        return true;
    return startsWithIgnoringCase(url, "http://") || startsWithIgnoringCase(url, "https://");
}

} // namespace orvane
