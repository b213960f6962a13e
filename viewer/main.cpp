#include "viewer/main_window.h"

int main(int argc, char** argv) {
    return runViewer(argc, argv);
}
