#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class XmlTextBuffer;

// One XML element: a name, a text value and an ordered list of owned child elements.
// Every XML text the program reads or writes is a tree of these. The parser is forgiving
// and maps attributes to child nodes; the compact writer maps leaf children back to
// attributes, so a tree written compactly reads back as the same tree.
//
// Not a general XML processor: no namespaces, no character references, no CDATA;
// comments, declarations and processing instructions are dropped before parsing.
class XmlNode {
public:
    // Levels of elements that parse accepts, the root being the first and an attribute
    // one level below its element. Text from the network decides the depth of the tree,
    // and the writer, the copy and the destructor all recurse along it.
    static constexpr int MaxParseDepth = 256;

    XmlNode();
    explicit XmlNode(const char* name);
    XmlNode(const char* name, const char* value);
    XmlNode(const XmlNode& other);
    XmlNode(XmlNode&& other) noexcept;
    ~XmlNode();

    // The other node may be one of this node's own descendants: it is copied before the
    // old children go. There is deliberately no moving assignment: moving a node's own
    // ancestor into it would make the tree contain itself.
    XmlNode& operator=(const XmlNode& other);

    // Appends a child (name, value) and answers it. MemoryException when the child array
    // cannot grow.
    XmlNode* addChild(const char* name, const char* value = nullptr);
    // Index of the first child whose name equals name ignoring ASCII case; -1 when none
    // or when name is NULL.
    int findChild(const char* name) const;
    XmlNode* getChild(const char* name);
    const XmlNode* getChild(const char* name) const;
    // The child, appended with an empty value when there is none.
    XmlNode* findOrAddChild(const char* name);
    // The child, or the shared empty node; never NULL, so lookups can be chained.
    const XmlNode* childOrEmpty(const char* name) const;
    // The one empty node (named "xml") that childOrEmpty answers for a missing child.
    static const XmlNode& emptyNode();

    String getValue() const { return value; }
    void setBool(bool b);
    bool getBool() const;
    void setInt(int32_t n);
    int32_t getInt() const;

    // depth >= 0: the indented form (tabs, CR LF) starting at that depth; depth < 0: the
    // compact one-line form, in which children without children become attributes.
    // selfClose lets an element without value and children be one empty-element tag;
    // nested elements always have it.
    String toString(int depth, bool selfClose) const;
    String toCompactString(bool selfClose) const { return toString(-1, selfClose); }

    // Replaces this node by the tree read from text. False for NULL text (node unchanged),
    // for a "<" without a following ">" and for nesting deeper than MaxParseDepth; what
    // was read up to the failure stays in the node.
    bool parse(const char* text);
    // False when the file cannot be read (node unchanged) or does not parse. Like every
    // text, the file's contents count up to their first zero byte.
    bool loadFile(const char* path);
    // The indented (or compact) form, without a declaration, as the whole file.
    bool saveFile(const char* path, bool compact) const;

    String name;
    String value;
    // Owned: destroying the node destroys them. Document order; names may repeat. Room
    // grows by 10 while the node is small, then by half the count.
    Array<XmlNode*> children;

private:
    void appendOwnedChild(XmlNode* child);
    void deleteChildren();
    void write(XmlTextBuffer& out, int depth, bool selfClose) const;

    friend class XmlReader;
};

// &, <, >, ' and " as entities (the ampersand first, so entities are not escaped twice).
String xmlEscape(const String& text);
// The four character entities, then &amp; last; numeric references stay as they are.
String xmlUnescape(const String& text);

} // namespace orvane
