// Fuzz target "pov_export": object names as the scene export writes them
// (the identifier of a model or billboard texture, a statue's texture
// string). An identifier holds only letters, digits and '_'; a texture line
// is written whole with both quotes or not at all, and no name opens a
// string or a line of its own. Input: names separated by NUL bytes.
#include "fuzz/fuzz_target.h"

#include "core/file.h"
#include "editor/editor.h"

#include <cstdlib>
#include <cstring>

static std::string write_name(const char *name, int texture, int *written)
{
    GameFile *file = file_open((fuzz_data_folder() + "fuzz/scene.pov").c_str(), "wb");
    if (!file)
        abort();
    if (texture)
        *written = write_pov_texture(file, name);
    else
        pov_identifier(file, name);
    file_close(file);
    return read_data_file("fuzz/scene.pov");
}

static int run(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    size_t start = 0;
    for (int names = 0; start <= text.size() && names < 64; names++) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos)
            end = text.size();
        std::string name = text.substr(start, end - start);
        int written = 0;
        std::string identifier = write_name(name.c_str(), 0, &written);
        for (char c : identifier)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
                abort();
        std::string line = write_name(name.c_str(), 1, &written);
        if (written) {
            size_t quotes = 0, newlines = 0;
            for (char c : line) {
                quotes += c == '"';
                newlines += c == '\n';
                if ((unsigned char)c < 32 && c != '\t' && c != '\n')
                    abort();
            }
            if (quotes != 2 || newlines != 1 || line.back() != '\n' || line.find('#') != std::string::npos ||
                line.find('\\') != std::string::npos)
                abort();
        } else if (!line.empty()) {
            abort();
        }
        start = end + 1;
    }
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    const std::string nul(1, '\0');
    seeds->push_back({"plain", "@models/big-rock.jm" + nul + "tex/rock.png" + nul + "9x.ppm"});
    seeds->push_back({"hostile", "a\"b.png" + nul + "a#b" + nul + "c\\d.png" + nul + "e\x01" "f" + nul + "@@g"});
}

RUT_FUZZ_TARGET(pov_export, run, make_seeds);
