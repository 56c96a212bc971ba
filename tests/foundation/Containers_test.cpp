#include "foundation/Containers.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

using namespace orvane;

TEST(Array, GrowthRuleIsNeededCountPlusGrowBy)
{
    PointerArray plain;
    for (int i = 0; i < 3; ++i)
        plain.add(nullptr);
    EXPECT_EQ(plain.capacity(), 3);
    EXPECT_EQ(plain.count(), 3);

    PointerArray children(10);
    children.add(nullptr);
    EXPECT_EQ(children.capacity(), 11);
    for (int i = 1; i < 12; ++i)
        children.add(nullptr);
    EXPECT_EQ(children.capacity(), 22);
    EXPECT_EQ(children.count(), 12);
}

TEST(Array, SetCapacityKeepsPrefixAndZeroFreesAll)
{
    StringArray a;
    a.setGrowBy(4);
    for (const char* s : {"a", "b", "c", "d", "e"})
        a.add(s);
    a.setCapacity(2);
    EXPECT_EQ(a.count(), 2);
    EXPECT_EQ(a.capacity(), 2);
    EXPECT_EQ(a[0], "a");
    EXPECT_EQ(a[1], "b");
    a.setCapacity(0);
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.capacity(), 0);
    EXPECT_EQ(a.growBy(), 4);
}

TEST(Array, WriteGrowsByteArray)
{
    ByteArray b;
    const uint8_t src[4] = {1, 2, 3, 4};
    b.write(10, src, 4);
    EXPECT_EQ(b.count(), 14);
    EXPECT_EQ(b[13], 4);
    b.write(0, nullptr, 4);
    b.write(0, src, 0);
    EXPECT_EQ(b.count(), 14);
    b.write(12, src, 4);
    EXPECT_EQ(b.count(), 16);
    EXPECT_EQ(b[12], 1);
}

TEST(Array, AddingAnElementOfTheSameArrayWhileGrowing)
{
    StringArray a;
    a.add("first");
    a.add(a[0]);
    a.add(a[1]);
    EXPECT_EQ(a[2], "first");
}

TEST(Array, SizeArithmeticPastIntRangeThrows)
{
    ByteArray b;
    b.setGrowBy(10);
    EXPECT_THROW(b.setSize(INT_MAX - 5), MemoryException);
    EXPECT_EQ(b.count(), 0);
    uint8_t x = 0;
    EXPECT_THROW(b.write(INT_MAX - 1, &x, 5), MemoryException);
    EXPECT_EQ(b.count(), 0);
}

TEST(Array, CopyIsDeep)
{
    NameValueList a;
    a.add("k", "v");
    NameValueList b;
    b.add("x", "y");
    b.add("z", "w");
    b = a;
    EXPECT_EQ(b.count(), 1);
    EXPECT_EQ(b[0].name, "k");
    a[0].value = "changed";
    EXPECT_EQ(b[0].value, "v");
    NameValueList empty;
    b = empty;
    EXPECT_EQ(b.count(), 0);
    NameValueList c(a);
    EXPECT_EQ(c[0].value, "changed");
}

TEST(NameValueList, AddFindAndGrowth)
{
    NameValueList list;
    EXPECT_EQ(list.capacity(), 8);
    EXPECT_EQ(list.growBy(), 10);
    EXPECT_EQ(list.add("", "x"), -1);
    EXPECT_EQ(list.add(nullptr, "x"), -1);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.add("Host", "a"), 0);
    EXPECT_EQ(list.find("HOST"), 0);
    EXPECT_EQ(list.add("host", nullptr), 1);
    EXPECT_EQ(list[1].value, "");
    EXPECT_EQ(list.find("host", 1), 1);
    EXPECT_EQ(list.find("host", 2), -1);
    EXPECT_EQ(list.find(""), -1);
    EXPECT_EQ(list.find(nullptr), -1);
    EXPECT_EQ(list.get("HoSt"), "a");

    NameValueList latin;
    latin.add("\xC4", "1");
    EXPECT_EQ(latin.find("\xE4"), -1);

    NameValueList grow;
    for (int i = 0; i < 9; ++i)
        grow.add("n", "v");
    EXPECT_EQ(grow.capacity(), 19);
    grow.clear();
    EXPECT_EQ(grow.capacity(), 0);
    EXPECT_EQ(grow.count(), 0);
}

TEST(StringHashSet, AddFindAndIterate)
{
    StringHashSet set(hashString, 17);
    for (const char* k : {"alpha", "beta", "alpha", "gamma", "beta", ""})
        if (!set.find(k))
            set.add(k);
    set.add("gamma");
    EXPECT_EQ(set.size(), 4);
    EXPECT_NE(set.find("beta"), nullptr);
    EXPECT_EQ(set.find("delta"), nullptr);

    std::multiset<std::string> seen;
    int steps = 0;
    for (StringHashSet::Iterator it(set); it.isValid(); it.next(), ++steps)
        seen.insert(it.key().c_str());
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(seen, (std::multiset<std::string>{"", "alpha", "beta", "gamma"}));
}

TEST(StringHashSet, ChainsWalkInIndexOrderNewestFirst)
{
    // A hash that puts keys in chosen chains shows the walk order.
    StringHashSet set([](const String& s) { return static_cast<uint32_t>(s.at(0) - 'a'); }, 3);
    for (const char* k : {"c1", "a1", "a2", "b1"})
        set.add(k);
    std::vector<std::string> order;
    for (StringHashSet::Iterator it(set); it.isValid(); it.next())
        order.push_back(it.key().c_str());
    EXPECT_EQ(order, (std::vector<std::string>{"a2", "a1", "b1", "c1"}));
}

TEST(StringHashSet, ZeroBucketsBehavesAsOne)
{
    StringHashSet set(hashString, 0);
    EXPECT_EQ(set.bucketCount(), 1u);
    set.add("x");
    set.add("y");
    EXPECT_NE(set.find("x"), nullptr);
    EXPECT_EQ(set.size(), 2);
    StringHashSet none(hashString, 0);
    EXPECT_FALSE(StringHashSet::Iterator(none).isValid());
}

TEST(HashString, SignedBytesAndEmpty)
{
    EXPECT_EQ(hashString(String()), 0u);
    EXPECT_EQ(hashString("a"), 97u);
    EXPECT_EQ(hashString("ab"), 97u * 33 + 98);
    // 0x80 read as a signed byte adds -128.
    EXPECT_EQ(hashString("\x80"), static_cast<uint32_t>(-128));
}
