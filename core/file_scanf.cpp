// The game's own scanf over a GameFile: one byte of lookahead, its own number
// parsing (32-bit wrapping integers, extended-precision decimals) and bounded
// strings. Every text format of the game is read with it.
#include "core/file.h"

#include "core/game_file.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>

enum {
    DEFAULT_WIDTH = 1000000,     // field width when the format gives none
    WIDTH_MAX = 1000000000,
    EXPONENT_MAX = 100000,       // beyond this every result is 0 or infinite
};

struct ScanInput {
    GameFile *file;
    int consumed;   // bytes taken since the call began (for %n)
};

static int take_byte(ScanInput *in)
{
    int c = file_getc(in->file);
    if (c >= 0)
        in->consumed++;
    return c;
}

// Puts the last byte taken back as the lookahead.
static void put_back(ScanInput *in, int c)
{
    if (c < 0)
        return;
    in->file->pushed_back = c;
    in->consumed--;
}

static int is_space(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

static void skip_space(ScanInput *in)
{
    int c;
    do
        c = take_byte(in);
    while (is_space(c));
    put_back(in, c);
}

static int digit_value(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

enum ScanResult { SCAN_OK, SCAN_MATCH_FAILURE, SCAN_INPUT_FAILURE };

// Takes an optional sign (one unit of the width) in front of a number;
// 1 for '-'. c is the current byte and becomes the one after the sign.
static int take_sign(ScanInput *in, int *c, int *width)
{
    if (*c != '+' && *c != '-')
        return 0;
    int negative = *c == '-';
    (*width)--;
    *c = *width > 0 ? take_byte(in) : -1;
    return negative;
}

// d, i, o, x: the value wraps in 32 bits, negated after a '-'.
static ScanResult scan_integer(ScanInput *in, int conversion, int width, uint32_t *value)
{
    int c = take_byte(in);
    if (c < 0)
        return SCAN_INPUT_FAILURE;
    int negative = take_sign(in, &c, &width);
    int base = conversion == 'o' ? 8 : conversion == 'x' || conversion == 'X' ? 16 : 10;
    int digits = 0;
    uint32_t result = 0;
    if (conversion == 'i' && width > 0 && c == '0') {
        width--;
        c = width > 0 ? take_byte(in) : -1;
        if (c == 'x' || c == 'X') {
            base = 16;
            width--;
            c = width > 0 ? take_byte(in) : -1;
        } else {
            base = 8;
            digits = 1;
        }
    }
    while (width > 0 && c >= 0 && digit_value(c) < base) {
        result = result * (uint32_t)base + (uint32_t)digit_value(c);
        digits++;
        width--;
        c = width > 0 ? take_byte(in) : -1;
    }
    if (width > 0)
        put_back(in, c);
    if (!digits)
        return SCAN_MATCH_FAILURE;
    *value = negative ? 0u - result : result;
    return SCAN_OK;
}

// 10^|exponent| by squaring powers of ten in extended precision.
static long double power_of_ten(int exponent)
{
    static const long double powers[] = {1e1L, 1e2L, 1e4L, 1e8L, 1e16L, 1e32L, 1e64L,
                                         1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L};
    long double power = 1.0L;
    for (; exponent >= 4096; exponent -= 4096)
        power *= 1e4096L;
    for (int bit = 11; bit >= 0; bit--)
        if (exponent & (1 << bit))
            power *= powers[bit];
    return power;
}

static ScanResult scan_float(ScanInput *in, int width, long double *value)
{
    int c = take_byte(in);
    if (c < 0)
        return SCAN_INPUT_FAILURE;
    int negative = take_sign(in, &c, &width);
    long double mantissa = 0.0L;
    int seen = 0, point = 0;
    long exponent = 0;
    while (width > 0 && c >= 0) {
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10.0L + (c - '0');
            if (point && exponent > -EXPONENT_MAX)
                exponent--;
        } else if (c == '.' && !point) {
            point = 1;
        } else {
            break;
        }
        seen = 1;
        width--;
        c = width > 0 ? take_byte(in) : -1;
    }
    if (width > 0 && (c == 'e' || c == 'E')) {
        width--;
        c = width > 0 ? take_byte(in) : -1;
        int exponent_negative = 0;
        if (width > 0 && (c == '+' || c == '-')) {
            exponent_negative = c == '-';
            width--;
            c = width > 0 ? take_byte(in) : -1;
        }
        long written = 0;
        while (width > 0 && c >= '0' && c <= '9') {
            if (written < EXPONENT_MAX)
                written = written * 10 + (c - '0');
            width--;
            c = width > 0 ? take_byte(in) : -1;
        }
        exponent += exponent_negative ? -written : written;
    }
    if (width > 0)
        put_back(in, c);
    if (!seen)
        return SCAN_MATCH_FAILURE;
    long magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude > EXPONENT_MAX)
        magnitude = EXPONENT_MAX;
    long double power = power_of_ten((int)magnitude);
    long double result = exponent < 0 ? mantissa * (1.0L / power) : mantissa * power;
    // 0 times an overflowed power (or an overflowed mantissa times 0) is 0,
    // never a NaN.
    if (std::isnan(result))
        result = 0.0L;
    *value = negative ? -result : result;
    return SCAN_OK;
}

