#include "foundation/XmlNode.h"

#include "foundation/Conversions.h"
#include "foundation/Exception.h"
#include "foundation/File.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace orvane {

namespace {

const int kChildGrowBy = 10;

// Children arrays grow by growBy while they are small. A wide node (a roster, or a
// message with thousands of sibling elements) would then be copied once every ten
// additions, which makes building it quadratic; past twice the growBy the array grows
// by half its count instead.
void appendChildPointer(Array<XmlNode*>& children, XmlNode* child)
{
    const int count = children.count();
    if (count == children.capacity()) {
        if (count == INT_MAX)
            throw MemoryException();
        int extra = count / 2 > children.growBy() ? count / 2 : children.growBy();
        int needed = count + 1;
        children.setCapacity(needed > INT_MAX - extra ? INT_MAX : needed + extra);
    }
    children.add(child);
}

void destroyAll(Array<XmlNode*>& children)
{
    for (XmlNode* child : children)
        delete child;
    children.setSize(0);
}

XmlNode* newNode(const char* name, const char* value)
{
    XmlNode* node = new (std::nothrow) XmlNode(name, value);
    if (!node)
        throw MemoryException();
    return node;
}

// Deep copies of from's children appended to into; on failure into is left empty.
void copyChildren(const XmlNode& from, Array<XmlNode*>& into)
{
    try {
        for (const XmlNode* child : from.children) {
            XmlNode* copy = new (std::nothrow) XmlNode(*child);
            if (!copy)
                throw MemoryException();
            try {
                appendChildPointer(into, copy);
            } catch (...) {
                delete copy;
                throw;
            }
        }
    } catch (...) {
        destroyAll(into);
        throw;
    }
}

} // namespace

// The writers' output buffer: text is put in with plain copies into room that doubles,
// and handed over as one String at the end.
class XmlTextBuffer {
public:
    XmlTextBuffer() = default;
    ~XmlTextBuffer() { std::free(buf_); }
    XmlTextBuffer(const XmlTextBuffer&) = delete;
    XmlTextBuffer& operator=(const XmlTextBuffer&) = delete;

    void put(const char* p, int n)
    {
        if (n <= 0)
            return;
        if (n > cap_ - len_)
            grow(n);
        std::memcpy(buf_ + len_, p, static_cast<size_t>(n));
        len_ += n;
    }
    void put(char c)
    {
        if (len_ == cap_)
            grow(1);
        buf_[len_++] = c;
    }
    void put(const String& s) { put(s.c_str(), s.length()); }
    String take() const { return String(buf_, len_); }

private:
    void grow(int n)
    {
        if (n > INT_MAX - len_)
            throw MemoryException();
        int need = len_ + n;
        int cap = cap_ > INT_MAX / 2 ? INT_MAX : (cap_ * 2 > 256 ? cap_ * 2 : 256);
        if (cap < need)
            cap = need;
        char* p = static_cast<char*>(std::realloc(buf_, static_cast<size_t>(cap)));
        if (!p)
            throw MemoryException();
        buf_ = p;
        cap_ = cap;
    }

    char* buf_ = nullptr;
    int len_ = 0;
    int cap_ = 0;
};

