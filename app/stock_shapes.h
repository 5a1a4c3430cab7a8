// The check of the stock collision shapes every rider uses: their files
// are digested in a fixed order and compared with the accepted digests;
// online play needs the stock files.
#pragma once

enum {
    STOCK_SHAPE_FILE_COUNT = 7,
    STOCK_DIGEST_ROWS = 4,
    STOCK_DIGEST_TEXT = 41,   // 40 lower-case hexadecimal digits and the end
};

extern const char *const STOCK_SHAPE_FILES[STOCK_SHAPE_FILE_COUNT];
extern int stock_models_ok;

// The digest of the stock shape files as text; a file that does not open
// is skipped.
void digest_stock_shapes(char text[STOCK_DIGEST_TEXT]);
// 1 when the text is one of the accepted digests.
int is_stock_digest(const char *text);
// Sets stock_models_ok.
void check_stock_models(void);
