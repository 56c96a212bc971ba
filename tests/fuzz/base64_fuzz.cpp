// Decodes arbitrary bytes, and checks that encoding the same bytes decodes back to them.
#include "foundation/Containers.h"
#include "foundation/Conversions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int n = static_cast<int>(size);
    ByteArray decoded;
    base64Decode(reinterpret_cast<const char*>(data), n, decoded);
    if (decoded.count() < 0 || decoded.count() > n)
        std::abort();
    const std::string text(reinterpret_cast<const char*>(data), size);
    base64DecodeToString(text.c_str());

    const String encoded = base64Encode(data, n);
    if (encoded.length() != base64EncodedLength(n))
        std::abort();
    ByteArray back;
    base64Decode(encoded.c_str(), encoded.length(), back);
    if (back.count() != n || (n > 0 && std::memcmp(back.data(), data, size) != 0))
        std::abort();
    return 0;
}
