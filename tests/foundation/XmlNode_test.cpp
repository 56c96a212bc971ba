#include "foundation/File.h"
#include "foundation/XmlNode.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;
using orvane::testing::TempDirectory;

namespace {

// A tree as one line: name, "=value" when there is one, and the children in braces.
std::string dump(const XmlNode& node)
{
    std::string s = node.name.c_str();
    if (!node.value.isEmpty())
        s += "=" + std::string(node.value.c_str());
    if (node.children.count() > 0) {
        s += "{";
        for (int i = 0; i < node.children.count(); ++i)
            s += (i ? "," : "") + dump(*node.children[i]);
        s += "}";
    }
    return s;
}

// root = v { a = x, e, n { m = 1 } }
XmlNode sampleTree()
{
    XmlNode root("root", "v");
    root.addChild("a", "x");
    root.addChild("e");
    root.addChild("n")->addChild("m", "1");
    return root;
}

} // namespace

TEST(XmlNode, ConstructionNamesAndValues)
{
    EXPECT_EQ(dump(XmlNode()), "xml");
    EXPECT_EQ(dump(XmlNode(nullptr)), "");
    EXPECT_EQ(dump(XmlNode("a", nullptr)), "a");
    EXPECT_EQ(dump(XmlNode(nullptr, "v")), "=v");
    EXPECT_EQ(dump(XmlNode("a", "v")), "a=v");
}

TEST(XmlNode, CopyAndAssignmentAreDeep)
{
    XmlNode root = sampleTree();
    XmlNode copy(root);
    copy.children[2]->children[0]->value = "changed";
    copy.addChild("extra");
    EXPECT_EQ(dump(root), "root=v{a=x,e,n{m=1}}");
    EXPECT_EQ(dump(copy), "root=v{a=x,e,n{m=changed},extra}");

    XmlNode other("o", "w");
    other.addChild("old");
    other = root;
    EXPECT_EQ(dump(other), "root=v{a=x,e,n{m=1}}");
    EXPECT_NE(other.children[0], root.children[0]);

    XmlNode& same = other;
    other = same;
    EXPECT_EQ(dump(other), "root=v{a=x,e,n{m=1}}");

    XmlNode moved(std::move(copy));
    EXPECT_EQ(dump(moved), "root=v{a=x,e,n{m=changed},extra}");
    copy.addChild("again"); // a moved-from node stays usable
    EXPECT_EQ(copy.children.count(), 1);
}

// The source of an assignment may be a node that the assignment destroys.
TEST(XmlNode, AssignmentFromOwnDescendantCopiesFirst)
{
    XmlNode root = sampleTree();
    root = *root.children[2];
    EXPECT_EQ(dump(root), "n{m=1}");

    XmlNode deep = sampleTree();
    deep = *deep.children[2]->children[0];
    EXPECT_EQ(dump(deep), "m=1");

    XmlNode up = sampleTree();
    XmlNode* n = up.children[2];
    *n = up; // from an ancestor: the copy holds n as it was
    EXPECT_EQ(dump(up), "root=v{a=x,e,root=v{a=x,e,n{m=1}}}");

    XmlNode again = sampleTree();
    again = std::move(*again.children[0]);
    EXPECT_EQ(dump(again), "a=x");
}

TEST(XmlNode, ChildLookupIgnoresAsciiCaseFirstMatchWins)
{
    XmlNode root("r");
    XmlNode* first = root.addChild("item", "1");
    root.addChild("Item", "2");
    root.addChild("", "empty");
    root.addChild("\xC4", "upper-umlaut");

    EXPECT_EQ(root.findChild("ITEM"), 0);
    EXPECT_EQ(root.getChild("iTeM"), first);
    EXPECT_EQ(root.findChild(""), 2);
    EXPECT_EQ(root.findChild("\xE4"), -1); // only ASCII letters fold
    EXPECT_EQ(root.findChild("missing"), -1);
    EXPECT_EQ(root.findChild(nullptr), -1);
    EXPECT_EQ(root.getChild(nullptr), nullptr);

    EXPECT_EQ(root.findOrAddChild("ITEM"), first);
    XmlNode* added = root.findOrAddChild("new");
    EXPECT_EQ(root.children.count(), 5);
    EXPECT_EQ(root.children[4], added);
    EXPECT_EQ(dump(*added), "new");
    EXPECT_EQ(root.findOrAddChild("NEW"), added);
}

