// The stock collision shape check: one RIPEMD-160 digest over the seven
// files in order, compared with the accepted digests (the last row is the
// digest of the shapes our data generator writes).
#include "app/stock_shapes.h"

#include <cstdio>
#include <cstring>

#include "app/default_data.h"
#include "core/digest.h"
#include "core/file.h"

const char *const STOCK_SHAPE_FILES[STOCK_SHAPE_FILE_COUNT] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp", "@generic_rider.shp",
};

static const char *const STOCK_DIGESTS[STOCK_DIGEST_ROWS] = {
    "ee2bd2db0c54d7bd8fc462236101c0e504397245",
    "b415fe951efef9ad61196884906535c832dbc6f4",
    "c3a9426047a7a18c235dae0208b6f22a206890a3",
    GENERATED_STOCK_SHAPE_DIGEST,
};

int stock_models_ok;

void digest_stock_shapes(char text[STOCK_DIGEST_TEXT])
{
    Ripemd160Context context;
    ripemd160_init(&context);
    for (const char *path : STOCK_SHAPE_FILES) {
        GameFile *file = file_open(path, "rb");
        if (!file)
            continue;
        unsigned char block[1024];
        int n;
        while ((n = file_read(file, block, sizeof block)) > 0)
            ripemd160_update(&context, block, n);
        file_close(file);
    }
    ripemd160_final(&context);
    for (int i = 0; i < RIPEMD160_DIGEST_SIZE; i++)
        snprintf(text + 2 * i, 3, "%02x", context.digest[i]);
}

int is_stock_digest(const char *text)
{
    for (const char *digest : STOCK_DIGESTS)
        if (!strcmp(text, digest))
            return 1;
    return 0;
}

void check_stock_models(void)
{
    char text[STOCK_DIGEST_TEXT];
    digest_stock_shapes(text);
    stock_models_ok = is_stock_digest(text);
}
