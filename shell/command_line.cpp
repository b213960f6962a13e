#include "shell/command_line.h"

#include <vector>

namespace {

std::vector<std::string> arguments;

}  // namespace

void setCommandLine(int argc, char** argv) {
    arguments.clear();
    if (argv == nullptr) return;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

int argumentCount() {
    return static_cast<int>(arguments.size());
}

std::string argument(int index) {
    return index >= 0 && index < argumentCount() ? arguments[static_cast<size_t>(index)] : "";
}
