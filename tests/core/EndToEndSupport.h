#pragma once

// What the end-to-end tests do with whole clients: accounts made over the account form,
// the own id a client learned, and channels opened and filled between two clients.

#include "tests/core/HeadlessProcess.h"

#include "foundation/XmlNode.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::testing {

// A new account at the account endpoint; its user id.
inline std::string signUpAt(const std::string& url, const std::string& name, const std::string& password)
{
    HttpClient http;
    FormFields form;
    form.field("CMD") = "CREATE_USER";
    form.field("User_Name") = name.c_str();
    form.field("Password") = password.c_str();
    form.field("First_Name") = name.c_str();
    form.field("Email") = (name + "@example.org").c_str();
    ByteArray out;
    http.postForm(url.c_str(), &form, &out);
    XmlNode reply;
    reply.parse(String(reinterpret_cast<const char*>(out.data()), out.count()).c_str());
    EXPECT_STREQ(reply.childOrEmpty("status")->value.c_str(), "SUCCESS");
    return reply.childOrEmpty("userID")->value.c_str();
}

// The client's "own-user" line (whoami) after `from`, without its prefix.
inline std::string whoami(HeadlessProcess& client)
{
    const size_t from = client.log.size();
    EXPECT_TRUE(client.command("whoami"));
    const int line =
        client.log.waitUntil([](const std::string& l) { return l.rfind("own-user ", 0) == 0; }, 5000, from);
    if (line < 0)
        return std::string();
    return client.log.lines()[static_cast<size_t>(line)].substr(9);
}

// The own user id the client learned at sign-in.
inline std::string ownIdOf(HeadlessProcess& client)
{
    const std::string text = whoami(client);
    return text.substr(0, text.find(' '));
}

// The line "channel N open ..." that an open printed (or an incoming channel); N, or -1
// when the open failed or nothing came in time.
inline int channelNumber(HeadlessProcess& client, const std::string& prefix, size_t from, int timeoutMs = 90000)
{
    const int line = client.log.waitUntil(
        [&prefix](const std::string& l) {
            return (l.rfind(prefix, 0) == 0 && l.find(" open ") != std::string::npos) ||
                   l.rfind("open-failed", 0) == 0;
        },
        timeoutMs, from);
    if (line < 0)
        return -1;
    const std::string text = client.log.lines()[static_cast<size_t>(line)];
    if (text.rfind("open-failed", 0) == 0)
        return -1;
    return std::stoi(text.substr(8));
}

// The "sent BYTES SUM" line of one side and the "received BYTES SUM" line of the other agree.
inline void expectTransfer(HeadlessProcess& from, int fromChannel, HeadlessProcess& to, int toChannel, size_t bytes,
                    uint32_t seed)
{
    const size_t sentFrom = from.log.size();
    const size_t receivedFrom = to.log.size();
    ASSERT_TRUE(from.command("channel-send " + std::to_string(fromChannel) + " " + std::to_string(bytes) + " " +
                             std::to_string(seed)));
    const std::string sentPrefix = "channel " + std::to_string(fromChannel) + " sent ";
    const int sent = from.log.waitUntil([&](const std::string& l) { return l.rfind(sentPrefix, 0) == 0; }, 60000,
                                        sentFrom);
    ASSERT_GE(sent, 0) << from.log.dump();
    const std::string totals = from.log.lines()[static_cast<size_t>(sent)].substr(sentPrefix.size());
    to.expectLine("channel " + std::to_string(toChannel) + " received " + totals, receivedFrom, 60000);
}


} // namespace orvane::testing
