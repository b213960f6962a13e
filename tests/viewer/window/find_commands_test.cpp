// "Next graphics" over a long stretch: the status line tells how far the search has come, and
// Escape stops it with the view where it was, without ending the program.
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/viewer/window/viewer_driver.h"
#include "viewer/window/viewer_ids.h"
#include "viewer/window/viewer_state.h"

namespace {

class FindCommandsTest : public ViewerWindowTest {};

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

TEST_F(FindCommandsTest, ALongSearchShowsItsProgressAndEscapeStopsIt) {
    struct Case {
        const char* name;
        bool escape, releasedAfter;  // Escape pressed at the first progress shown; let go after the search
        const char* ending;
    };
    const Case cases[] = {
        {"to the end", false, false, "No graphics found after byte 4096 in this colour mode"},
        {"stopped", true, false, "Search stopped at "},
        {"stopped, Escape still held", true, true, "Search stopped at "},
    };
    // 64 MiB of zero bytes, barely any of them on the disk.
    std::ofstream(path("big.bin")).put('\0');
    std::filesystem::resize_file(path("big.bin"), 64 << 20);
    ASSERT_EQ(start({path("big.bin")}), ViewerStep::Continue);
    for (const Case& c : cases) {
        setView(16, 256, 0);
        const int64_t before = viewerState.byteOffset;
        std::vector<std::string> shown;
        QTimer watcher;
        watcher.setInterval(2);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            const std::string now = status();
            if (!startsWith(now, "Searching... ") || (!shown.empty() && shown.back() == now)) return;
            shown.push_back(now);
            if (!c.escape || shown.size() > 1) return;
            pressKey(Qt::Key_Escape);
            if (!c.releasedAfter) releaseKey(Qt::Key_Escape);
        });
        watcher.start();
        EXPECT_EQ(command(kCommandNextGraphics), ViewerStep::Continue) << c.name;
        watcher.stop();
        ASSERT_FALSE(shown.empty()) << c.name;
        EXPECT_TRUE(startsWith(status(), c.ending)) << c.name << ": " << status();
        EXPECT_EQ(viewerState.byteOffset, before) << c.name;
        if (c.escape) {
            EXPECT_EQ(shown.size(), 1u) << c.name;
        }
        // The Escape that stopped the search ends nothing, even while still held.
        EXPECT_EQ(handleNext(0), ViewerStep::Continue) << c.name;
        if (c.releasedAfter) releaseKey(Qt::Key_Escape);
        EXPECT_EQ(drain(), ViewerStep::Continue) << c.name;
    }
    finish();
}

}  // namespace
