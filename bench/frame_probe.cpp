// pl_frame_probe: starts a program and watches the X display from outside until the
// program's first rendered frame of the view is on screen: a window of the given title
// whose pixels hold the one-pixel black and cyan checkerboard of the view.
//
//   pl_frame_probe [--title TEXT] [--timeout MS] -- PROGRAM [ARGUMENTS...]
//
// Prints one line: milliseconds from the start until the title was seen, until the frame
// was seen, and the program's resident memory (VmRSS, KiB) at that moment. The program is
// then stopped. Exit code 0 when the frame was seen, 1 otherwise.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs of alternating black and cyan pixels at least this long count as the checkerboard.
constexpr int kCheckerRun = 32;

double millisecondsNow() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A window that vanishes between two requests is no failure here.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

std::string windowName(Display* display, Window window) {
    static const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    static const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char* plain = nullptr;
    if (XFetchName(display, window, &plain) && plain != nullptr) {
        name = plain;
        XFree(plain);
    }
    return name;
}

// The window of that title among the children of `parent`, two levels deep (a window
// manager puts a frame around each top-level window); 0 when there is none.
Window findWindow(Display* display, Window parent, const std::string& title, int depth) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        if (windowName(display, children[i]) == title) found = children[i];
    }
    for (unsigned i = 0; i < count && found == 0 && depth > 1; ++i)
        found = findWindow(display, children[i], title, depth - 1);
    if (children != nullptr) XFree(children);
    return found;
}

bool isChecker(unsigned long pixel, bool cyan) {
    return (pixel & 0xFFFFFF) == (cyan ? 0x00FFFFu : 0u);
}

// True when some row of the window shows the checkerboard.
bool showsChecker(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    bool seen = false;
    for (int y = 0; y < image->height && !seen; ++y) {
        int run = 0;
        bool previousCyan = false;
        for (int x = 0; x < image->width && !seen; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const bool cyan = isChecker(pixel, true);
            if (!cyan && !isChecker(pixel, false)) {
                run = 0;
            } else {
                run = run > 0 && cyan != previousCyan ? run + 1 : 1;
            }
            previousCyan = cyan;
            seen = run >= kCheckerRun;
        }
    }
    XDestroyImage(image);
    return seen;
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

int usage() {
    std::fprintf(stderr, "usage: pl_frame_probe [--title TEXT] [--timeout MS] -- PROGRAM [ARGUMENTS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "Pixloupe 2d,x1";
    double timeout = 10000;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string option = argv[first];
        if (option == "--") {
            ++first;
            break;
        }
        if (first + 1 >= argc) return usage();
        if (option == "--title") {
            title = argv[++first];
        } else if (option == "--timeout") {
            timeout = std::atof(argv[++first]);
        } else {
            return usage();
        }
    }
    if (first >= argc) return usage();

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "pl_frame_probe: no display\n");
        return 1;
    }
    XSetErrorHandler(ignoreXError);
    const Window root = DefaultRootWindow(display);

    const double start = millisecondsNow();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[first], nullptr, nullptr, argv + first, environ) != 0) {
        std::fprintf(stderr, "pl_frame_probe: cannot start %s\n", argv[first]);
        return 1;
    }
    Window window = 0;
    double titleSeen = -1, frameSeen = -1;
    long resident = -1;
    while (millisecondsNow() - start < timeout && waitpid(child, nullptr, WNOHANG) == 0) {
        if (window == 0) {
            window = findWindow(display, root, title, 2);
            if (window != 0) titleSeen = millisecondsNow() - start;
        }
        if (window != 0 && showsChecker(display, window)) {
            frameSeen = millisecondsNow() - start;
            resident = residentKiB(child);
            break;
        }
        usleep(500);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    std::printf("%.1f %.1f %ld\n", titleSeen, frameSeen, resident);
    return frameSeen >= 0 ? 0 : 1;
}
