// RIPEMD-160 against the published test vectors, fed whole and in pieces.
#include "core/digest.h"

#include <gtest/gtest.h>

#include <string>

static std::string hex_digest(const Ripemd160Context &context)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : context.digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

static std::string digest_in_pieces(const std::string &message, int piece)
{
    Ripemd160Context context;
    ripemd160_init(&context);
    for (size_t at = 0; at < message.size(); at += piece)
        ripemd160_update(&context, message.data() + at,
                         (int)std::min<size_t>(piece, message.size() - at));
    ripemd160_final(&context);
    return hex_digest(context);
}

struct Vector {
    std::string message;
    const char *digest;
};

static const Vector vectors[] = {
    {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
    {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
    {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
    {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
    {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "b0e20b6e3116640286ed3a87a5713079b21f5189"},
    {std::string(80, ' '), nullptr},   // replaced below by 8 x "1234567890"
    {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
};

static Vector vector_at(size_t i)
{
    if (i == 7) {
        std::string message;
        for (int k = 0; k < 8; k++)
            message += "1234567890";
        return {message, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"};
    }
    return vectors[i];
}

TEST(Ripemd160, PublishedVectors)
{
    for (size_t i = 0; i < sizeof vectors / sizeof vectors[0]; i++) {
        Vector v = vector_at(i);
        SCOPED_TRACE(v.message.substr(0, 70));
        EXPECT_EQ(digest_in_pieces(v.message, v.message.empty() ? 1 : (int)v.message.size()),
                  v.digest);
    }
}

TEST(Ripemd160, PiecesGiveTheSameDigestAsTheWhole)
{
    // Lengths around the 55/56-byte padding edge and the 64-byte block.
    std::string text;
    for (int i = 0; i < 300; i++)
        text += (char)(i * 37 + 11);
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
        std::string message = text.substr(0, length);
        std::string whole = digest_in_pieces(message, (int)length);
        for (int piece : {1, 63, 64, 65}) {
            SCOPED_TRACE(testing::Message() << length << " bytes in pieces of " << piece);
            EXPECT_EQ(digest_in_pieces(message, piece), whole);
        }
    }
    // And a published vector fed in pieces.
    std::string million(1000000, 'a');
    for (int piece : {1, 63, 64, 65})
        EXPECT_EQ(digest_in_pieces(million, piece), "52783243c1697bdbe16d37f97f68f08325dc1528");
}

TEST(Ripemd160, LengthCarriesIntoTheHighWord)
{
    Ripemd160Context context;
    ripemd160_init(&context);
    context.length_low = 0xffffffc0u;
    static const uint8_t block[128] = {};
    ripemd160_update(&context, block, 128);
    EXPECT_EQ(context.length_low, 0x40u);
    EXPECT_EQ(context.length_high, 1u);
    ripemd160_update(&context, block, 0);   // nothing
    ripemd160_update(&context, block, -5);
    EXPECT_EQ(context.length_low, 0x40u);
}