namespace {

// ---- escaping -------------------------------------------------------------------------

struct EscapeTable {
    bool special[256];
    constexpr EscapeTable() : special()
    {
        special[static_cast<unsigned char>('&')] = true;
        special[static_cast<unsigned char>('<')] = true;
        special[static_cast<unsigned char>('>')] = true;
        special[static_cast<unsigned char>('\'')] = true;
        special[static_cast<unsigned char>('"')] = true;
    }
};

constexpr EscapeTable kEscape{};

// One pass over the text gives the same bytes as replacing &, <, >, ' and " one after
// the other: the entities that the later replacements insert hold none of the later
// characters, and the ampersand goes first.
void appendEscaped(XmlTextBuffer& out, const String& text)
{
    const char* p = text.c_str();
    const char* end = p + text.length();
    while (p < end) {
        const char* q = p;
        while (q < end && !kEscape.special[static_cast<unsigned char>(*q)])
            ++q;
        out.put(p, static_cast<int>(q - p));
        if (q == end)
            break;
        switch (*q) {
        case '&': out.put("&amp;", 5); break;
        case '<': out.put("&lt;", 4); break;
        case '>': out.put("&gt;", 4); break;
        case '\'': out.put("&apos;", 6); break;
        default: out.put("&quot;", 6); break;
        }
        p = q + 1;
    }
}

bool startsWithAt(const char* p, const char* end, const char* entity, int n)
{
    return end - p >= n && std::memcmp(p, entity, static_cast<size_t>(n)) == 0;
}

// One pass that equals replacing &lt;, &gt;, &apos; and &quot; and then &amp;: every
// entity begins with the only ampersand it holds, so at most one can begin at any byte,
// and the characters put in for the first four cannot join into an &amp;.
void appendUnescaped(String& out, const char* p, int n)
{
    const char* end = p + n;
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<size_t>(end - p)));
        if (!amp) {
            out.append(p, static_cast<int>(end - p));
            return;
        }
        out.append(p, static_cast<int>(amp - p));
        if (startsWithAt(amp, end, "&lt;", 4)) {
            out.append('<');
            p = amp + 4;
        } else if (startsWithAt(amp, end, "&gt;", 4)) {
            out.append('>');
            p = amp + 4;
        } else if (startsWithAt(amp, end, "&apos;", 6)) {
            out.append('\'');
            p = amp + 6;
        } else if (startsWithAt(amp, end, "&quot;", 6)) {
            out.append('"');
            p = amp + 6;
        } else if (startsWithAt(amp, end, "&amp;", 5)) {
            out.append('&');
            p = amp + 5;
        } else {
            out.append('&');
            p = amp + 1;
        }
    }
}

void appendTabs(XmlTextBuffer& out, int depth)
{
    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    const int chunk = static_cast<int>(sizeof tabs - 1);
    while (depth > 0) {
        int n = depth < chunk ? depth : chunk;
        out.put(tabs, n);
        depth -= n;
    }
}

// ---- removal of comments, processing instructions and declarations --------------------
//
// Each removal cuts a range out of the text and joins the two sides, and goes on until its
// opener no longer occurs; a join can bring an opener together from both sides, and that
// one counts too. Each pass below is one scan that writes the kept text down in place
// (the write position never passes the read position): the kept text holds no opener, so
// the leftmost opener is either one that begins in the kept text's last bytes and ends in
// the rest, or the first one in the rest. The work is linear in the text.
// A range whose end never comes takes the rest of the text with it: what follows an
// unterminated comment or declaration is not a document anybody meant to send.

// The first "<" followed by `second` in buf[from, n), or n. The search runs on the second
// byte: "!" and "?" are rare in documents, where "<" opens every tag.
int findOpener(const char* buf, int from, int n, char second)
{
    int p = from + 1;
    while (p < n) {
        const char* hit = static_cast<const char*>(std::memchr(buf + p, second, static_cast<size_t>(n - p)));
        if (!hit)
            return n;
        p = static_cast<int>(hit - buf);
        if (buf[p - 1] == '<')
            return p - 1;
        ++p;
    }
    return n;
}

// Every comment: from "<!--" through the first "-->" counted from the opener itself.
int cutComments(char* buf, int n)
{
    static const char opener[] = "<!--";
    const int k = 4;
    int o = 0; // kept text: buf[0, o)
    int i = 0; // text still to read: buf[i, n)
    while (i < n) {
        bool found = false;
        for (int j = (o < k - 1 ? o : k - 1); j >= 1 && !found; --j) {
            if (n - i >= k - j && std::memcmp(buf + o - j, opener, static_cast<size_t>(j)) == 0 &&
                std::memcmp(buf + i, opener + j, static_cast<size_t>(k - j)) == 0) {
                o -= j;
                i += k - j;
                found = true;
            }
        }
        if (!found) {
            int h = findOpener(buf, i, n, '!');
            while (h < n && !(n - h >= k && buf[h + 2] == '-' && buf[h + 3] == '-'))
                h = findOpener(buf, h + 2, n, '!');
            std::memmove(buf + o, buf + i, static_cast<size_t>(h - i));
            o += h - i;
            if (h == n)
                break;
            i = h + k;
        }
        // The closing "-->" may begin on the opener's own last two dashes.
        if (i < n && buf[i] == '>') {
            i += 1;
        } else if (n - i >= 2 && buf[i] == '-' && buf[i + 1] == '>') {
            i += 2;
        } else {
            int g = i + 2;
            while (g < n) {
                const char* gt = static_cast<const char*>(std::memchr(buf + g, '>', static_cast<size_t>(n - g)));
                g = gt ? static_cast<int>(gt - buf) : n;
                if (g < n && buf[g - 1] == '-' && buf[g - 2] == '-')
                    break;
                ++g;
            }
            if (g >= n)
                break;
            i = g + 1;
        }
    }
    return o;
}

