// Feeds a byte stream to the HTTP request reader twice: whole, and cut where the input's first
// bytes say. The requests read must be the same however the stream is cut, and the reader never
// holds more than one head and one body (the client reads no more while a request is unread).
#include "HttpRequestReader.h"

#include <cstdint>
#include <vector>

namespace {

constexpr HttpRequestReader::Limits kLimits{512, 1024}; // small, so the bounds are reached

struct Outcome {
    std::vector<HttpRequest> requests;
    bool error = false;
};

bool same(const HttpRequest& a, const HttpRequest& b)
{
    return a.method == b.method && a.path == b.path && a.version == b.version &&
           a.headers == b.headers && a.body == b.body && a.bareLineFeeds == b.bareLineFeeds;
}

// As HttpClient reads: never more than a whole request's room beyond what is held.
Outcome readInPieces(const QByteArray& stream, const std::vector<qsizetype>& cuts)
{
    HttpRequestReader reader(kLimits);
    Outcome outcome;
    qsizetype at = 0;
    size_t cut = 0;
    while (!outcome.error) {
        HttpRequest request;
        HttpRequestReader::Error error;
        const HttpRequestReader::Result result = reader.next(request, error);
        if (result == HttpRequestReader::Result::Error) {
            outcome.error = true;
            break;
        }
        if (result == HttpRequestReader::Result::Request) {
            outcome.requests.push_back(std::move(request));
            continue;
        }
        if (at >= stream.size())
            break;
        const qsizetype room = reader.wholeRequestBytes() - reader.buffered();
        const qsizetype piece =
            cuts.empty() ? room : std::max<qsizetype>(1, cuts[cut++ % cuts.size()]);
        const qsizetype take = std::min({room, piece, stream.size() - at});
        if (take <= 0)
            __builtin_trap(); // held a whole request's worth and still wants more
        reader.append(stream.mid(at, take));
        at += take;
        if (reader.buffered() > reader.wholeRequestBytes())
            __builtin_trap();
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte says how many cut lengths follow (each one byte); the rest is the stream.
    const size_t cutCount = std::min<size_t>(data[0] % 8, size - 1);
    std::vector<qsizetype> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts.push_back(qsizetype(data[1 + i]) + 1);
    const QByteArray stream(reinterpret_cast<const char*>(data + 1 + cutCount),
                            qsizetype(size - 1 - cutCount));
    const Outcome whole = readInPieces(stream, {});
    const Outcome cut = readInPieces(stream, cuts.empty() ? std::vector<qsizetype>{1} : cuts);
    if (whole.error != cut.error || whole.requests.size() != cut.requests.size())
        __builtin_trap();
    for (size_t i = 0; i < whole.requests.size(); ++i)
        if (!same(whole.requests[i], cut.requests[i]))
            __builtin_trap();
    return 0;
}
