#include <cstdio>
#include <cstring>

#include "program_version.h"
#include "support/file_services.h"
#include "viewer/window/main_window.h"

namespace {

constexpr const char* kUsage =
    "Usage: pixloupe2d [FILE]\n"
    "       pixloupe2d --help | --version\n"
    "\n"
    "Shows the bytes of FILE (any file) as pixels, to find and cut out the graphics hidden in it.\n"
    "The first argument always names the data file; further arguments are ignored. --help and\n"
    "--version are read as options only when no file of that name is in the current directory.\n"
    "\n"
    "Qt reads no options from the command line; set them through its environment variables,\n"
    "for example QT_QPA_PLATFORM=xcb or QT_SCALE_FACTOR=2.\n"
    "\n"
    "Settings: pl2.ini in the current directory. Keys and menus: man pixloupe2d.\n";

// The first argument names the data file, so a name that exists is never an option.
bool firstArgumentIsOption(int argc, char** argv, const char* option) {
    return argc > 1 && std::strcmp(argv[1], option) == 0 && fileSize(argv[1]) == -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (firstArgumentIsOption(argc, argv, "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (firstArgumentIsOption(argc, argv, "--version")) {
        std::printf("pixloupe2d %s\n", kProgramVersion);
        return 0;
    }
    return runViewer(argc, argv);
}