TEST(XmlNode, ChildArrayGrowsByTen)
{
    XmlNode root;
    EXPECT_EQ(root.children.capacity(), 0);
    root.addChild("c");
    EXPECT_EQ(root.children.capacity(), 11);
    for (int i = 0; i < 11; ++i)
        root.addChild("c");
    EXPECT_EQ(root.children.count(), 12);
    EXPECT_EQ(root.children.capacity(), 22);
    for (int i = 0; i < 5000; ++i)
        root.addChild("c");
    EXPECT_EQ(root.children.count(), 5012);
    EXPECT_GE(root.children.capacity(), 5012);
}

TEST(XmlNode, ChildOrEmptyAnswersTheSharedEmptyNode)
{
    XmlNode root = sampleTree();
    EXPECT_EQ(root.childOrEmpty("N")->childOrEmpty("m")->getValue(), "1");

    const XmlNode* missing = root.childOrEmpty("nothing")->childOrEmpty("deeper");
    EXPECT_EQ(missing, &XmlNode::emptyNode());
    EXPECT_EQ(XmlNode("other").childOrEmpty("x"), missing);
    EXPECT_EQ(dump(*missing), "xml");
    EXPECT_EQ(missing->getValue(), "");
    EXPECT_EQ(root.childOrEmpty(nullptr), missing);
}

TEST(XmlNode, BoolAndIntValues)
{
    XmlNode n("n");
    n.setBool(true);
    EXPECT_EQ(n.value, "yes");
    EXPECT_TRUE(n.getBool());
    n.setBool(false);
    EXPECT_EQ(n.value, "no");
    EXPECT_FALSE(n.getBool());
    for (const char* yes : {"YES", "True", "1"}) {
        n.value = yes;
        EXPECT_TRUE(n.getBool()) << yes;
    }
    for (const char* no : {"2", "on", "", " yes"}) {
        n.value = no;
        EXPECT_FALSE(n.getBool()) << no;
    }
    n.setInt(-2147483647 - 1);
    EXPECT_EQ(n.value, "-2147483648");
    EXPECT_EQ(n.getInt(), -2147483647 - 1);
    n.value = " 42abc";
    EXPECT_EQ(n.getInt(), 42);
}

