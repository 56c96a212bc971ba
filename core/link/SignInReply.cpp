#include "core/link/SignInReply.h"

#include "foundation/Containers.h"
#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

#include <utility>

namespace orvane {

namespace {

constexpr const char* SuccessLine = "LOGIN SUCCESS";

// Splits at `separator`, trimming each piece; with dropLastEmpty a final empty piece (the
// text ended with the separator, or was empty) is not a piece.
std::vector<String> splitTrimmed(const String& text, char separator, bool dropLastEmpty)
{
    std::vector<String> pieces;
    int start = 0;
    for (;;) {
        const int end = text.find(separator, start);
        String piece = text.substring(start, end < 0 ? -1 : end - start);
        piece.trim();
        pieces.push_back(piece);
        if (end < 0)
            break;
        start = end + 1;
    }
    if (dropLastEmpty && !pieces.empty() && pieces.back().isEmpty())
        pieces.pop_back();
    return pieces;
}

const String& pieceOrEmpty(const std::vector<String>& pieces, size_t index)
{
    static const String empty;
    return index < pieces.size() ? pieces[index] : empty;
}

SignInReply malformed(const char* why)
{
    SignInReply reply;
    reply.outcome = SignInReply::Malformed;
    reply.reason = why;
    return reply;
}

} // namespace

bool isUserIdText(const String& text)
{
    if (text.isEmpty() || text.length() > 20)
        return false;
    for (int i = 0; i < text.length(); ++i)
        if (text.at(i) < '0' || text.at(i) > '9')
            return false;
    // 20 digits may pass 64 bits; such a text does not read back as itself.
    const uint64_t value = parseUInt64(text.c_str());
    return value > 0 && uint64ToString(value) == text.substring(text.findFirstOf("123456789"));
}

SignInReply SignInReply::parse(const String& text)
{
    if (text.startsWith("<?xml")) {
        XmlNode document;
        document.parse(text.c_str());
        const String status = document.childOrEmpty("status")->value;
        if (status == "FAILED") {
            SignInReply reply;
            reply.outcome = Refused;
            reply.reason = document.childOrEmpty("reason")->value;
            return reply;
        }
        return malformed("a refusal document without the status FAILED");
    }

    const std::vector<String> lines = splitTrimmed(text, '\n', true);
    if (pieceOrEmpty(lines, 0) != SuccessLine)
        return malformed("the first line is not LOGIN SUCCESS");

    SignInReply reply;
    reply.outcome = Success;
    const std::vector<String> endpoint = splitTrimmed(pieceOrEmpty(lines, 1), ':', false);
    reply.serverHost = pieceOrEmpty(endpoint, 0);
    int port = 0;
    if (reply.serverHost.isEmpty() || endpoint.size() < 2 || !parsePortNumber(endpoint[1].c_str(), port) ||
        port == 0)
        return malformed("the message server line is not host:port");
    reply.serverPort = port;

    size_t line = 4;
    for (; line < lines.size() && !lines[line].isEmpty(); ++line) {
        const std::vector<String> fields = splitTrimmed(lines[line], '\t', false);
        Contact contact;
        contact.id = pieceOrEmpty(fields, 0);
        if (contact.id.isEmpty())
            continue;
        contact.userName = pieceOrEmpty(fields, 1);
        contact.firstName = pieceOrEmpty(fields, 2);
        contact.lastName = pieceOrEmpty(fields, 3);
        contact.email = pieceOrEmpty(fields, 4);
        contact.webSite = pieceOrEmpty(fields, 5);
        reply.contactIds += contact.id;
        reply.contactIds += ";";
        reply.contacts.push_back(std::move(contact));
    }
    // The peer block runs from after the empty line up to, not including, the two last lines.
    for (++line; lines.size() >= 2 && line < lines.size() - 2; ++line) {
        const String id = pieceOrEmpty(splitTrimmed(lines[line], '\t', false), 0);
        if (id.isEmpty())
            continue;
        reply.peerContactIds += id;
        reply.peerContactIds += ";";
    }

    reply.ownUserId = lines.back();
    if (!isUserIdText(reply.ownUserId))
        return malformed("the last line is not a user id");
    return reply;
}

} // namespace orvane
