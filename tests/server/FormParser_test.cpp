// Reading form posts: the decoding of the sign-in, sign-up and change-of-details forms.

#include "server/FormParser.h"

#include "network/FormFields.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;

namespace {

TEST(FormParser, DecodesValuesAndNames)
{
    const struct {
        const char* encoded;
        const char* decoded;
    } cases[] = {
        {"a+b%26d", "a b&d"},     {"%E9", "\xe9"},         {"%e9", "\xe9"},
        {"%2D%5F%2E%7E", "-_.~"}, {"100%", "100%"},        {"%4", "%4"},
        {"%zz1", "%zz1"},         {"%25%32%35", "%25"},    {"", ""},
        {"%0A%09", "\n\t"},
    };
    for (const auto& c : cases) {
        const String out = urlDecode(c.encoded, static_cast<int>(std::strlen(c.encoded)));
        EXPECT_EQ(std::string(out.c_str(), out.length()), c.decoded) << c.encoded;
    }
    EXPECT_EQ(urlDecode("%00", 3).length(), 1);
}

TEST(FormParser, SplitsFieldsInOrder)
{
    const char body[] = "CMD=LOGIN&user=a+b%26d&&password=&network_id&x=1=2";
    NameValueList fields;
    ASSERT_TRUE(parseForm(body, static_cast<int>(sizeof body - 1), fields, 10));
    ASSERT_EQ(fields.count(), 5);
    EXPECT_EQ(fields.get("cmd"), String("LOGIN"));
    EXPECT_EQ(fields.get("user"), String("a b&d"));
    EXPECT_EQ(fields[2].name, String("password"));
    EXPECT_EQ(fields[3].name, String("network_id"));
    EXPECT_EQ(fields.get("x"), String("1=2"));
}

TEST(FormParser, ReadsWhatTheFormEncoderWrites)
{
    FormFields form;
    form.field("CMD") = "CREATE_USER";
    form.field("User_Name") = "J\xf6rg Smith-Jones";
    form.field("Email") = "j.s+tag@example.org";
    form.field("Password") = "p&=%x";
    const String body = form.encode();
    NameValueList fields;
    ASSERT_TRUE(parseForm(body.c_str(), body.length(), fields, 10));
    ASSERT_EQ(fields.count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fields[i].name, form.names[i]);
        EXPECT_EQ(fields[i].value, form.values[i]);
    }
}

TEST(FormParser, TheFieldCountIsBounded)
{
    std::string body;
    for (int i = 0; i < 33; ++i)
        body += "f" + std::to_string(i) + "=v&";
    NameValueList fields;
    EXPECT_FALSE(parseForm(body.c_str(), static_cast<int>(body.size()), fields, 32));
    NameValueList exact;
    EXPECT_TRUE(parseForm(body.c_str(), static_cast<int>(body.size()) - 6, exact, 32));
    EXPECT_EQ(exact.count(), 32);
}

} // namespace
