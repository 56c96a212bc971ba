#include "foundation/Containers.h"
#include "foundation/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace orvane;

TEST(String, DefaultAndEmptyConstructionAllocateNothing)
{
    String a;
    String b("");
    String c(nullptr);
    String d("abc", 0);
    String e(a);
    for (const String* s : {&a, &b, &c, &d, &e}) {
        EXPECT_EQ(s->data(), nullptr);
        EXPECT_EQ(s->length(), 0);
        EXPECT_EQ(s->capacity(), 0);
        EXPECT_STREQ(s->c_str(), "");
    }
}

TEST(String, ConstructionCopiesExactlyAndStopsAtLength)
{
    String s("hello", 3);
    EXPECT_EQ(s, "hel");
    EXPECT_EQ(s.capacity(), 3);
    String z("a\0b", 3);
    EXPECT_EQ(z.length(), 3);
    EXPECT_EQ(z.at(1), '\0');
    EXPECT_EQ(z.at(3), '\0');
}

TEST(String, AppendDoublesThenReuses)
{
    String s;
    s.append("abc");
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(s.capacity(), 6);
    const char* buf = s.data();
    s.append("d");
    EXPECT_EQ(s.data(), buf);
    EXPECT_EQ(s.capacity(), 6);
    EXPECT_EQ(s, "abcd");

    String copy(s);
    EXPECT_EQ(copy.capacity(), 4);
    String sum = s + "x";
    EXPECT_EQ(sum.capacity(), 5);
    for (String r : {String("ab") + String("c"), String("ab") + "c", String("ab") + 'c',
                     "a" + String("bc"), 'a' + String("bc")}) {
        EXPECT_EQ(r, "abc");
        EXPECT_EQ(r.capacity(), 3);
    }
    EXPECT_EQ('x' + String("yz"), "xyz");

    s.append(nullptr);
    s.append("zz", 0);
    EXPECT_EQ(s, "abcd");
    s.append("zzz", 2);
    EXPECT_EQ(s, "abcdzz");
}

TEST(String, AssignmentReusesOrAllocatesExactly)
{
    String s("abcdef");
    const char* buf = s.data();
    s = "";
    EXPECT_EQ(s.data(), buf);
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.data()[0], '\0');
    s.assign("xy");
    EXPECT_EQ(s.data(), buf);
    EXPECT_EQ(s.capacity(), 6);
    s.assign("0123456789");
    EXPECT_EQ(s.capacity(), 10);
    s.assign(nullptr);
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.capacity(), 10);

    String t("abc");
    String& alias = t;
    t = alias; // self-assignment changes nothing
    EXPECT_EQ(t, "abc");
}

TEST(String, SelfAliasingCopiesTheSourceFirst)
{
    String s("abc");
    s += s;
    EXPECT_EQ(s, "abcabc");
    s += s; // now within capacity
    EXPECT_EQ(s, "abcabcabcabc");

    String t("hello world");
    t.assign(t.data() + 6); // pointer into itself, buffer reused
    EXPECT_EQ(t, "world");
    String u("abc");
    u.append(u.data() + 1);
    EXPECT_EQ(u, "abcbc");
    String v("a%sb");
    v.format(v.c_str(), v.c_str());
    EXPECT_EQ(v, "aa%sbb");
}

TEST(String, ReserveAndSetLength)
{
    String s("ab");
    s.reserve(1);
    EXPECT_EQ(s.capacity(), 2);
    s.reserve(10);
    EXPECT_EQ(s.capacity(), 10);
    EXPECT_EQ(s, "ab");

    String t("abcd");
    t.setLength(2);
    EXPECT_EQ(t, "ab");
    t.setLength(6);
    EXPECT_EQ(t.length(), 6);
    EXPECT_EQ(t.capacity(), 6);
    EXPECT_EQ(t.at(6), '\0');
    t.setLength(-3);
    EXPECT_EQ(t.length(), 0);
    EXPECT_EQ(t.capacity(), 6);
}