bool isMarkupSecond(char c, const char* seconds)
{
    return c != 0 && std::strchr(seconds, c) != nullptr;
}

// Every range from "<" followed by one of `seconds` through the first ">" behind it.
int cutMarkup(char* buf, int n, const char* seconds)
{
    int o = 0;
    int i = 0;
    while (i < n) {
        if (o > 0 && buf[o - 1] == '<' && isMarkupSecond(buf[i], seconds)) {
            o -= 1;
            i += 1;
        } else {
            int h = i;
            if (seconds[1] == 0) {
                h = findOpener(buf, i, n, seconds[0]);
            } else {
                for (;;) {
                    const char* lt = static_cast<const char*>(std::memchr(buf + h, '<', static_cast<size_t>(n - h)));
                    h = lt ? static_cast<int>(lt - buf) : n;
                    if (h >= n - 1) {
                        h = n;
                        break;
                    }
                    if (isMarkupSecond(buf[h + 1], seconds))
                        break;
                    ++h;
                }
            }
            std::memmove(buf + o, buf + i, static_cast<size_t>(h - i));
            o += h - i;
            if (h == n)
                break;
            i = h + 2;
        }
        const char* gt = static_cast<const char*>(std::memchr(buf + i, '>', static_cast<size_t>(n - i)));
        if (!gt)
            break;
        i = static_cast<int>(gt - buf) + 1;
    }
    return o;
}

// Comments, then processing instructions, then the other declarations, in that order.
// Cutting a declaration can join a "<" and a "?" into a new processing instruction that
// the earlier pass no longer sees; one more pass then removes what remains of both, so
// that the parser never meets an opener inside a tag: a name holding one would be
// written back into a text that does not read again.
int removeSpecialConstructs(char* buf, int n)
{
    n = cutComments(buf, n);
    n = cutMarkup(buf, n, "?");
    int beforeDeclarations = n;
    n = cutMarkup(buf, n, "!");
    if (n != beforeDeclarations)
        n = cutMarkup(buf, n, "?!");
    return n;
}

} // namespace

// ---- reader ------------------------------------------------------------------------------

// Reads elements from a cleaned text. A reader works on one node: when the node has no
// name yet, the next start tag names the node itself and its content is read into the
// same node (counted in `open`, not by recursion); otherwise every start tag appends a
// child, and the child's content is read by a nested reader.
class XmlReader {
public:
    XmlReader(const char* text, int length) : cur_(text), end_(text + length) {}

    bool failed() const { return failed_; }

    // level: the node's level of nesting, the root being 1.
    bool readElement(XmlNode& node, int level)
    {
        int open = 1;
        for (;;) {
            if (cur_ >= end_)
                return true;
            const char* lt = static_cast<const char*>(std::memchr(cur_, '<', static_cast<size_t>(end_ - cur_)));
            if (!lt)
                return true; // text behind the last tag is ignored
            const char* gt = static_cast<const char*>(std::memchr(lt + 1, '>', static_cast<size_t>(end_ - lt - 1)));
            if (!gt)
                return fail();
            if (lt > cur_)
                appendText(node, cur_, lt);
            cur_ = gt + 1;

            const char second = lt[1];
            if (second == '!' || second == '?')
                continue;
            if (second == '/') {
                // The name in the end tag is not compared.
                if (--open == 0)
                    return true;
                continue;
            }

            const char* nameEnd = lt + 1;
            while (!isNameStop(*nameEnd))
                ++nameEnd;
            const char* nameStart = lt + 1;
            const char* stop = nameEnd;
            while (nameStart < nameEnd && isBlankByte(*nameStart))
                ++nameStart;
            while (nameEnd > nameStart && isBlankByte(nameEnd[-1]))
                --nameEnd;
            const bool selfClosing = gt[-1] == '/' && gt - 1 > lt;

            XmlNode* target;
            int targetLevel;
            if (node.name.isEmpty()) {
                node.name.assign(nameStart, static_cast<int>(nameEnd - nameStart));
                target = &node;
                targetLevel = level;
            } else {
                target = addChild(node, nameStart, static_cast<int>(nameEnd - nameStart), level + 1);
                if (!target)
                    return false;
                targetLevel = level + 1;
            }
            readAttributes(*target, stop + 1, gt + 1, targetLevel);
            if (failed_)
                return false;
            if (!selfClosing) {
                if (target == &node) {
                    ++open;
                } else {
                    readElement(*target, targetLevel);
                    if (failed_)
                        return false;
                }
            }
        }
    }

private:
    static bool isNameStop(char c)
    {
        return c == ' ' || c == '/' || c == '>' || c == '\t' || c == '\r' || c == '\n';
    }

