// pl_bench_view: the whole redraw of the running viewer with the zoomed preview on at zoom 1
// (the drawing of the view, the copy onto the canvas, the preview, the grid, the status line
// and the title), as it runs on every mouse move; on Qt's offscreen platform unless
// QT_QPA_PLATFORM names another.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCursor>
#include <QPoint>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_summary.h"
#include "graphics/canvas.h"
#include "shell/controls.h"
#include "shell/event_queue.h"
#include "shell/window_shell.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/sheet_render.h"
#include "viewer/window/main_window.h"
#include "viewer/window/mode_menu.h"
#include "viewer/window/render_view.h"
#include "viewer/window/viewer_state.h"

namespace {

constexpr int64_t kViewData = 4 * 1024 * 1024;

QWindow* mainWindowHandle() {
    auto* frame = static_cast<QWidget*>(windowHandle(kMainWindow));
    return frame != nullptr ? frame->windowHandle() : nullptr;
}

// A point of the canvas, in the coordinates of the main window.
QPoint canvasPoint(int x, int y) {
    auto* canvas = static_cast<QWidget*>(controlHandle(kCanvas));
    return canvas->mapTo(canvas->window(), QPoint(x, y));
}

void pointAt(int x, int y) {
    QCursor::setPos(mainWindowHandle()->mapToGlobal(canvasPoint(x, y)));
}

// The heaviest view of the mode: zoom 1, the widest rows, every strip, grid and preview on.
bool setWorstView(benchmark::State& state, int mode) {
    viewerState.colourMode = mode;
    markColourMode(colourModeCommand(mode));
    viewerState.zoom = 1;
    setState(kMultiBox, 1);
    setState(kGridBox, 1);
    setState(kPreviewBox, 1);
    setState(kWidthScroll, kMaxBytesPerRow);
    applyScroll();
    if (viewerState.bytesPerRow != kMaxBytesPerRow || heldValue(HeldValue::ZoomPreview) == 0) {
        state.SkipWithError("the controls did not take the view");
        return false;
    }
    state.SetLabel("width " + std::to_string(viewerState.bytesPerRow));
    return true;
}

// The window grown until its view is width x height: the control strips beside and below the view
// take 20 and 90 pixels.
bool growViewTo(benchmark::State& state, int width, int height) {
    auto* window = static_cast<QWidget*>(windowHandle(kMainWindow));
    window->resize(width + 20, height + 90);
    const auto taken = [&] { return viewerState.viewWidth == width && viewerState.viewHeight == height; };
    // Events are taken as they come, without waiting once the view has the size.
    for (int polls = 0; polls < 1000000 && !taken(); ++polls)
        if (const int kind = waitEvent(0)) handleEvent(kind);
    for (int kind = waitEvent(0); kind != 0; kind = waitEvent(0)) handleEvent(kind);
    if (!taken()) {
        state.SkipWithError("the window did not take the size");
        return false;
    }
    return true;
}

void renderWithLoupe(benchmark::State& state, int mode) {
    // At the starting size: the large-view figures, run before in any order, grow the window.
    if (!growViewTo(state, kViewWidth, kStartViewHeight) || !setWorstView(state, mode)) return;
    pointAt(300, 200);
    if (clientPointerX(kMainWindow) < 0) {
        state.SkipWithError("the pointer is not over the window");
        return;
    }
    for (auto _ : state) renderView();
}
BENCHMARK_CAPTURE(renderWithLoupe, binary, kModeBinary)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderWithLoupe, atari, kModeAtari)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderWithLoupe, bk, kModeBk)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(renderWithLoupe, sam, kModeSam)->Unit(benchmark::kMillisecond);

// A mouse move as the platform delivers it, through the event queue and the viewer's
// handling of it, which ends in the same redraw.
void mouseMoveWithLoupe(benchmark::State& state) {
    // At the starting size: the large-view figures, run before in any order, grow the window.
    if (!growViewTo(state, kViewWidth, kStartViewHeight) || !setWorstView(state, kModeSam)) return;
    QWindow* window = mainWindowHandle();
    // The first move only brings the pointer onto the canvas.
    QTest::mouseMove(window, canvasPoint(300, 200));
    for (int kind = waitEvent(50); kind != 0; kind = waitEvent(50)) handleEvent(kind);
    int step = 0;
    for (auto _ : state) {
        const QPoint point = canvasPoint(300 + (++step & 7), 200);
        QCursor::setPos(window->mapToGlobal(point));
        QTest::mouseMove(window, point);
        // Other events (the pointer entering, raw input) are handled on the way, as the loop would.
        bool moved = false;
        for (int events = 0; events < 16 && !moved; ++events) {
            const int kind = waitEvent(1000);
            if (kind == 0) break;
            moved = kind == kEventControl && eventControl() == kCanvas && eventType() == kCanvasMouseMove;
            handleEvent(kind);
        }
        if (!moved) {
            state.SkipWithError("no mouse move arrived");
            break;
        }
    }
}
BENCHMARK(mouseMoveWithLoupe)->Unit(benchmark::kMillisecond);

