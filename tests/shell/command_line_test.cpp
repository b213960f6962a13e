#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <string>
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

struct ArgumentCase {
    const char* name;
    std::vector<std::string> arguments;
    int expectedCount;
    int index;
    std::string expectedArgument;
};

class ArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentTest, CountAndIndexedArgument) {
    const ArgumentCase& c = GetParam();
    useArguments(c.arguments);
    EXPECT_EQ(argumentCount(), c.expectedCount);
    EXPECT_EQ(argument(c.index), c.expectedArgument);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ArgumentTest,
    testing::Values(ArgumentCase{"NoArgument", {}, 0, 0, ""},
                    ArgumentCase{
                        "NameWithSpaces", {"/tmp/my data/file one.bin"}, 1, 0, "/tmp/my data/file one.bin"},
                    ArgumentCase{"FirstOfTwo", {"a.bin", "b.bin"}, 2, 0, "a.bin"},
                    ArgumentCase{"SecondOfTwo", {"a.bin", "b.bin"}, 2, 1, "b.bin"},
                    ArgumentCase{"IndexPastTheEnd", {"a.bin", "b.bin"}, 2, 5, ""},
                    ArgumentCase{"EmptyArgumentCounts", {""}, 1, 0, ""},
                    ArgumentCase{"QuotesAreOrdinaryBytes", {"say\"hi\""}, 1, 0, "say\"hi\""}),
    [](const testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.name); });

TEST(CommandLine, NegativeIndexWalksFromTheLastReturnedArgument) {
    useArguments({"a", "b", "c"});
    EXPECT_EQ(argument(-1), "a");
    EXPECT_EQ(argument(-1), "b");
    EXPECT_EQ(argument(0), "a");  // an explicit index moves the cursor
    EXPECT_EQ(argument(-1), "b");
    EXPECT_EQ(argument(-1), "c");
    EXPECT_EQ(argument(-1), "");  // past the end: the cursor stays
    EXPECT_EQ(argument(1), "b");
    EXPECT_EQ(argument(-5), "c");
}

TEST(CommandLine, IndexPastTheEndLeavesTheCursorThere) {
    useArguments({"a", "b"});
    EXPECT_EQ(argument(7), "");
    EXPECT_EQ(argument(-1), "");
    EXPECT_EQ(argument(1), "b");
    EXPECT_EQ(argument(-1), "");
}

TEST(CommandLine, NewCommandLineResetsTheCursor) {
    useArguments({"a", "b"});
    EXPECT_EQ(argument(1), "b");
    useArguments({"x", "y"});
    EXPECT_EQ(argument(-1), "x");
}

}  // namespace