    bool fail()
    {
        failed_ = true;
        return false;
    }

    // Text pieces around child elements join into one value, trimmed at both ends. The
    // value is trimmed after every piece, so trimming the piece's own ends instead (its
    // leading blanks only while the value is empty) gives the same bytes without moving
    // the value; no entity holds a blank, so trimming before unescaping is the same.
    static void appendText(XmlNode& node, const char* from, const char* to)
    {
        while (to > from && isBlankByte(to[-1]))
            --to;
        if (node.value.isEmpty())
            while (from < to && isBlankByte(*from))
                ++from;
        if (from < to)
            appendUnescaped(node.value, from, static_cast<int>(to - from));
    }

    XmlNode* addChild(XmlNode& parent, const char* name, int length, int level)
    {
        if (level > XmlNode::MaxParseDepth) {
            fail();
            return nullptr;
        }
        XmlNode* child = newNode(nullptr, nullptr);
        try {
            child->name.assign(name, length);
            parent.appendOwnedChild(child);
        } catch (...) {
            delete child;
            throw;
        }
        return child;
    }

    // Attributes of one tag, [p, end) being the tag behind its name, up to its ">".
    // A malformed attribute ends the reading; what came before it stays.
    void readAttributes(XmlNode& target, const char* p, const char* end, int level)
    {
        for (;;) {
            while (p < end && isBlankByte(*p))
                ++p;
            if (p >= end)
                return;
            const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
            if (!eq || eq + 1 >= end)
                return;
            const char quote = eq[1];
            if (quote != '"' && quote != '\'')
                return;
            const char* open = eq + 2;
            const char* close = static_cast<const char*>(std::memchr(open, quote, static_cast<size_t>(end - open)));
            if (!close)
                return;
            XmlNode* child = addChild(target, p, static_cast<int>(eq - p), level + 1);
            if (!child)
                return;
            appendUnescaped(child->value, open, static_cast<int>(close - open));
            p = close + 1;
        }
    }

    const char* cur_;
    const char* end_;
    bool failed_ = false;
};

// ---- XmlNode ----------------------------------------------------------------------------

XmlNode::XmlNode() : name("xml"), children(kChildGrowBy) {}

XmlNode::XmlNode(const char* name_) : name(name_), children(kChildGrowBy) {}

XmlNode::XmlNode(const char* name_, const char* value_)
    : name(name_), value(value_), children(kChildGrowBy)
{
}

XmlNode::XmlNode(const XmlNode& other)
    : name(other.name), value(other.value), children(kChildGrowBy)
{
    copyChildren(other, children);
}

XmlNode::XmlNode(XmlNode&& other) noexcept
    : name(std::move(other.name)), value(std::move(other.value)), children(std::move(other.children))
{
    other.children.setGrowBy(kChildGrowBy);
}

XmlNode::~XmlNode()
{
    deleteChildren();
}

XmlNode& XmlNode::operator=(const XmlNode& other)
{
    if (this == &other)
        return *this;
    // other may live inside the subtree that is about to be destroyed: everything is
    // copied out of it before the old children go.
    Array<XmlNode*> fresh(kChildGrowBy);
    copyChildren(other, fresh);
    try {
        name = other.name;
        value = other.value;
    } catch (...) {
        destroyAll(fresh);
        throw;
    }
    children.swap(fresh);
    destroyAll(fresh);
    return *this;
}

void XmlNode::deleteChildren()
{
    destroyAll(children);
}

void XmlNode::appendOwnedChild(XmlNode* child)
{
    appendChildPointer(children, child);
}

XmlNode* XmlNode::addChild(const char* name_, const char* value_)
{
    XmlNode* child = newNode(name_, value_);
    try {
        appendOwnedChild(child);
    } catch (...) {
        delete child;
        throw;
    }
    return child;
}

int XmlNode::findChild(const char* name_) const
{
    if (!name_)
        return -1;
    for (int i = 0; i < children.count(); ++i)
        if (children[i]->name.equalsIgnoreCase(name_))
            return i;
    return -1;
}

