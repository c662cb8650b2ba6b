// The test broker's reading of a request body (plain, Base64 or RSA) and of
// the request text it carries.
// Properties: the parts of a text are no more than its '&' items and '|'
// fields; Base64 that decodes encodes back to the same bytes; a decoded
// body is no longer than what came in.
#include "../FuzzTarget.h"

#include "RequestDecoder.h"

#include <algorithm>

FUZZ_TARGET(broker_requests)
{
    const std::string_view input = fuzz::text(data, size);
    const tb::RequestText r = tb::splitRequest(input);
    FUZZ_CHECK(r.items.size() <= size_t(std::count(input.begin(), input.end(), '&')) + 1);
    FUZZ_CHECK(r.fields.size() <= size_t(std::count(input.begin(), input.end(), '|')) + 1);
    (void)r.key();

    bool ok = false;
    const std::string bytes = tb::base64Decode(input, &ok);
    if (ok) {
        FUZZ_CHECK(bytes.size() <= input.size());
        FUZZ_CHECK(tb::base64Decode(tb::base64Encode(bytes)) == bytes);
    }
    static const tb::RequestDecoder decoder;
    const tb::DecodedBody body = decoder.decode(input);
    FUZZ_CHECK(body.encryption >= -1 && body.encryption <= 2);
    if (body.encryption >= 0)
        FUZZ_CHECK(body.text.size() <= input.size());
}
