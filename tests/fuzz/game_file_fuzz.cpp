// Fuzz target "game_file": the game-file stream (plain and gzip, streamed
// or inflated whole, with its lookahead, line reads, block reads and seeks)
// and the scanf-like reader.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "core/game_file.h"
#include "core/alloc.h"

#include <cstring>

// The formats the game's readers pass to file_scanf.
static const char *const scan_formats[] = {
    "%d %f %f %f ", "[ %f %f %f ] %f %1023s %1023s %1023s ", " %80s ", "%15s", " %1[#]%*[^\n]",
    "%x", "%u %lf %Lf %hd %c", "%3[a-z]%*d%n", "%i %o %e %g", "%[^\n]", " %%%d", "%s %*s %%",
};
enum { SCAN_FORMATS = sizeof scan_formats / sizeof scan_formats[0] };

static void read_with_scanf(GameFile *file, int selector)
{
    for (int round = 0; round < 64; round++) {
        const char *format = scan_formats[(selector + round) % SCAN_FORMATS];
        int i[4] = {};
        float f[4] = {};
        double d = 0;
        long double ld = 0;
        short h = 0;
        unsigned u = 0;
        char c = 0, words[3][1024];
        int n = 0, got;
        if (!strcmp(format, "%u %lf %Lf %hd %c"))
            got = file_scanf(file, format, &u, &d, &ld, &h, &c);
        else if (!strcmp(format, "%i %o %e %g"))
            got = file_scanf(file, format, &i[0], &u, &f[0], &f[1]);
        else if (!strcmp(format, "%3[a-z]%*d%n"))
            got = file_scanf(file, format, words[0], &n);
        else if (format[0] == '[')
            got = file_scanf(file, format, &f[0], &f[1], &f[2], &f[3], words[0], words[1], words[2]);
        else if (!strcmp(format, "%d %f %f %f "))
            got = file_scanf(file, format, &i[0], &f[0], &f[1], &f[2]);
        else if (!strcmp(format, "%x") || !strcmp(format, " %%%d"))
            got = file_scanf(file, format, &u);
        else
            got = file_scanf(file, format, words[0], words[1]);
        if (got < 0 && file_peekc(file) < 0)
            break;
        if (got <= 0 && file_getc(file) < 0)
            break;
    }
}

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int form = input.selector % INPUT_FORMS, program = input.selector / INPUT_FORMS % 4;
    place_input("fuzz/input", input.data, input.size, form);
    GameFile *file = file_open("@fuzz/input", "rb");
    if (file) {
        // Some inputs are inflated whole first (a gzip handle not read yet).
        if (input.selector / (INPUT_FORMS * 4) % 2)
            file_inflate_whole(file);
        char line[64];
        unsigned char block[700];
        switch (program) {
        case 0:
            while (file_getc(file) >= 0)
                file_peekc(file);
            break;
        case 1:
            // Room for one byte at least: with room for the terminator only,
            // file_gets succeeds without reading (as fgets does).
            while (file_gets(file, line, 2 + input.selector % ((int)sizeof line - 1)))
                skip_comment_lines(file);
            break;
        case 2:
            for (int seeks = 0; file_read(file, block, 1 + input.selector * 7 % (int)sizeof block) > 0;)
                if (seeks++ < 2)
                    file_seek(file, input.selector * (seeks + 1));
            break;
        default:
            read_with_scanf(file, input.selector);
            file_read_int(file);
            break;
        }
        file_close(file);
    }
    if (form == INPUT_PLAIN && (input.selector & 0x80)) {
        char *text = file_to_string("@fuzz/input");
        checked_free(text);
    }
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    const std::string texts[] = {
        "7 2.000000 0.000000 10.000000\n:",
        "# comment\n  # more\n[ 1 2 3 ] 0.5 @a.png null @b.shp\nname dirt\naddtile\n",
        "P3 2 1 255 7 8 9 1 2 3\n",
        "12 [ 4 5 6 ] [ 1 0 0 ]\nfirstlap: 0 1 2 normallap: 0 1 2\n",
        "0x1f 017 -3e-2 1.5e999 nan inf\n",
    };
    int n = 0;
    for (const std::string &text : texts)
        for (int program = 0; program < 4; program++)
            for (int form = 0; form < INPUT_FORMS; form++) {
                if (form == INPUT_RAW_GZIP)
                    continue;
                std::string bytes(1, (char)(form + INPUT_FORMS * program));
                seeds->push_back({"text-" + std::to_string(n++), bytes + text});
            }
    // A real gzip member given as raw ".gz" bytes.
    seeds->push_back({"gzip-raw", std::string(1, (char)INPUT_RAW_GZIP) + fuzz_gzip(texts[1])});
    seeds->push_back({"gzip-raw-scanf", std::string(1, (char)(INPUT_RAW_GZIP + 3 * INPUT_FORMS)) + fuzz_gzip(texts[3])});
    // Inflated whole, then read in blocks and by scanf.
    seeds->push_back({"gzip-whole", std::string(1, (char)(INPUT_RAW_GZIP + 6 * INPUT_FORMS)) + fuzz_gzip(texts[1])});
    seeds->push_back({"gzip-whole-scanf", std::string(1, (char)(INPUT_GZIPPED + 7 * INPUT_FORMS)) + texts[3]});
}

RUT_FUZZ_TARGET(game_file, run, make_seeds);
