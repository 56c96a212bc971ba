// Feeds arbitrary bytes, split at points the input chooses, to the response and request
// parsers: every outcome must be a parsed message or an HttpException, within the limits.
#include "network/HttpRequest.h"
#include "network/HttpResponse.h"

#include <cstddef>
#include <cstdint>

using namespace orvane;

namespace {

void run(HttpMessage& m, const uint8_t* data, size_t size)
{
    m.maxBodySize = 4096;
    m.maxLineLength = 512;
    m.maxHeaderCount = 16;
    // The first byte picks the size of the pieces.
    const size_t step = size ? (data[0] % 16) + 1 : 1;
    try {
        for (size_t i = 1; i < size; i += step) {
            size_t n = size - i < step ? size - i : step;
            m.parse(data + i, static_cast<int>(n));
        }
        if (m.body.count() > m.maxBodySize)
            __builtin_trap();
        ByteArray out;
        m.writeTo(out);
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HttpResponse response;
    run(response, data, size);
    HttpRequest request;
    run(request, data, size);
    return 0;
}
