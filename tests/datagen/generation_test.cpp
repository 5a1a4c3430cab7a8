// The generator is deterministic: a second run here (riding only the
// fixture track's lines, into an output folder given by a relative path)
// writes every file byte for byte as the build's run did, with the same
// versions, stock-shape digest and track digests.
#include "gamedata_fixture.h"

#include "tools/datagen/datagen.h"

#include <map>
#include <sstream>

#include <unistd.h>

namespace {

struct Manifest {
    std::vector<std::string> header;                 // the lines before the file lists
    std::map<std::string, std::string> files;        // "[section] name" -> "size digest"
};

bool read_manifest(const std::string &path, Manifest *out)
{
    std::string text;
    if (!read_file(path, &text))
        return false;
    std::istringstream lines(text);
    std::string line, section;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        if (line[0] == '[') {
            section = line.substr(0, line.find(']') + 1);
            continue;
        }
        if (section.empty()) {
            out->header.push_back(line);
            continue;
        }
        std::istringstream words(line);
        std::string size, digest, name;
        words >> size >> digest;
        std::getline(words, name);
        out->files[section + name] = size + " " + digest;
    }
    return true;
}

}  // namespace

TEST(Generation, ASecondRunWritesTheSameBytes)
{
    ASSERT_FALSE(gamedata_dir().empty());
    Manifest built;
    ASSERT_TRUE(read_manifest(gamedata_dir() + "/manifest.txt", &built));
    ASSERT_GT(built.files.size(), 1000u);

    std::string output = test_dir() + "/again";
    ASSERT_EQ(chdir(test_dir().c_str()), 0);
    DatagenOptions options;
    default_datagen_options(&options);
    options.output = "again";
    options.lines = LINES_FIXTURE;
    options.jobs = 3;
    ASSERT_TRUE(run_datagen(&options));
    Manifest again;
    ASSERT_TRUE(read_manifest(output + "/" + DATAGEN_MANIFEST, &again));

    EXPECT_EQ(again.header, built.header);
    int compared = 0, missing = 0;
    for (const auto &[name, entry] : built.files) {
        auto it = again.files.find(name);
        if (it == again.files.end()) {
            // Only the default track's lines are left out of this run.
            bool default_lines = name.find("[data] tracks/") == 0 && name.find("/lines_") != std::string::npos;
            EXPECT_TRUE(default_lines) << name << " not written again";
            missing += default_lines;
            continue;
        }
        EXPECT_EQ(it->second, entry) << name;
        compared++;
    }
    EXPECT_EQ(missing, 3);
    EXPECT_EQ(compared + missing, (int)built.files.size());
    EXPECT_EQ((size_t)compared, again.files.size()) << "no file the build did not write";
}