// The whole redraw of a mode's worst view on a large screen.
void renderLargeView(benchmark::State& state, int mode, int width, int height) {
    if (!growViewTo(state, width, height) || !setWorstView(state, mode)) return;
    pointAt(width / 2, height / 2);
    for (auto _ : state) renderView();
}

// A drag of the window's corner: each step a new size, until the view has been drawn at it (the
// canvas is redrawn within the resize event, so no stale pixels are shown at the new size).
void resizeToRedrawn(benchmark::State& state) {
    if (!growViewTo(state, 1920, 1080) || !setWorstView(state, kModeSam)) return;
    int step = 0;
    for (auto _ : state) {
        const int width = 1920 - (++step & 15) * 8, height = 1080 - (step & 15) * 4;
        if (!growViewTo(state, width, height)) break;
    }
}
BENCHMARK(resizeToRedrawn)->Unit(benchmark::kMillisecond);

struct LargeView {
    const char* name;
    int width, height;
    double targetMs;
};
constexpr LargeView kLargeViews[] = {{"1080p", 1920, 1080, 8}, {"2160p", 3840, 2160, 16}};

// One benchmark per built-in mode and size, the sizes last so that the window grows only once each.
void registerLargeViews(std::vector<Figure>& figures) {
    for (const LargeView& size : kLargeViews) {
        for (int mode = 0; mode < modeCount(nullptr); ++mode) {
            const std::string name =
                std::string("renderLargeView/") + size.name + "/" + modeRow(mode, nullptr)->cliName;
            benchmark::RegisterBenchmark(name.c_str(), renderLargeView, mode, size.width, size.height)
                ->Unit(benchmark::kMillisecond);
            figures.push_back({size.name + std::string(" redraw with preview and grid, ") +
                                   modeRow(mode, nullptr)->menuText + " worst",
                               FigureKind::TimeMs, name, "", size.targetMs, ""});
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string folder = benchFolder();
    const std::string data = folder + "/view.bin";
    if (folder.empty() || chdir(folder.c_str()) != 0 || !writeNoiseFile(data, kViewData)) {
        std::fprintf(stderr, "cannot make the data file\n");
        return 1;
    }
    // Without a settings file the width bar stops at 255.
    std::ofstream("pl2.ini") << "[Options]\nmaxwidth=256\n";
    if (!std::ifstream("pl2.ini")) {
        std::fprintf(stderr, "cannot make the data file\n");
        return 1;
    }
    std::string program = "pl_bench_view";
    char* viewerArguments[] = {program.data(), const_cast<char*>(data.c_str()), nullptr};
    int viewerCount = 2;
    if (startViewer(viewerCount, viewerArguments) != ViewerStep::Continue) {
        std::fprintf(stderr, "the viewer did not start\n");
        return 1;
    }
    std::vector<Figure> figures = {
        {"Redraw with preview and grid, Binary worst", FigureKind::TimeMs, "renderWithLoupe/binary", "", 2,
         ""},
        {"Redraw with preview and grid, Atari GR.15 worst", FigureKind::TimeMs, "renderWithLoupe/atari", "",
         2, ""},
        {"Redraw with preview and grid, BK-0010 worst", FigureKind::TimeMs, "renderWithLoupe/bk", "", 2, ""},
        {"Redraw with preview and grid, Sam Coupe worst", FigureKind::TimeMs, "renderWithLoupe/sam", "", 2,
         ""},
        {"Mouse move to redrawn canvas, Sam Coupe worst", FigureKind::TimeMs, "mouseMoveWithLoupe", "", 2,
         ""},
    };
    figures.push_back({"A resize step of a 1080p window until the view is redrawn, Sam Coupe worst",
                       FigureKind::TimeMs, "resizeToRedrawn", "", 16.7, ""});
    registerLargeViews(figures);
    const int code = runBenchmarksWithSummary(argc, argv, figures);
    finishViewer(ViewerStep::EndAtOnce);
    return code;
}