// The set of a %[ conversion; returns the format after the closing ']', or
// null when the format ends inside the set.
static const char *parse_scan_set(const char *format, unsigned char member[256])
{
    int invert = 0;
    if (*format == '^') {
        invert = 1;
        format++;
    }
    unsigned char in_set[256] = {0};
    const unsigned char *f = (const unsigned char *)format;
    if (!*f)
        return nullptr;
    in_set[*f++] = 1;   // the first character is a member, even ']'
    for (;;) {
        if (!*f)
            return nullptr;
        if (*f == ']')
            break;
        if (*f == '-' && f[1] && f[1] != ']') {
            int low = f[-1], high = f[1];
            if (low <= high)
                for (int c = low; c <= high; c++)
                    in_set[c] = 1;
            else
                in_set['-'] = in_set[high] = 1;
            f += 2;
            continue;
        }
        in_set[*f++] = 1;
    }
    for (int c = 0; c < 256; c++)
        member[c] = in_set[c] != invert;
    return (const char *)f + 1;
}

int file_scanf(GameFile *file, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    ScanInput input = {file, 0};
    ScanInput *in = &input;
    int count = 0;
    const char *f = format;

#define INPUT_FAILURE() do { va_end(args); return count ? count : -1; } while (0)
#define STOP() do { va_end(args); return count; } while (0)

    for (;;) {
        int fc = (unsigned char)*f++;
        if (!fc)
            STOP();
        if (is_space(fc)) {
            skip_space(in);
            continue;
        }
        if (fc != '%') {
            int c = take_byte(in);
            if (c != fc) {
                put_back(in, c);
                va_end(args);
                return -1;
            }
            continue;
        }

        int width = 0, suppress = 0, half = 0, longs = 0, long_double = 0;
        for (;; f++) {
            if (*f >= '0' && *f <= '9') {
                width = width * 10 + (*f - '0');
                if (width > WIDTH_MAX)
                    width = WIDTH_MAX;
            } else if (*f == '*') {
                suppress = 1;
            } else if (*f == 'h') {
                half = 1;
            } else if (*f == 'l') {
                longs++;
            } else if (*f == 'L' || *f == 'q') {
                long_double = 1;
            } else {
                break;
            }
        }
        int conversion = (unsigned char)*f++;
        int given_width = width;
        if (!width)
            width = conversion == 'c' ? 1 : DEFAULT_WIDTH;

        switch (conversion) {
        case '%': {
            int c = take_byte(in);
            if (c != '%') {
                put_back(in, c);
                va_end(args);
                return -1;
            }
            break;
        }
        case 'd': case 'i': case 'o': case 'x': case 'X': {
            skip_space(in);
            uint32_t value;
            ScanResult result = scan_integer(in, conversion, width, &value);
            if (result == SCAN_INPUT_FAILURE)
                INPUT_FAILURE();
            if (result == SCAN_MATCH_FAILURE)
                STOP();
            if (!suppress) {
                if (half)
                    *va_arg(args, short *) = (short)value;
                else
                    *va_arg(args, int *) = (int)value;
                count++;
            }
            break;
        }
        case 'f': {
            skip_space(in);
            long double value;
            ScanResult result = scan_float(in, width, &value);
            if (result == SCAN_INPUT_FAILURE)
                INPUT_FAILURE();
            if (result == SCAN_MATCH_FAILURE)
                STOP();
            if (!suppress) {
                if (long_double || longs >= 2)
                    *va_arg(args, long double *) = value;
                else if (longs == 1)
                    *va_arg(args, double *) = (double)value;
                else
                    *va_arg(args, float *) = (float)value;
                count++;
            }
            break;
        }
        case 's': case '[': {
            unsigned char member[256];
            if (conversion == '[') {
                f = parse_scan_set(f, member);
                if (!f)
                    STOP();
            } else {
                for (int c = 0; c < 256; c++)
                    member[c] = !is_space(c);
            }
            // A stored string needs a width: without one the call ends here,
            // reading nothing, rather than write past its destination.
            if (!suppress && !given_width)
                STOP();
            if (conversion == 's')
                skip_space(in);
            char *out = suppress ? nullptr : va_arg(args, char *);
            int c = take_byte(in);
            if (c < 0)
                INPUT_FAILURE();
            int stored = 0;
            while (c >= 0 && member[c]) {
                if (out)
                    out[stored] = (char)c;
                stored++;
                if (stored == width)
                    break;
                c = take_byte(in);
            }
            if (stored < width)
                put_back(in, c);
            if (!stored)
                STOP();
            if (out) {
                out[stored] = '\0';
                count++;
            }
            break;
        }
        case 'c': {
            char *out = suppress ? nullptr : va_arg(args, char *);
            for (int i = 0; i < width; i++) {
                int c = take_byte(in);
                if (c < 0)
                    INPUT_FAILURE();
                if (out)
                    out[i] = (char)c;
            }
            if (out)
                count++;
            break;
        }
        case 'n':
            if (!suppress) {
                if (half)
                    *va_arg(args, short *) = (short)in->consumed;
                else
                    *va_arg(args, int *) = in->consumed;
            }
            break;
        default:   // u, e, g, p ..., or the end of the format
            STOP();
        }
    }
#undef INPUT_FAILURE
#undef STOP
}

int file_read_int(GameFile *file)
{
    int value;
    return file_scanf(file, "%d", &value) == 1 ? value : INT32_MIN;
}

// The count is taken right after the '#', so a bare "#" line (nothing for the
// set to match) is passed over like any other comment line.
void skip_comment_lines(GameFile *file)
{
    int consumed;
    do
        consumed = 0;
    while (file_scanf(file, " #%n%*[^\n]", &consumed) >= 0 && consumed > 0);
}