XmlNode* XmlNode::getChild(const char* name_)
{
    int i = findChild(name_);
    return i < 0 ? nullptr : children[i];
}

const XmlNode* XmlNode::getChild(const char* name_) const
{
    int i = findChild(name_);
    return i < 0 ? nullptr : children[i];
}

XmlNode* XmlNode::findOrAddChild(const char* name_)
{
    XmlNode* child = getChild(name_);
    return child ? child : addChild(name_);
}

const XmlNode* XmlNode::childOrEmpty(const char* name_) const
{
    const XmlNode* child = getChild(name_);
    return child ? child : &emptyNode();
}

const XmlNode& XmlNode::emptyNode()
{
    static const XmlNode empty;
    return empty;
}

namespace {
// Built while the program's static objects are, before its own start-up code runs.
const XmlNode& kEmptyNodeAtStartUp = XmlNode::emptyNode();
} // namespace

void XmlNode::setBool(bool b)
{
    value = boolToString(b);
}

bool XmlNode::getBool() const
{
    return parseBool(value.c_str());
}

void XmlNode::setInt(int32_t n)
{
    value = intToString(n);
}

int32_t XmlNode::getInt() const
{
    return parseInt(value.c_str());
}

// ---- writer -------------------------------------------------------------------------------

String XmlNode::toString(int depth, bool selfClose) const
{
    XmlTextBuffer out;
    write(out, depth < 0 ? -1 : depth, selfClose);
    return out.take();
}

// Writes straight into one buffer. Attributes (compact form only) come from the leaf
// children and precede the element children, whatever their order among the children.
void XmlNode::write(XmlTextBuffer& out, int depth, bool selfClose) const
{
    const bool indented = depth >= 0;
    appendTabs(out, depth);
    out.put('<');
    out.put(name);
    bool hasElements = false;
    for (const XmlNode* child : children) {
        if (indented || child->children.count() > 0) {
            hasElements = true;
            continue;
        }
        out.put(' ');
        out.put(child->name);
        out.put("=\"", 2);
        appendEscaped(out, child->value);
        out.put('"');
    }
    if (!hasElements && value.isEmpty() && selfClose) {
        out.put("/>", 2);
        if (indented)
            out.put("\r\n", 2);
        return;
    }
    out.put('>');
    if (hasElements) {
        if (indented)
            out.put("\r\n", 2);
        for (const XmlNode* child : children)
            if (indented || child->children.count() > 0)
                child->write(out, indented ? depth + 1 : -1, true);
        appendTabs(out, depth);
    }
    if (!value.isEmpty()) {
        if (hasElements && indented)
            out.put('\t');
        appendEscaped(out, value);
        if (hasElements) {
            if (indented)
                out.put("\r\n", 2);
            appendTabs(out, depth);
        }
    }
    out.put("</", 2);
    out.put(name);
    out.put('>');
    if (indented)
        out.put("\r\n", 2);
}

// ---- parser and files -------------------------------------------------------------------

bool XmlNode::parse(const char* text)
{
    if (!text)
        return false;
    const size_t length = std::strlen(text);
    if (length > static_cast<size_t>(INT_MAX))
        throw MemoryException();
    // The copy is taken before the node is cleared: text may belong to this very tree.
    String copy(text, static_cast<int>(length));
    int n = copy.length();
    if (n > 0) {
        n = removeSpecialConstructs(copy.data(), n);
        while (n > 0 && isBlankByte(copy.data()[n - 1]))
            --n;
    }

    deleteChildren();
    name.clear();
    value.clear();

    XmlReader reader(copy.c_str(), n);
    reader.readElement(*this, 1);
    return !reader.failed();
}

bool XmlNode::loadFile(const char* path)
{
    String text;
    if (!path || !File::readAll(path, text))
        return false;
    try {
        return parse(text.c_str());
    } catch (const Exception&) {
        return false;
    }
}

bool XmlNode::saveFile(const char* path, bool compact) const
{
    if (!path)
        return false;
    try {
        String text = toString(compact ? -1 : 0, true);
        return File::writeAll(path, text.c_str(), text.length());
    } catch (const Exception&) {
        return false;
    }
}

// ---- escaping helpers ---------------------------------------------------------------------

String xmlEscape(const String& text)
{
    XmlTextBuffer out;
    appendEscaped(out, text);
    return out.take();
}

String xmlUnescape(const String& text)
{
    String out;
    appendUnescaped(out, text.c_str(), text.length());
    return out;
}

} // namespace orvane
