// The stock collision shape check over generated and written shape files.
#include "app/stock_shapes.h"

#include "app/default_data.h"
#include "core/digest.h"
#include "datagen/gamedata_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string digest_text(const std::string &bytes)
{
    Ripemd160Context context;
    ripemd160_init(&context);
    ripemd160_update(&context, bytes.data(), (int)bytes.size());
    ripemd160_final(&context);
    std::string text;
    for (unsigned char byte : context.digest) {
        char hex[3];
        snprintf(hex, sizeof hex, "%02x", byte);
        text += hex;
    }
    return text;
}

// The folder holds the stock files named (without '@'), with the bytes given.
void use_shape_folder(const std::string &folder, const std::vector<std::string> &contents, int missing)
{
    for (int i = 0; i < STOCK_SHAPE_FILE_COUNT; i++) {
        if (i != missing) {
            ASSERT_TRUE(write_file(folder + "/" + (STOCK_SHAPE_FILES[i] + 1), contents[i]));
        }
    }
    use_game_data(folder);
}

}  // namespace

TEST(StockShapes, AcceptedDigests)
{
    struct Case {
        std::string text;
        int accepted;
    } cases[] = {
        {"ee2bd2db0c54d7bd8fc462236101c0e504397245", 1},
        {"b415fe951efef9ad61196884906535c832dbc6f4", 1},
        {"c3a9426047a7a18c235dae0208b6f22a206890a3", 1},
        {GENERATED_STOCK_SHAPE_DIGEST, 1},
        {"EE2BD2DB0C54D7BD8FC462236101C0E504397245", 0},
        {"ee2bd2db0c54d7bd8fc462236101c0e50439724", 0},
        {"ee2bd2db0c54d7bd8fc462236101c0e5043972450", 0},
        {"", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(is_stock_digest(c.text.c_str()), c.accepted);
    }
}

// Files digest as one stream in the fixed order; a missing file is left
// out and the others still count.
TEST(StockShapes, WrittenShapesDigestInOrder)
{
    std::vector<std::string> contents;
    for (int i = 0; i < STOCK_SHAPE_FILE_COUNT; i++)
        contents.push_back("1\n0 0 " + std::to_string(i) + " 0.5 1 25000 2500\n");
    contents[2] = std::string(3000, 'x');   // longer than one read block
    struct Case {
        int missing;   // -1: none
    } cases[] = {{-1}, {0}, {2}, {6}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.missing);
        std::string folder = test_dir() + "/shapes" + std::to_string(c.missing);
        use_shape_folder(folder, contents, c.missing);
        std::string stream;
        for (int i = 0; i < STOCK_SHAPE_FILE_COUNT; i++)
            if (i != c.missing)
                stream += contents[i];
        char text[STOCK_DIGEST_TEXT];
        digest_stock_shapes(text);
        EXPECT_EQ(std::string(text), digest_text(stream));
        check_stock_models();
        EXPECT_EQ(stock_models_ok, 0);
    }
}

TEST(StockShapes, GeneratedShapesPassAndOneMissingFails)
{
    if (gamedata_dir().empty())
        GTEST_SKIP() << "RUTLINE_GAMEDATA is not set";
    std::string data = gamedata_dir() + "/data";
    use_game_data(data);
    check_stock_models();
    EXPECT_EQ(stock_models_ok, 1);

    std::vector<std::string> contents(STOCK_SHAPE_FILE_COUNT);
    for (int i = 0; i < STOCK_SHAPE_FILE_COUNT; i++)
        ASSERT_TRUE(read_file(data + "/" + (STOCK_SHAPE_FILES[i] + 1), &contents[i]));
    for (int missing = -1; missing < STOCK_SHAPE_FILE_COUNT; missing++) {
        SCOPED_TRACE(missing);
        use_shape_folder(test_dir() + "/copy" + std::to_string(missing), contents, missing);
        check_stock_models();
        EXPECT_EQ(stock_models_ok, missing < 0 ? 1 : 0);
    }
}
