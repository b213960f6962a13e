#include "shell/command_line.h"

#include <vector>

namespace {

struct CommandLine {
    std::vector<std::string> arguments;
    int cursor = 0;  // index that the next argument(-1) returns
};

CommandLine commandLine;

}  // namespace

void setCommandLine(int argc, char** argv) {
    commandLine.arguments.clear();
    commandLine.cursor = 0;
    if (argv == nullptr) return;
    for (int i = 1; i < argc; ++i) commandLine.arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

int argumentCount() {
    return static_cast<int>(commandLine.arguments.size());
}

std::string argument(int index) {
    if (index >= 0) commandLine.cursor = index;
    if (commandLine.cursor >= argumentCount()) return "";
    return commandLine.arguments[commandLine.cursor++];
}