TEST(XmlNode, WriterBytes)
{
    XmlNode leaf("a");
    XmlNode root = sampleTree();
    XmlNode special("s", "<&>'\"");
    special.addChild("q", "a\"b'c");
    XmlNode order("o");
    order.addChild("deep")->addChild("x", "1");
    order.addChild("flat", "2");
    XmlNode valueOnly("v", "t");
    XmlNode nested("r");
    nested.addChild("e");
    XmlNode oddName("<a b>");

    struct Case {
        const XmlNode* node;
        int depth;
        bool selfClose;
        const char* expected;
    } cases[] = {
        {&leaf, 0, true, "<a/>\r\n"},
        {&leaf, 0, false, "<a></a>\r\n"},
        {&leaf, -1, true, "<a/>"},
        {&leaf, -5, false, "<a></a>"},
        {&leaf, 2, true, "\t\t<a/>\r\n"},
        {&valueOnly, 0, true, "<v>t</v>\r\n"},
        {&valueOnly, 1, false, "\t<v>t</v>\r\n"},
        {&valueOnly, -1, true, "<v>t</v>"},
        {&root, 0, true,
         "<root>\r\n\t<a>x</a>\r\n\t<e/>\r\n\t<n>\r\n\t\t<m>1</m>\r\n\t</n>\r\n\tv\r\n</root>\r\n"},
        {&root, 1, false,
         "\t<root>\r\n\t\t<a>x</a>\r\n\t\t<e/>\r\n\t\t<n>\r\n\t\t\t<m>1</m>\r\n\t\t</n>\r\n\t\tv\r\n\t</root>\r\n"},
        {&root, -1, true, "<root a=\"x\" e=\"\"><n m=\"1\"/>v</root>"},
        {&root, -1, false, "<root a=\"x\" e=\"\"><n m=\"1\"/>v</root>"},
        {&nested, 0, false, "<r>\r\n\t<e/>\r\n</r>\r\n"},
        {&nested, -1, false, "<r e=\"\"></r>"},
        {&order, -1, true, "<o flat=\"2\"><deep x=\"1\"/></o>"},
        {&order, 0, true, "<o>\r\n\t<deep>\r\n\t\t<x>1</x>\r\n\t</deep>\r\n\t<flat>2</flat>\r\n</o>\r\n"},
        {&special, -1, true, "<s q=\"a&quot;b&apos;c\">&lt;&amp;&gt;&apos;&quot;</s>"},
        {&special, 0, true, "<s>\r\n\t<q>a&quot;b&apos;c</q>\r\n\t&lt;&amp;&gt;&apos;&quot;\r\n</s>\r\n"},
        {&oddName, -1, true, "<<a b>/>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(c.node->toString(c.depth, c.selfClose).c_str()), c.expected)
            << dump(*c.node) << " depth " << c.depth << " selfClose " << c.selfClose;
    EXPECT_EQ(root.toCompactString(true), root.toString(-1, true));
}

TEST(XmlNode, ParserForgivingRules)
{
    struct Case {
        const char* text;
        bool ok;
        const char* tree;
    } cases[] = {
        {"<a x='1' y=\"2\"/>", true, "a{x=1,y=2}"},
        {"<a x=1/>", true, "a"},
        {"<a x='1' y=2 z='3'/>", true, "a{x=1}"},
        {"<a x='1'y='2'>", true, "a{x=1,y=2}"},
        {"<a x ='1' w>", true, "a{x =1}"},
        {"<a\tx='1'\r\ny='2'>", true, "a{x=1,y=2}"},
        {"<a x='unclosed>", true, "a"},
        {"<a x=' k &amp; l '/>", true, "a{x= k & l }"},
        {"<a>one<b/>two</a>", true, "a=onetwo{b}"},
        {"<a>one <b/> two</a>", true, "a=one two{b}"},
        {"<a>  \r\n\t x y \r\n </a>", true, "a=x y"},
        {"<a/><b/>", true, "a{b}"},
        {"<a></a><b>t</b>", true, "a{b=t}"},
        {"<a><b></c>text</a>", true, "a=text{b}"},
        {"<a><b><c/></b></a>", true, "a{b{c}}"},
        {"<!-- note --><?xml version=\"1.0\"?><!DOCTYPE a><a/>", true, "a"},
        {"<a><!-- <b/> -->x<?pi c?></a>", true, "a=x"},
        {"hello<a>x</a>", true, "a=hellox"},
        {"<a>text</a>ignored tail", true, "a=text"},
        {"<a>", true, "a"},
        {"<a>x", true, "a"},
        {"<a>x<", false, "a"},
        {"<a><b>x<c", false, "a{b}"},
        {"", true, ""},
        {" \r\n\t ", true, ""},
        {"<a>&amp;lt;</a>", true, "a=&lt;"},
        {"<a>&lt;&gt;&apos;&quot;&amp;&#65;&nbsp;&</a>", true, "a=<>'\"&&#65;&nbsp;&"},
        {"<A>x</A>", true, "A=x"},
        {"<a/ x='1'>", true, "a{x=1}"},
        {"<a b>", true, "a"},
        // Comments end at the first "-->" counted from the opener itself.
        {"<!--><a/>", true, "a"},
        {"<!---><a/>", true, "a"},
        // An opener that a removal brings together is removed as well.
        {"<!<!-- x -->-- y --><a/>", true, "a"},
        {"<!<!---->-- > --><a/>", true, "a"},
        {"<!-<!---->- > --><a/>", true, "a"},
        {"<<!-- x -->?pi?><a/>", true, "a"},
        // Constructs without an end take the rest of the text with them.
        {"<a>x<!-- never closed <b/>", true, "a"},
        {"<a/><?pi <b", true, "a"},
        {"<a>x</a><!DOCTYPE a", true, "a=x"},
        {"<!--", true, ""},
        // Cutting a declaration can join a new processing instruction; it goes as well.
        {"<a><<!x>?y>t</a>", true, "a=t"},
        {"<r><x<<!q>?y>z/></r>", true, "r{xz}"},
        {"<r><x<<!q>?y></r>", true, "r{x<}"},
    };
    for (const Case& c : cases) {
        XmlNode node("before");
        node.addChild("stale");
        EXPECT_EQ(node.parse(c.text), c.ok) << c.text;
        EXPECT_EQ(dump(node), c.tree) << c.text;
    }

    XmlNode untouched = sampleTree();
    EXPECT_FALSE(untouched.parse(nullptr));
    EXPECT_EQ(dump(untouched), "root=v{a=x,e,n{m=1}}");
}

// The text may belong to the very node that parses it.
TEST(XmlNode, ParseOwnValue)
{
    XmlNode node("n", "<a><b>inner</b></a>");
    node.addChild("c", "<x y='1'/>");
    EXPECT_TRUE(node.parse(node.value.c_str()));
    EXPECT_EQ(dump(node), "a{b=inner}");
    EXPECT_TRUE(node.parse(node.children[0]->value.c_str()));
    EXPECT_EQ(dump(node), ""); // text without any tag is not a document
}

// Whatever tree the parser builds writes back into text that parses: names never carry
// the openers of comments, declarations or processing instructions.
TEST(XmlNode, ParsedTreesWriteBackIntoReadableText)
{
    const char* texts[] = {
        "<ml?><<!ag/?><<!ag/>?>m\"0.0\"?>\r\n<",
        "<x<<!q>?y>",
        "<m s<?g t<<!ag/>?>msg>",
        "<a \x01!--b='1'><\x01!--c/><d-->x</d--></a>",
        "<\x01?pi><b/></\x01?pi>",
    };
    for (const char* text : texts) {
        XmlNode node;
        node.parse(text);
        XmlNode back;
        EXPECT_TRUE(back.parse(node.toCompactString(true))) << text;
        EXPECT_TRUE(back.parse(node.toString(0, false))) << text;
    }
}

namespace {

// The removal of special constructs the slow way: search from the start, cut, join, again.
void cutAll(std::string& t, const std::string& opener, const std::string& closer, size_t closerFrom)
{
    for (size_t p; (p = t.find(opener)) != std::string::npos;) {
        size_t q = t.find(closer, p + closerFrom);
        if (q == std::string::npos) {
            t.erase(p);
            return;
        }
        t.erase(p, q + closer.size() - p);
    }
}

std::string referenceClean(std::string t)
{
    cutAll(t, "<!--", "-->", 0);
    cutAll(t, "<?", ">", 2);
    std::string before = t;
    cutAll(t, "<!", ">", 2);
    if (t != before) {
        for (;;) {
            size_t a = t.find("<?"), b = t.find("<!");
            size_t p = a < b ? a : b;
            if (p == std::string::npos)
                break;
            size_t q = t.find('>', p + 2);
            if (q == std::string::npos) {
                t.erase(p);
                break;
            }
            t.erase(p, q + 1 - p);
        }
    }
    return t;
}

} // namespace

// Random texts made of the constructs' own characters, against the slow removal.
TEST(XmlNode, RemovalOfSpecialConstructsMatchesRepeatedCuts)
{
    const char alphabet[] = "<<!!--?>>a ";
    uint32_t seed = 99;
    for (int round = 0; round < 20000; ++round) {
        std::string s;
        seed = seed * 1103515245u + 12345u;
        int len = static_cast<int>((seed >> 16) % 28);
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            s += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        std::string cleaned = referenceClean(s);
        XmlNode fast, slow;
        bool fastOk = fast.parse(s.c_str());
        bool slowOk = slow.parse(cleaned.c_str());
        ASSERT_EQ(fastOk, slowOk) << s;
        ASSERT_EQ(dump(fast), dump(slow)) << s << " cleaned " << cleaned;
    }
}

TEST(XmlNode, EscapingHelpers)
{
    EXPECT_EQ(xmlEscape("a&b<c>d'e\"f"), "a&amp;b&lt;c&gt;d&apos;e&quot;f");
    EXPECT_EQ(xmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(xmlEscape(""), "");
    EXPECT_EQ(xmlUnescape("&lt;&gt;&apos;&quot;&amp;"), "<>'\"&");
    EXPECT_EQ(xmlUnescape("&amp;lt;"), "&lt;");
    EXPECT_EQ(xmlUnescape("&#60;&lt&;&amp"), "&#60;&lt&;&amp");
    String zero("a\0<", 3);
    String escaped = xmlEscape(zero);
    EXPECT_EQ(escaped.length(), 6);
    EXPECT_EQ(std::string(escaped.c_str(), 6), std::string("a\0&lt;", 6));
}

// The one-pass helpers must give the bytes of the replacement sequence they stand for.
TEST(XmlNode, EscapingMatchesReplacementSequence)
{
    const char alphabet[] = "&&;;ltgampqosu<>'\"x";
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        int len = static_cast<int>(seed % 24);
        for (int i = 0; i < len; ++i) {
            seed = seed * 1103515245u + 12345u;
            s += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        seed = seed * 1103515245u + 12345u;

        String escaped(s.c_str());
        escaped.replaceAll("&", "&amp;");
        escaped.replaceAll("<", "&lt;");
        escaped.replaceAll(">", "&gt;");
        escaped.replaceAll("'", "&apos;");
        escaped.replaceAll("\"", "&quot;");
        EXPECT_EQ(xmlEscape(String(s.c_str())), escaped) << s;

        String unescaped(s.c_str());
        unescaped.replaceAll("&lt;", "<");
        unescaped.replaceAll("&gt;", ">");
        unescaped.replaceAll("&apos;", "'");
        unescaped.replaceAll("&quot;", "\"");
        unescaped.replaceAll("&amp;", "&");
        EXPECT_EQ(xmlUnescape(String(s.c_str())), unescaped) << s;
    }
}

TEST(XmlNode, CompactRoundTripKeepsTheTree)
{
    XmlNode root("msg", "body <&>'\" text");
    root.addChild("from", " alice & bob ");
    root.addChild("empty");
    XmlNode* list = root.addChild("list");
    list->addChild("item", "1");
    list->addChild("item", "<2>");
    list->addChild("sub", "s")->addChild("leaf", "'q'");

    XmlNode back;
    ASSERT_TRUE(back.parse(root.toCompactString(true)));
    // Leaf children come back from the attributes, ahead of the element children.
    EXPECT_EQ(dump(back), "msg=body <&>'\" text{from= alice & bob ,empty,list{item=1,item=<2>,sub=s{leaf='q'}}}");
    XmlNode again;
    ASSERT_TRUE(again.parse(back.toCompactString(false)));
    EXPECT_EQ(dump(again), dump(back));
}

TEST(XmlNode, IndentedRoundTripTrimsElementValues)
{
    XmlNode root("r", "  padded\r\n");
    root.addChild("a", "\t x \t");
    root.addChild("b", "<&>");
    XmlNode back;
    ASSERT_TRUE(back.parse(root.toString(0, true)));
    EXPECT_EQ(dump(back), "r=padded{a=x,b=<&>}");

    XmlNode compact;
    ASSERT_TRUE(compact.parse(root.toCompactString(true)));
    EXPECT_EQ(dump(compact), "r=padded{a=\t x \t,b=<&>}"); // attribute values keep their blanks
}

TEST(XmlNode, NestingLimit)
{
    auto nested = [](int levels, const char* inner) {
        std::string s;
        for (int i = 0; i < levels; ++i)
            s += "<e>";
        s += inner;
        for (int i = 0; i < levels; ++i)
            s += "</e>";
        return s;
    };
    const int max = XmlNode::MaxParseDepth;
    XmlNode node;
    EXPECT_TRUE(node.parse(nested(max, "x").c_str()));
    const XmlNode* p = &node;
    int depth = 1;
    while (p->children.count() > 0) {
        p = p->children[0];
        ++depth;
    }
    EXPECT_EQ(depth, max);
    EXPECT_EQ(p->value, "x");
    // The accepted tree writes and reads back in both forms.
    XmlNode back;
    EXPECT_TRUE(back.parse(node.toString(0, true)));
    EXPECT_TRUE(back.parse(node.toCompactString(true)));

    EXPECT_FALSE(node.parse(nested(max + 1, "").c_str()));
    EXPECT_FALSE(node.parse(nested(max, "<f/>").c_str()));
    EXPECT_FALSE(node.parse(nested(max - 1, "<f a='1'/>").c_str())); // the attribute is level max + 1
    EXPECT_TRUE(node.parse(nested(max - 1, "<f/>").c_str()));
    // Elements behind the root's end tag hang below the root and count from there.
    EXPECT_FALSE(node.parse(("<r/>" + nested(max, "")).c_str()));
    EXPECT_TRUE(node.parse(("<r/>" + nested(max - 1, "")).c_str()));

    // Far deeper than any stack would take: refused, not followed.
    std::string hostile;
    for (int i = 0; i < 200000; ++i)
        hostile += "<e>";
    EXPECT_FALSE(node.parse(hostile.c_str()));
    // Nameless tags name the node itself again and again; they do not nest.
    std::string nameless;
    for (int i = 0; i < 200000; ++i)
        nameless += "<>";
    EXPECT_TRUE(node.parse(nameless.c_str()));
    EXPECT_EQ(dump(node), "");
}

TEST(XmlNode, WideDocumentsParse)
{
    std::string text = "<roster>";
    for (int i = 0; i < 100000; ++i)
        text += "<c id='" + std::to_string(i) + "'/>";
    text += "</roster>";
    XmlNode node;
    ASSERT_TRUE(node.parse(text.c_str()));
    ASSERT_EQ(node.children.count(), 100000);
    EXPECT_EQ(node.children[99999]->childOrEmpty("id")->getValue(), "99999");
}

TEST(XmlNode, SaveAndLoadFiles)
{
    TempDirectory dir;
    XmlNode root = sampleTree();
    for (bool compact : {false, true}) {
        std::string path = dir / (compact ? "compact.xml" : "indented.xml");
        ASSERT_TRUE(root.saveFile(path.c_str(), compact));
        String bytes;
        ASSERT_TRUE(File::readAll(path.c_str(), bytes));
        EXPECT_EQ(bytes, root.toString(compact ? -1 : 0, true));

        XmlNode loaded("old");
        ASSERT_TRUE(loaded.loadFile(path.c_str()));
        EXPECT_EQ(dump(loaded), "root=v{a=x,e,n{m=1}}");
    }

    XmlNode unchanged = sampleTree();
    EXPECT_FALSE(unchanged.loadFile((dir / "missing.xml").c_str()));
    EXPECT_FALSE(unchanged.loadFile(nullptr));
    EXPECT_EQ(dump(unchanged), "root=v{a=x,e,n{m=1}}");
    EXPECT_FALSE(root.saveFile((dir / "no/such/dir.xml").c_str(), false));
    EXPECT_FALSE(root.saveFile(nullptr, false));

    std::string broken = dir / "broken.xml";
    ASSERT_TRUE(File::writeAll(broken.c_str(), "<a><b", 5));
    XmlNode partial;
    EXPECT_FALSE(partial.loadFile(broken.c_str()));
    EXPECT_EQ(dump(partial), "a");
}
