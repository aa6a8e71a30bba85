#include "Duvidu/DuviduCompression.h"

#include <zlib.h>

#include <limits>

#include "Duvidu/DuviduError.h"

namespace duvidu {

namespace {

std::nullopt_t fail(NSError* error, const char* description)
{
    if (error) *error = errorWithCode(DuviduError::CompressionError, description);
    return std::nullopt;
}

}  // namespace

std::optional<DuviduData> duvidu_gzippedWithCompressionLevel(const DuviduData& data, int compressionLevel,
                                                             NSError* error)
{
    if (data.empty()) return DuviduData{};
    // zlib counts in 32 bits; cutting a larger input down would silently compress only a part of it.
    if (data.size() > std::numeric_limits<uInt>::max()) return fail(error, "deflate error");
    const auto length = static_cast<uInt>(data.size());

    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = length;
    if (deflateInit2_(&stream, compressionLevel, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                      static_cast<int>(sizeof(z_stream))) != Z_OK)
        return fail(error, "deflateInit2 error");

    DuviduData output(static_cast<size_t>(static_cast<double>(length) * 1.02 + 50));
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.total_out >= output.size()) break;
        stream.next_out = output.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(output.size() - stream.total_out);
        status = deflate(&stream, Z_FINISH);
    }
    const size_t written = stream.total_out;
    deflateEnd(&stream);
    // Anything short of the stream's end is a truncated body; sending it would be a corrupt request.
    if (status != Z_STREAM_END) return fail(error, "deflate error");
    output.resize(written);
    return output;
}

DuviduData duvidu_nullTerminated(const DuviduData& data)
{
    DuviduData copy;
    copy.reserve(data.size() + 1);
    copy.insert(copy.end(), data.begin(), data.end());
    copy.push_back(0);
    return copy;
}

}  // namespace duvidu
