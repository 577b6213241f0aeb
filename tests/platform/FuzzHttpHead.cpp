// A server's response head, line by line as the transfer library hands it over, and a
// Content-Range against the range asked for: whatever a server sends, the status is a
// three-digit code or none, a length is a plain size or unknown, a range is read only from
// its plain form, and it is taken only when it names exactly the bytes asked for.
//
// Input: [range asked: first, 3 bytes] [last, 3 bytes] [size, 3 bytes] then header lines.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/HttpClient.hpp"
#include "support/FuzzInput.hpp"

using namespace tarvos;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const auto first = static_cast<int64_t>(in.Uint(3)), last = static_cast<int64_t>(in.Uint(3));
    const auto total = static_cast<int64_t>(in.Uint(3));
    const std::string head = in.Rest();

    HttpHead h;
    for (size_t at = 0; at < head.size();) {
        const size_t end = head.find('\n', at);
        const size_t next = end == std::string::npos ? head.size() : end + 1;
        h.Take(head.data() + at, next - at);
        at = next;
    }
    if (h.status != 0 && (h.status < 100 || h.status > 999)) std::abort();
    if (h.contentLength < -1) std::abort();

    if (const auto r = ParseContentRange(h.contentRange)) {
        const std::string back = "bytes " + std::to_string(r->first) + "-" + std::to_string(r->last) + "/" +
                                 (r->total < 0 ? std::string("*") : std::to_string(r->total));
        if (back != h.contentRange || r->first < 0 || r->last < 0) std::abort();
    }
    if (ContentRangeIs(h.contentRange, first, last, total)) {
        const std::string exact = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/";
        if (h.contentRange != exact + std::to_string(total) && h.contentRange != exact + "*") std::abort();
    }
    // The range the launcher asks for is always recognised in the form it is sent back.
    if (!ContentRangeIs("bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total),
                        first, last, total))
        std::abort();
    return 0;
}