TEST(String, Compare)
{
    struct Case { const char* s; const char* arg; int expected; };
    const Case cases[] = {
        {"", nullptr, 0}, {"a", nullptr, 1}, {"", "a", -1}, {"", "", 0},
        {"abc", "abc", 0}, {"abc", "abd", -1}, {"abd", "abc", 1}, {"ab", "abc", -1},
        {"abc", "ab", 1}, {"\x80", "a", 1}, {"A", "a", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(String(c.s).compare(c.arg), c.expected) << c.s << " vs " << (c.arg ? c.arg : "NULL");
}

TEST(String, FindAndFindFirstOf)
{
    String s("abcabc");
    EXPECT_EQ(s.find("bc"), 1);
    EXPECT_EQ(s.find("bc", 2), 4);
    EXPECT_EQ(s.find("bc", 5), -1);
    EXPECT_EQ(s.find(""), -1);
    EXPECT_EQ(s.find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(s.find("a", 6), -1);
    EXPECT_EQ(s.find("a", 100), -1);
    EXPECT_EQ(s.find("a", -5), 0);
    EXPECT_EQ(String().find("a"), -1);
    EXPECT_EQ(s.findFirstOf("xc"), 2);
    EXPECT_EQ(s.findFirstOf("xc", 3), 5);
    EXPECT_EQ(s.findFirstOf(""), -1);
    EXPECT_EQ(s.findFirstOf(nullptr), -1);
    EXPECT_EQ(s.findFirstOf("a", 6), -1);
}

TEST(String, StartsWithEndsWith)
{
    String s("abc");
    EXPECT_TRUE(s.startsWith(nullptr));
    EXPECT_FALSE(s.startsWith(""));
    EXPECT_TRUE(s.startsWith("ab"));
    EXPECT_FALSE(s.startsWith("abcd"));
    EXPECT_TRUE(s.endsWith(nullptr));
    EXPECT_FALSE(s.endsWith(""));
    EXPECT_TRUE(s.endsWith("bc"));
    EXPECT_FALSE(s.endsWith("xabc"));
}

TEST(String, SubstringClamps)
{
    String s("abc");
    EXPECT_EQ(s.substring(1), "bc");
    EXPECT_EQ(s.substring(1, 100), "bc");
    EXPECT_EQ(s.substring(1, INT_MAX), "bc");
    EXPECT_EQ(s.substring(3), "");
    EXPECT_EQ(s.substring(0, 2), "ab");
    EXPECT_EQ(s.substring(-4, 1), "a");
    EXPECT_EQ(s.substring(1).capacity(), 2);
}

TEST(String, Erase)
{
    struct Case { int pos, n; const char* expected; };
    const Case cases[] = {
        {1, 5, "a"}, {1, 1, "ac"}, {1, -1, "a"}, {0, 0, "abc"}, {3, 1, "abc"},
        {1, 2, "a"}, {0, 2, "c"}, {-1, 1, "abc"}, {7, 1, "abc"},
    };
    for (const Case& c : cases) {
        String s("abc");
        s.erase(c.pos, c.n);
        EXPECT_EQ(s, c.expected) << c.pos << "," << c.n;
    }
    String e;
    e.erase(0, 1);
    EXPECT_EQ(e.length(), 0);
}

TEST(String, ReplaceAll)
{
    struct Case { const char* s; const char* from; const char* to; const char* expected; };
    const Case cases[] = {
        {"aaa", "a", "aa", "aaaaaa"},
        {"a-b-c", "-", "", "abc"},
        {"a-b-c", "-", nullptr, "abc"},
        {"a-b-c", "-", "+", "a+b+c"},
        {"xabcx", "abc", "Z", "xZx"},
        {"abc", "", "x", "abc"},
        {"abc", nullptr, "x", "abc"},
        {"", "a", "b", ""},
        {"<a&b>", "&", "&amp;", "<a&amp;b>"},
    };
    for (const Case& c : cases) {
        String s(c.s);
        s.replaceAll(c.from, c.to);
        EXPECT_EQ(s, c.expected) << c.s;
    }
    // Growth follows the appending rule at the replacement that no longer fits.
    String s("aaa");
    s.replaceAll("a", "aa");
    EXPECT_EQ(s.capacity(), 8);
    String room;
    room.reserve(20);
    room = "aaa";
    const char* buf = room.data();
    room.replaceAll("a", "bb");
    EXPECT_EQ(room, "bbbbbb");
    EXPECT_EQ(room.data(), buf);
}

TEST(String, CaseAndTrim)
{
    String s("AbC\xC4z");
    s.toLower();
    EXPECT_EQ(s, "abc\xC4z");
    String t(" \t\r\n\x01x y\x1f \xA0\x01 ");
    t.trimRight();
    EXPECT_EQ(t, " \t\r\n\x01x y\x1f \xA0");
    t.trimLeft();
    EXPECT_EQ(t, "x y\x1f \xA0");
    String blank("  \t ");
    blank.trimLeft();
    EXPECT_EQ(blank.length(), 0);
}

TEST(String, Format)
{
    String s;
    s.format("%s-%d", "abcdefghijklmnopqrstuvwxyz", 42);
    EXPECT_EQ(s, "abcdefghijklmnopqrstuvwxyz-42");
    EXPECT_EQ(s.capacity(), s.length());
    String exact;
    exact.format("%s", "abcd"); // result one byte longer than the format
    EXPECT_EQ(exact, "abcd");
    String shortOut;
    shortOut.format("%d", 7);
    EXPECT_EQ(shortOut, "7");
    EXPECT_EQ(shortOut.capacity(), 2);
    String big("prefix");
    big.format("%s", "");
    EXPECT_EQ(big.length(), 0);
    String e("abc");
    e.format("%s", "");
    EXPECT_EQ(e, "");
    const char* empty = "";
    e.format(empty, 1);
    EXPECT_EQ(e.length(), 0);
}

TEST(String, Split)
{
    struct Case { const char* text; bool trim; std::vector<const char*> pieces; };
    const Case cases[] = {
        {"a,,b,", false, {"a", "", "b"}},
        {",", false, {""}},
        {"", false, {}},
        {"a,b", false, {"a", "b"}},
        {" a , b ,  ", true, {"a", "b"}},
        {" a , b ,  ", false, {" a ", " b ", "  "}},
        {"a, ,b", true, {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        StringArray out;
        out.add("stale");
        String(c.text).split(',', out, c.trim);
        ASSERT_EQ(out.count(), static_cast<int>(c.pieces.size())) << c.text;
        for (int i = 0; i < out.count(); ++i)
            EXPECT_EQ(out[i], c.pieces[static_cast<size_t>(i)]) << c.text;
    }
}

TEST(String, ParsePairs)
{
    NameValueList out;
    String("a=1; b = 2;d;=5;k=x=y").parsePairs(';', '=', out, true);
    ASSERT_EQ(out.count(), 4);
    const char* expected[][2] = {{"a", "1"}, {"b", "2"}, {"d", ""}, {"k", "x=y"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].name, expected[i][0]);
        EXPECT_EQ(out[i].value, expected[i][1]);
    }
    String(" a = 1 ").parsePairs(';', '=', out, false);
    ASSERT_EQ(out.count(), 1);
    EXPECT_EQ(out[0].name, " a ");
    EXPECT_EQ(out[0].value, " 1 ");
    String().parsePairs(';', '=', out, true);
    EXPECT_EQ(out.count(), 0);
}

TEST(String, SizesPastTheIntRangeAreRefused)
{
    String s("ab");
    EXPECT_THROW(s.append("x", INT_MAX), MemoryException);
    EXPECT_EQ(s, "ab");
}
