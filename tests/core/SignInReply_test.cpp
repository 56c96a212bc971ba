// The account endpoint's answer to the sign-in form, read into values: the two forms, and
// what a reply that does not keep to them gives.

#include "core/link/SignInReply.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;

namespace {

SignInReply parse(const std::string& text)
{
    return SignInReply::parse(String(text.c_str(), static_cast<int>(text.size())));
}

const std::string kReply = "LOGIN SUCCESS\n"
                           "msg.example:8471\n"
                           "alice\n"
                           "2\n"
                           "12\tbob\tBob\tBrown\tbob@example.org\thttp://bob.example/\n"
                           "34\tcarl\t\t\t\t\n"
                           "\n"
                           "56\n"
                           "78\textra\n"
                           "\n"
                           "7";

} // namespace

TEST(SignInReply, ASuccessGivesServerContactsPeersAndOwnId)
{
    const SignInReply reply = parse(kReply);
    ASSERT_EQ(reply.outcome, SignInReply::Success) << reply.reason.c_str();
    EXPECT_STREQ(reply.serverHost.c_str(), "msg.example");
    EXPECT_EQ(reply.serverPort, 8471);
    ASSERT_EQ(reply.contacts.size(), 2u);
    EXPECT_STREQ(reply.contacts[0].id.c_str(), "12");
    EXPECT_STREQ(reply.contacts[0].userName.c_str(), "bob");
    EXPECT_STREQ(reply.contacts[0].firstName.c_str(), "Bob");
    EXPECT_STREQ(reply.contacts[0].lastName.c_str(), "Brown");
    EXPECT_STREQ(reply.contacts[0].email.c_str(), "bob@example.org");
    EXPECT_STREQ(reply.contacts[0].webSite.c_str(), "http://bob.example/");
    EXPECT_STREQ(reply.contacts[1].userName.c_str(), "carl");
    EXPECT_STREQ(reply.contactIds.c_str(), "12;34;");
    EXPECT_STREQ(reply.peerContactIds.c_str(), "56;78;");
    EXPECT_STREQ(reply.ownUserId.c_str(), "7");
}

TEST(SignInReply, CrLfLinesAndATrailingLineEndReadLikeLf)
{
    std::string crlf;
    for (char c : kReply + "\n") {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const SignInReply reply = parse(crlf);
    ASSERT_EQ(reply.outcome, SignInReply::Success) << reply.reason.c_str();
    EXPECT_STREQ(reply.contactIds.c_str(), "12;34;");
    EXPECT_STREQ(reply.peerContactIds.c_str(), "56;78;");
    EXPECT_STREQ(reply.ownUserId.c_str(), "7");
}

TEST(SignInReply, EmptyBlocksAndShortContactLines)
{
    // No contacts and no peers: line 4 is the empty line.
    SignInReply reply = parse("LOGIN SUCCESS\nhost:1\nalice\n0\n\n\n9");
    ASSERT_EQ(reply.outcome, SignInReply::Success);
    EXPECT_TRUE(reply.contacts.empty());
    EXPECT_STREQ(reply.contactIds.c_str(), "");
    EXPECT_STREQ(reply.peerContactIds.c_str(), "");
    EXPECT_STREQ(reply.ownUserId.c_str(), "9");

    // A contact line with only its id and name: the other fields are empty.
    reply = parse("LOGIN SUCCESS\nhost:1\na\n1\n12\tbob\n\n\n9");
    ASSERT_EQ(reply.outcome, SignInReply::Success);
    ASSERT_EQ(reply.contacts.size(), 1u);
    EXPECT_STREQ(reply.contacts[0].userName.c_str(), "bob");
    EXPECT_STREQ(reply.contacts[0].webSite.c_str(), "");
}

TEST(SignInReply, TheRefusalDocumentCarriesTheServersReason)
{
    SignInReply reply = parse("<?xml version=\"1.0\"?><response><status>FAILED</status>"
                              "<reason>Wrong user name or password.</reason></response>");
    EXPECT_EQ(reply.outcome, SignInReply::Refused);
    EXPECT_STREQ(reply.reason.c_str(), "Wrong user name or password.");

    // Another status is a failure without a reason for the user.
    reply = parse("<?xml version=\"1.0\"?><response><status>BUSY</status><reason>r</reason></response>");
    EXPECT_EQ(reply.outcome, SignInReply::Malformed);
}

TEST(SignInReply, RepliesThatCannotBeTrustedAreRefused)
{
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"wrong first line", "LOGIN FAILED\nhost:1\na\n0\n\n\n9"},
        {"first line with a suffix", "LOGIN SUCCESSFUL\nhost:1\na\n0\n\n\n9"},
        {"no server line", "LOGIN SUCCESS"},
        {"no port", "LOGIN SUCCESS\nhost\na\n0\n\n\n9"},
        {"empty host", "LOGIN SUCCESS\n:8471\na\n0\n\n\n9"},
        {"port 0", "LOGIN SUCCESS\nhost:0\na\n0\n\n\n9"},
        {"port above 65535", "LOGIN SUCCESS\nhost:70000\na\n0\n\n\n9"},
        {"own id 0", "LOGIN SUCCESS\nhost:1\na\n0\n\n\n0"},
        {"own id not a number", "LOGIN SUCCESS\nhost:1\na\n0\n\n\nalice"},
        {"own id with a suffix", "LOGIN SUCCESS\nhost:1\na\n0\n\n\n9x"},
        {"own id beyond 64 bits", "LOGIN SUCCESS\nhost:1\na\n0\n\n\n18446744073709551616"},
        {"own id is the server line", "LOGIN SUCCESS\nhost:1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parse(c.text).outcome, SignInReply::Malformed);
    }
}

TEST(SignInReply, UserIdTexts)
{
    EXPECT_TRUE(isUserIdText("1"));
    EXPECT_TRUE(isUserIdText("18446744073709551615"));
    EXPECT_TRUE(isUserIdText("007"));
    EXPECT_FALSE(isUserIdText("000"));
    EXPECT_FALSE(isUserIdText("-1"));
    EXPECT_FALSE(isUserIdText(" 1"));
}
