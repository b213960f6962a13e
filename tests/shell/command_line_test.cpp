#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Hands the arguments to setCommandLine as main would receive them, program name first.
void useArguments(std::vector<std::string> arguments) {
    static std::vector<std::string> storage;
    static std::vector<char*> argv;
    storage = std::move(arguments);
    storage.insert(storage.begin(), "pixloupe2d");
    argv.clear();
    for (std::string& text : storage) argv.push_back(text.data());
    argv.push_back(nullptr);
    setCommandLine(static_cast<int>(storage.size()), argv.data());
}

// Rows run in order on one command line each: a negative index walks on from the argument
// returned last, any other index moves there (past the end the cursor stays at the end), and a
// new command line starts the walk afresh.
TEST(CommandLine, CountAndArgumentsByIndexAndWalk) {
    struct Row {
        std::vector<std::string> arguments;
        std::vector<std::pair<int, std::string>> calls;  // index asked, argument expected
    };
    const Row rows[] = {
        {{}, {{0, ""}, {-1, ""}}},
        {{"/tmp/my data/file one.bin", "", "say\"hi\""},
         {{0, "/tmp/my data/file one.bin"}, {1, ""}, {2, "say\"hi\""}, {3, ""}}},
        {{"a", "b", "c"},
         {{-1, "a"}, {-1, "b"}, {0, "a"}, {-1, "b"}, {-1, "c"}, {-1, ""}, {1, "b"}, {-5, "c"}}},
        {{"a", "b"}, {{7, ""}, {-1, ""}, {1, "b"}, {-1, ""}}},
        {{"x", "y"}, {{-1, "x"}}},
    };
    for (const Row& row : rows) {
        useArguments(row.arguments);
        EXPECT_EQ(argumentCount(), static_cast<int>(row.arguments.size()));
        for (const auto& [index, expected] : row.calls)
            EXPECT_EQ(argument(index), expected) << row.arguments.size() << " arguments, index " << index;
    }
}

}  // namespace
