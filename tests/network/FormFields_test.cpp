#include "network/FormFields.h"

#include <gtest/gtest.h>

using namespace orvane;

TEST(FormFields, EncodesInOrderWithValuesEscaped)
{
    FormFields form;
    EXPECT_EQ(form.encode(), "");
    form.field("CMD") = "LOGIN";
    form.field("user") = "a b&d";
    EXPECT_EQ(form.encode(), "CMD=LOGIN&user=a+b%26d");

    form.field("my name") = "x";
    form.field("empty");
    EXPECT_EQ(form.encode(), "CMD=LOGIN&user=a+b%26d&my name=x&empty=");
}

TEST(FormFields, FieldFindsByExactName)
{
    FormFields form;
    form.field("x") = "1";
    EXPECT_EQ(form.field("x"), "1");
    EXPECT_EQ(form.names.count(), 1);
    form.field("X") = "2";
    EXPECT_EQ(form.names.count(), 2);
    form.field(nullptr) = "n";
    EXPECT_EQ(form.field(""), "n");
    EXPECT_EQ(form.encode(), "x=1&X=2&=n");
}

TEST(UrlEncode, OnlyLettersAndDigitsPass)
{
    EXPECT_EQ(urlEncode(nullptr), "");
    EXPECT_EQ(urlEncode("azAZ09"), "azAZ09");
    EXPECT_EQ(urlEncode("-_.~"), "%2D%5F%2E%7E");
    EXPECT_EQ(urlEncode("caf\xe9 \xff\x01"), "caf%E9+%FF%01");
    EXPECT_EQ(urlEncode("a=b&c+d/%"), "a%3Db%26c%2Bd%2F%25");
}
