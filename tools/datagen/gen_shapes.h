// The collision shapes of the data set: the seven stock shapes every bike
// and rider use and the start gate's shape, as ".shp" sphere lists in each
// body's own frame.
#pragma once

#include "tools/datagen/gen_output.h"

enum { STOCK_SHAPE_COUNT = 7 };

// The stock shape files in the order their digest is taken.
extern const char *const STOCK_SHAPE_NAMES[STOCK_SHAPE_COUNT];

// Writes the stock shapes and "startgate.shp"; the RIPEMD-160 of the stock
// files, in order, as 40 lower-case hexadecimal digits, goes to digest_hex.
int generate_shapes(DataSet *set, char *digest_hex);
// The start gate piece's shape in the gate's own (fallen) frame.
int encode_start_gate_shape(ByteBuffer *out);
