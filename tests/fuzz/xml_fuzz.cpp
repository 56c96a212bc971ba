// Parses arbitrary bytes; whatever tree comes out must write in both forms and read back.
#include "foundation/XmlNode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    XmlNode node("seed", "value");
    node.addChild("stale");
    node.parse(text.c_str());

    XmlNode back;
    if (!back.parse(node.toCompactString(true).c_str()))
        std::abort();
    if (!back.parse(node.toString(0, false).c_str()))
        std::abort();

    // Copies, and assignment from a node inside the tree being replaced.
    XmlNode copy(node);
    while (copy.children.count() > 0)
        copy = *copy.children[copy.children.count() - 1];
    return 0;
}
