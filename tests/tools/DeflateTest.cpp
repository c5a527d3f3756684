// ynbpack's deflate encoder against zlib's inflate: every stream decodes to
// its input, ends where it says, and compresses about as well as zlib's own.
#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>

#include "Deflate.h"

namespace {

using Bytes = std::vector<unsigned char>;
using ynbpack::Deflate;

// The input back from a raw stream, or an empty vector with a failure.
Bytes Inflate(const Bytes& stream, std::size_t expected)
{
    z_stream z = {};
    EXPECT_EQ(Z_OK, inflateInit2(&z, -15));
    Bytes out(expected + 16);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    EXPECT_EQ(Z_STREAM_END, status) << "the stream ends with its final block";
    EXPECT_EQ(0u, z.avail_in) << "nothing after the stream's end";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

std::size_t ZlibSize(const Bytes& data)
{
    z_stream z = {};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    const std::size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

Bytes Text(std::size_t size, unsigned seed)
{
    static const char* const words[] = { "家計簿", "の", "収支", "を", "記録", "します", "。\r\n", "total", "=", "1234",
        "date", ",", "2026-12-11", " ", "食費", "交通費" };
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += words[random() % (sizeof words / sizeof *words)];
    return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(Deflate, EveryStreamDecodesToItsInput)
{
    std::mt19937 random(7);
    std::vector<Bytes> inputs = { {}, { 'a' }, Bytes(32768, 0), Bytes(300, 'x'), Text(32768, 1), Text(1000, 2) };
    Bytes noise(32768);
    for (unsigned char& b : noise)
        b = static_cast<unsigned char>(random());
    inputs.push_back(noise);
    Bytes period(32768);
    for (std::size_t i = 0; i < period.size(); ++i)
        period[i] = static_cast<unsigned char>(i % 259); // matches just past the longest
    inputs.push_back(period);
    for (const Bytes& input : inputs) {
        Bytes stream;
        Deflate(input.data(), input.size(), stream);
        EXPECT_EQ(input, Inflate(stream, input.size())) << input.size() << " bytes";
        EXPECT_LE(stream.size(), input.size() + 5) << "never more than the bytes stored";
    }
}

TEST(Deflate, CompressesTextAsWellAsZlibWithinAFewPercent)
{
    const Bytes text = Text(32768, 3);
    Bytes stream;
    Deflate(text.data(), text.size(), stream);
    EXPECT_LT(stream.size(), ZlibSize(text) * 105 / 100) << "zlib: " << ZlibSize(text);
    Bytes again;
    Deflate(text.data(), text.size(), again);
    EXPECT_EQ(stream, again) << "the same input, the same bytes";
}

} // namespace
