#pragma once

#include "foundation/String.h"

#include <vector>

namespace orvane {

// The account endpoint's answer to the LOGIN form, read into values. Two forms arrive:
//
// - a refusal, an XML document (the text begins with "<?xml") whose root has "status"
//   and "reason";
// - a success, plain text lines split at LF, each trimmed of bytes 0x00 to 0x20 (so CR LF
//   reads like LF), a last empty piece dropped:
//     0       "LOGIN SUCCESS"
//     1       message server host ':' port
//     2, 3    not read
//     4 ..    one listed contact per line, TAB-separated: id, user name, first name,
//             last name, e-mail, web site; the first empty line ends the block
//     ..      one line per peer contact (whose list holds this user); only the first
//             TAB field, an id, is read; the two last lines are not part of this block
//     last    the own user id
//
// The server decides all of it, so the reader takes nothing on trust: missing lines and
// fields read as empty, the host must be there and the port lie in 1 to 65535, and the
// own id must be a decimal number above zero (a user 0 would make every frame look like
// one for the server).
struct SignInReply {
    enum Outcome {
        Success,
        // The server said FAILED; its reason is for the user.
        Refused,
        // Anything else that is not a success; `problem` says why, for the log.
        Malformed
    };

    struct Contact {
        String id;
        String userName;
        String firstName;
        String lastName;
        String email;
        String webSite;
    };

    Outcome outcome = Malformed;
    // Refused: the server's reason. Malformed: what was wrong.
    String reason;

    String serverHost;
    int serverPort = 0;
    std::vector<Contact> contacts;
    // The ids of the contact block and of the peer block, each followed by ';', in order.
    String contactIds;
    String peerContactIds;
    String ownUserId;

    static SignInReply parse(const String& reply);
};

// True for a non-empty run of decimal digits whose value fits 64 bits and is above 0.
bool isUserIdText(const String& text);

} // namespace orvane
