// The built pixloupe2d-cli against bytes worked out here and what the viewer draws in this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <tuple>

#include "graphics/image_save.h"
#include "graphics/images.h"
#include "graphics/png_writer.h"
#include "support/user_settings.h"
#include "tests/graphics/png_pixels.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/bookmarks.h"
#include "viewer/engine/graphics_finder.h"
#include "viewer/engine/mode_table.h"
#include "viewer/engine/view_block.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
    bool operator==(const CliRun&) const = default;
};

struct View {
    int64_t first = 0;
    int width = 1, zoom = 1, mode = kModeBinary;
    bool inverse = false, reverse = false, nibble = false, multi = false;
    int viewWidth = kViewWidth, viewHeight = 512;
    std::vector<std::string> options() const {
        std::vector<std::string> list = {
            "--first", std::to_string(first), "--width", std::to_string(width),
            "--zoom",  std::to_string(zoom),  "--mode",  modeRow(mode, nullptr)->cliName};
        if (viewWidth != kViewWidth || viewHeight != 512)
            list.push_back("--size=" + std::to_string(viewWidth) + "x" + std::to_string(viewHeight));
        for (const auto& [on, flag] : std::initializer_list<std::pair<bool, const char*>>{
                 {inverse, "--inverse"}, {reverse, "--reverse"}, {nibble, "--nibble"}, {multi, "--multi"}})
            if (on) list.push_back(flag);
        return list;
    }
};

class CliTest : public ::testing::Test {
   protected:
    void SetUp() override {
        registerPngEncoder();
        setenv("CLI", PL_CLI_PATH, 1);
        std::mt19937 random(4321);
        data.resize(70000);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        dataFile = folder.file("data.bin");
        writeWholeFile(dataFile, std::string(data.begin(), data.end()));
    }
    void TearDown() override { freeImage(-1); }
    // The program with exactly these arguments, in the folder; its stdout goes between "OLD" and "END"
    // appended to a file and, where an argument names stdout, alike through a group's ">" and a pipe.
    CliRun run(const std::vector<std::string>& arguments) {
        std::string line = "cd '" + folder.path() + "' && { printf OLD; \"$CLI\"";
        for (std::string argument : arguments) {
            for (size_t at = 0; (at = argument.find('\'', at)) != std::string::npos; at += 4)
                argument.replace(at, 1, "'\\''");
            line += " '" + argument + "'";
        }
        CliRun result;
        for (const std::string to : {" >>.out", " >.out", " | cat >.out"}) {
            std::system((line + "; echo $? >.code; printf END; } 2>.err" + to).c_str());
            const std::string out = readWholeFile(folder.file(".out"));
            CliRun now{std::atoi(readWholeFile(folder.file(".code")).c_str()),
                       out.starts_with("OLD") && out.ends_with("END") ? out.substr(3, out.size() - 6)
                                                                      : "lost what was around: " + out,
                       readWholeFile(folder.file(".err"))};
            for (const char* name : {".out", ".err", ".code"}) unlink(folder.file(name).c_str());
            if (to != " >>.out" && !(now == result)) now.out = "differs with stdout" + to;
            result = now;
            if (line.find(" '-'") == line.npos && line.find(" '/dev/stdout'") == line.npos) break;
        }
        return result;
    }
    // The view drawn here and saved as "expected": the sheet, or its top-left width x height zoomed.
    bool savedInProcess(const View& view, const std::string& encoder, int width = 0, int height = 0) {
        const TestView shown =
            testView(data, view.mode, view.width, width > 0 ? 1 : view.zoom, view.first,
                     view.inverse | view.reverse << 1 | view.nibble << 2 | view.multi << 3);
        TestView sized = shown;
        sized.options.viewWidth = width > 0 ? kViewWidth : view.viewWidth;
        sized.options.viewHeight = width > 0 ? 512 : view.viewHeight;
        if (!createImage(kSheetImage, sized.options.viewWidth, sized.options.viewHeight) ||
            drawTestView(sized) != SheetResult::Drawn)
            return false;
        const int image = width > 0 ? 1 : kSheetImage;
        if (width > 0 && !(copyImageRect(kSheetImage, image, 0, 0, width, height) &&
                           resizeImage(image, width * view.zoom, height * view.zoom, 1)))
            return false;
        return saveImage(image, folder.file("expected"), encoder);
    }
    std::string written(const std::string& to, const CliRun& result) const {
        return to == "-" || to == "/dev/stdout" ? result.out : result.out + readWholeFile(folder.file(to));
    }
    TempFolder folder;
    std::vector<uint8_t> data;
    std::string dataFile;
};

// The data planted at 4 GiB in a sparse 5 GiB file renders, extracts and cuts out as the data alone does.
TEST_F(CliTest, CommandsReachPastFourGiB) {
    const std::string big = folder.file("big.bin");
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_TRUE(fd >= 0 && ftruncate(fd, int64_t{5} << 30) == 0 &&
                pwrite(fd, data.data(), data.size(), int64_t{1} << 32) == static_cast<ssize_t>(data.size()));
    close(fd);
    // The same command on the data alone and on the data far out: the same file written.
    const auto same = [&](std::vector<std::string> alone, const std::string& first) {
        std::vector<std::string> far = alone;
        far[1] = "big.bin", far[2] = "far-" + alone[2];
        far.insert(far.end(), {"--first", first});
        alone.insert(alone.end(), {"--first", "100"});
        return run(alone).exitCode == 0 && run(far).exitCode == 0 &&
               readWholeFile(folder.file(alone[2])) == readWholeFile(folder.file(far[2]));
    };
    EXPECT_TRUE(same({"render", "data.bin", "a.png", "--width", "3", "--mode", "sam"}, "$100000064"));
    EXPECT_TRUE(same({"sprite", "data.bin", "s.png", "--width", "4", "--rows", "9"}, "4294967396"));
    EXPECT_EQ(run({"extract", "big.bin", "b", "--first", "0x100000000", "--size", "70000"}).exitCode, 0);
    EXPECT_TRUE(readWholeFile(folder.file("b")) == std::string(data.begin(), data.end()));
    EXPECT_EQ(run({"extract", "big.bin", "b", "--first", "5368709119", "--size", "2"}).err,
              "pixloupe2d-cli: range runs past the end of the data: first 5368709119 + size 2 > 5368709120 "
              "bytes\n");
}

// Every mode with every option, and the defaults in the type the extension (any case) or --format names.
TEST_F(CliTest, RenderWritesTheViewersPictureInTheTypeAsked) {
    std::vector<std::tuple<std::string, std::string, View, std::vector<std::string>>> cases = {
        {"a.png", "PNG", {}, {"--zoom", "1"}},       {"b.PNG", "PNG", {}, {"--inverse"}},
        {"d.bmp", "BMP", {}, {"--first", "0"}},      {"e.BMP", "BMP", {}, {"--width=1"}},
        {"f.bmp.png", "PNG", {}, {"--mode=binary"}}, {"g.bmp", "PNG", {}, {"--format", "PNG"}},
        {"h", "BMP", {}, {"--format=bmp"}},          {"-", "PNG", {}, {"--format", "png"}},
        {"/dev/stdout", "BMP", {}, {"--format=bmp"}}};
    std::get<View>(cases[1]).inverse = true;
    for (int mode = kModeAtari; mode < kModeTableSize; mode += mode == kModeAtari ? kColourModeCount - 1 : 1)
        cases.push_back({"m.png", "PNG", {-77, 41, 2, mode, true, true, true, true}, {}});
    // Views of other sizes, as a larger window shows them.
    cases.push_back({"s.png", "PNG", {-77, 10, 1, kModeBinary, false, false, false, true, 1283, 1001}, {}});
    cases.push_back({"t.bmp", "BMP", {5, 3, 2, kModeBk, false, false, false, true, 64, 8192}, {}});
    for (const auto& [output, encoder, view, more] : cases) {
        std::vector<std::string> arguments = {"render", dataFile, output};
        for (const std::string& option : more.empty() ? view.options() : more) arguments.push_back(option);
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        ASSERT_TRUE(savedInProcess(view, encoder));
        EXPECT_TRUE(written(output, result) == readWholeFile(folder.file("expected")));
    }
}

// The arguments after "extract" (the output follows data.bin); the first byte, size, inverse, reverse.
TEST_F(CliTest, ExtractWritesTheViewersBytesUnderAnyName) {
    const std::string d = "data.bin";
    // clang-format off
    const std::tuple<std::vector<std::string>, int64_t, int64_t, bool, bool> cases[] = {
        {{d, "with space.bin", "--size", "70000"}, 0, 70000, false, false}, {{d, "-dash.bin", "--first", "-3", "--size", "5"}, -3, 5, false, false},
        {{d, "quote'd \"x\" caf\xE9\xFF.bin", "--first", "69990", "--size", "$A", "--inverse"}, 69990, 10, true, false},
        {{d, "-", "--first=100", "--size", "$3e8", "--reverse"}, 100, 1000, false, true},
        {{"--first=-10", "--size=20", "--inverse", "--reverse", "--", d, "--first"}, -10, 20, true, true},
        {{d, "o", "--first", "70000", "--size", "0"}, 70000, 0, false, false}, {{d, "o", "--first", "+5", "--size", "0x0"}, 5, 0, false, false},
        {{d, "o", "--first", "0x1", "--size", "0X3e8"}, 1, 1000, false, false}, {{d, "o", "--first", "$0002", "--size", "+2"}, 2, 2, false, false},
        {{d, "/dev/stdout", "--first", "-256", "--size", "300", "--inverse"}, -256, 300, true, false},
    };
    // clang-format on
    for (const auto& [tail, first, size, inverse, reverse] : cases) {
        std::vector<std::string> arguments = {"extract"};
        arguments.insert(arguments.end(), tail.begin(), tail.end());
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string output = *(std::find(arguments.begin(), arguments.end(), d) + 1);
        EXPECT_TRUE(written(output, result) == savedBytes(data, first, size, inverse, reverse));
    }
}

// A sprite is the viewer's pixels of its bytes at zoom 1, each zoomed (a PNG of colour numbers beyond
// the four classic modes); a batch is numbered byte after byte.
TEST_F(CliTest, SpritesAreTheViewersPixelsOfTheirBytes) {
    // The data, output, view (zoom: the sprite's), rows, count; the files written and one not written.
    const View bank{0x1000, 2}, atari{-3, 3, 2, kModeAtari, true}, bk{69000, 5, 8, kModeBk, false, true},
        sam{777, 1, 4, kModeSam, false, false, true}, nes{-5, 3, 2, kModeNes, true};
    // clang-format off
    const std::tuple<std::string, std::string, View, int, int, std::vector<std::string>, std::string> cases[] = {
        {PL_SAMPLE_PATH, "ship.png", bank, 16, 8, {"ship-000.png", "ship-001.png", "ship-007.png"}, "ship-008.png"},
        {dataFile, "a.png", atari, 4, 3, {"a-000.png", "a-002.png"}, "a-003.png"},
        {dataFile, "b.PNG", bk, 40, 0, {"b.PNG"}, "b-000.PNG"},
        {dataFile, "t.Bmp", sam, 9, 2, {"t-000.Bmp", "t-001.Bmp"}, "t.Bmp"},
        {dataFile, "n.png", nes, 4, 2, {"n-000.png", "n-001.png"}, "n-002.png"},  // rows of 3 tiles of 16 bytes
    };
    // clang-format on
    for (const auto& [file, output, view, rows, count, names, notWritten] : cases) {
        std::vector<std::string> arguments = {"sprite", file, output, "--rows", std::to_string(rows)};
        for (const std::string& option : view.options()) arguments.push_back(option);
        if (count > 0) arguments.insert(arguments.end(), {"--count", std::to_string(count)});
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string bytes = readWholeFile(file);
        data.assign(bytes.begin(), bytes.end());
        const ViewGeometry g = viewGeometry(view.mode, nullptr, view.width, 1, 512);
        for (const std::string& name : names) {
            const size_t dash = name.find('-');
            View shown = view;
            shown.first +=
                (dash == std::string::npos ? 0 : std::stoi(name.substr(dash + 1))) * g.rowBytes * rows;
            ASSERT_TRUE(savedInProcess(shown, name.back() == 'p' ? "BMP" : "PNG",
                                       static_cast<int>(g.stripWidth),
                                       static_cast<int>(rows * g.unitHeight)));
            const std::string got = readWholeFile(folder.file(name)),
                              expected = readWholeFile(folder.file("expected"));
            if (name.back() == 'p' || !showsPaletteValues(view.mode, nullptr)) {
                EXPECT_TRUE(got == expected) << name;
                continue;
            }
            const PngPixels read = readPngPixels(got);  // the colour numbers, in the same colours
            EXPECT_EQ(read.colourType, PNG_COLOR_TYPE_PALETTE) << name;
            EXPECT_EQ(read.colours, readPngPixels(expected).colours) << name;
        }
        EXPECT_FALSE(fileExists(folder.file(notWritten)));
    }
}

// What each command prints and its exit code; bad input gives exit code 2, one line naming the fault.
TEST_F(CliTest, MessagesAndExitCodes) {
    writeWholeFile(folder.file("empty.bin"), "");
    ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(folder.file("taken.png").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
    writeWholeFile(folder.file("flat.bin"), std::string(5000, '\0'));
    const std::string mine =
        "name = Mine\nid = mine\nlayout = linear\nwidth-pixels = 8\nbits = 1\nbit 0 = 0.0\n";
    writeWholeFile(folder.file("mine.plfmt"), mine);
    writeWholeFile(folder.file("bad.plfmt"), "name = Bad\nid = bad\nlayout = tiles\n");
    const std::set<std::string> before = folder.entries();
    const std::string d = dataFile, sample = PL_SAMPLE_PATH;
    const std::vector<std::string> R = {"render", d, "o.png"}, E = {"extract", d, "o.bin"},
                                   S = {"sprite", d, "o.png", "--first", "0", "--width", "2"};
    const auto with = [](std::vector<std::string> start, std::initializer_list<std::string> more) {
        start.insert(start.end(), more);
        return start;
    };
    // A scan prints as it finds, as the engine lists.
    std::string scannedSample;
    const std::string sampleBytes = readWholeFile(sample);
    for (const GraphicsRegion& r :
         scanGraphics(reinterpret_cast<const uint8_t*>(sampleBytes.data()),
                      static_cast<int64_t>(sampleBytes.size()), 0, 0, INT64_MAX, 256))
        scannedSample += std::to_string(r.first) + " " + std::to_string(r.length) + " " +
                         std::to_string(r.width) + " " + std::to_string(r.score) + "\n";
    // The arguments, exit code, what stdout starts with, what the one line on stderr holds ("": none).
    using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
    // clang-format off
    const Case printing[] = {
        {{"--help"}, 0, "Usage:\n  pixloupe2d-cli render FILE OUTPUT", ""}, {{"-h"}, 0, "Usage:\n", ""}, {{"render", "--help"}, 0, "Usage:\n", ""},
        {{"--version"}, 0, "pixloupe2d-cli ", ""}, {{"guess", sample, "--first", "$1000"}, 0, "2\n", ""},
        {{"guess", sample, "--first", "0x2000"}, 0, "40\n", ""}, {{"guess", sample, "--first", "$3000", "--mode", "atari"}, 0, "4\n", ""},
        {{"guess", "flat.bin"}, 1, "", "no picture found from byte 0"}, {{"scan", "flat.bin"}, 0, "", ""}, {{"scan", "flat.bin", "--mode", "nes"}, 0, "", ""},
        {{"identify", "flat.bin"}, 1, "", "nothing looks like a picture from byte 0"},
        {{"scan", sample, "--to", "6000"}, 0, "0 4192 1 245\n", ""},
        {{"scan", sample}, 0, scannedSample, ""},
        {{"formats"}, 0, "binary ", ""}, {{"formats", "--show", "gb"}, 0, "name = Game Boy tiles\nid = gb\nlayout = tiled\n", ""},
        {{"formats", "--format-file", "mine.plfmt", "--show", "mine"}, 0, mine, ""},
        }; const std::pair<std::vector<std::string>, const char*> bad[] = { {{}, "command"}, {{"draw", d, "o.png"}, "draw"},
        {{"render", d}, "FILE and OUTPUT"}, {{"render", "missing.bin", "o.png"}, "cannot open data file"},
        {{"render", "empty.bin", "o.png"}, "cannot read data file"}, {{"render", "folder", "o.png"}, "folder"}, {{"render", "fifo", "o.png"}, "fifo"},
        {{"guess", "missing.bin"}, "missing.bin"},
        {with(R, {"--bogus"}), "unknown option for render: --bogus"}, {with(R, {"--mode", "c64"}), "c64"},
        {with(R, {"--mode"}), "--mode needs a value"}, {with(R, {"--inverse=1"}), "--inverse takes no value"},
        {with(R, {"--zoom", "3"}), "--zoom needs 1, 2, 4 or 8"},
        {with(R, {"--size", "63x100"}), "--size needs WxH, each from 64 to 8192"}, {with(R, {"--size", "100x8193"}), "--size"},
        {with(R, {"--size", "100"}), "--size"}, {with(R, {"--size", "100x"}), "--size"}, {with(R, {"--width", "0"}), "--width needs a number from 1 to 256"},
        {with(R, {"--width", "257"}), "--width"}, {with(R, {"--width", "Auto"}), "--width"}, {with(R, {"--first", "abc"}), "--first"},
        {with(R, {"--first", "1125899906842625"}), "--first"}, {with(R, {"--first", "+-5"}), "--first"}, {with(R, {"--first", "$+5"}), "--first"},
        {with(R, {"--first", "0x-5"}), "--first"}, {with(R, {"--first", "$"}), "--first"}, {with(R, {"--first", "$4000000000001"}), "--first"},
        {with(R, {"--first", "-$10"}), "--first"}, {{"render", d, "o.jpg"}, "o.jpg"}, {{"render", d, "o"}, ".png or .bmp"},
        {{"render", d, "-"}, "--format"}, {{"render", d, "o.png.txt"}, "o.png.txt"},
        {with(R, {"--format", "gif"}), "--format needs png or bmp, not \"gif\""}, {{"render", d, "taken.png"}, "cannot write taken.png"},
        {{"render", d, "no/such/folder.png"}, "no/such/folder.png"}, {{"render", d, ""}, "must not be empty"},
        {with(E, {"--size", "1", "--format", "png"}), "--format"}, {E, "extract needs --size N"}, {with(E, {"--size", "12x"}), "12x"},
        {with(E, {"--size", "0x"}), "0x"}, {with(E, {"--size", "-1"}), "--size"}, {with(E, {"--size", "4294967296"}), "4294967296"},
        {with(E, {"--size", "70001"}), "past the end"}, {with(E, {"--first", "1", "--size", "70000"}), "past the end"},
        {with(E, {"--first", "-257", "--size", "1"}), "-256"}, {with(E, {"--first", "70001", "--size", "0"}), "-256"},
        {with(E, {"--first", "-2147483648", "--size", "2147483647"}), "-256"}, {with(E, {"--size", "1", "--nibble"}), "--nibble"},
        {with(E, {"--size", "1", "--zoom", "2"}), "--zoom"}, {{"extract", d, "no/such/folder.bin", "--size", "1"}, "no/such/folder.bin"},
        {{"sprite", d, "o.png", "--first", "0", "--rows", "2"}, "--first N, --width W and --rows H"},
        {{"sprite", d, "o.gif", "--first", "0", "--width", "2", "--rows", "2"}, "o.gif"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "auto", "--rows", "1"}, "--width auto is for render only"}, {S, "--rows"},
        {with(S, {"--rows", "0"}), "--rows"}, {with(S, {"--rows", "5000", "--zoom", "8"}), "32767"},
        {with(S, {"--rows", "2", "--count", "$0"}), "--count"}, {with(S, {"--rows", "2", "--multi"}), "--multi"},
        {{"sprite", d, "o.png", "--first", "69999", "--width", "2", "--rows", "1"}, "past the end"},
        {{"sprite", d, "o.png", "--first", "16", "--width", "1", "--rows", "2", "--count", "34993"}, "past the end"},
        {{"guess"}, "guess needs one FILE"}, {{"scan", d, "extra"}, "scan needs one FILE"}, {{"guess", d, "--width", "3"}, "--width"},
        {with(R, {"--width", "auto", "--mode", "zx"}), "no picture found"},
        {{"render", "flat.bin", "o.png", "--width", "auto"}, "no picture found"}, {{"scan", d, "--first", "1"}, "--first"},
        {{"scan", d, "--from", "-1"}, "--from"}, {with(R, {"--format-file", "bad.plfmt"}), "bad.plfmt:3: layout needs linear or tiled"},
        {{"formats", "--show", "c65"}, "unknown format \"c65\""},
        {with(R, {"--palette", "mine.plfmt"}), "mine.plfmt: not a palette file"}, {with(R, {"--palette", "sepia"}), "sepia"},
        {with(R, {"--palette-at", "0"}), "--palette-at and --palette-encoding go together"},
        {with(R, {"--palette-at", "0", "--palette-encoding", "rgb15"}), "--palette-encoding needs rgb24"},
    };
    // clang-format on
    std::vector<Case> cases(std::begin(printing), std::end(printing));
    for (const auto& [arguments, mentions] : bad) cases.push_back({arguments, 2, "", mentions});
    for (const auto& [arguments, exitCode, out, err] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliRun result = run(arguments);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_EQ(result.out.substr(0, out.size()), out) << result.out;
        EXPECT_EQ(result.out.empty(), out.empty());
        EXPECT_EQ(result.err.empty() ? 0 : result.err.find('\n') + 1, err.empty() ? 0 : result.err.size())
            << result.err;
        EXPECT_NE(result.err.find(err), std::string::npos) << result.err;
        EXPECT_EQ(folder.entries(), before);
    }
    ASSERT_EQ(run({"render", sample, "auto.bmp", "--first", "$1000", "--width", "auto"}).exitCode, 0);
    ASSERT_EQ(run({"render", sample, "two.bmp", "--first", "$1000", "--width", "2"}).exitCode, 0);
    EXPECT_TRUE(readWholeFile(folder.file("auto.bmp")) == readWholeFile(folder.file("two.bmp")));
}

// Every command that writes, its input named every way as its output: exit code 2, one line on
// stderr, the input untouched and nothing new.
TEST_F(CliTest, NeverWritesOverItsOwnInput) {
    const std::string input = std::string(data.begin(), data.end());
    writeWholeFile(folder.file("g.png"), input);
    ASSERT_EQ(symlink("g.png", folder.file("sym.png").c_str()), 0);
    ASSERT_EQ(symlink("g.png", folder.file("b-001.png").c_str()), 0);
    ASSERT_EQ(link(folder.file("g.png").c_str(), folder.file("hard.png").c_str()), 0);
    const std::set<std::string> before = folder.entries();
    const std::string whole = folder.file("g.png");
    // The arguments after "$CLI", with any redirection of the shell.
    // clang-format off
    const std::vector<std::string> lines = {
        "render g.png g.png", "render g.png ./g.png", "render ./g.png '" + whole + "'", "render g.png sym.png",
        "render sym.png g.png", "render g.png hard.png", "render g.png /proc/self/fd/3 --format png 3<g.png",
        "render g.png - --format bmp >>g.png", "render g.png /dev/stdout --format png 1<>g.png",
        "extract g.png g.png --size 10", "extract g.png ./g.png --size 10", "extract g.png '" + whole + "' --size 1",
        "extract g.png sym.png --size 10", "extract hard.png g.png --size 10", "extract g.png hard.png --size 0",
        "extract g.png /proc/self/fd/3 --size 10 3<g.png", "extract g.png - --size 10 >>g.png",
        "extract g.png /dev/stdout --size 10 1<>g.png",
        "sprite g.png g.png --first 0 --width 2 --rows 2", "sprite g.png ./g.png --first 0 --width 2 --rows 2",
        "sprite g.png sym.png --first 0 --width 2 --rows 2", "sprite g.png hard.png --first 0 --width 2 --rows 2",
        "sprite g.png '" + whole + "' --first 0 --width 2 --rows 2",
        "sprite g.png b.png --first 0 --width 2 --rows 2 --count 3",  // b-001.png is g.png
        "sprite g.png ./b.png --first 0 --width 2 --rows 2 --count 2",
    };
    // clang-format on
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const std::string shell =
            "cd '" + folder.path() + "' && \"$CLI\" " + line + " 2>.err; echo $? >.code";
        ASSERT_EQ(std::system(shell.c_str()), 0);
        const std::string err = readWholeFile(folder.file(".err"));
        EXPECT_EQ(std::atoi(readWholeFile(folder.file(".code")).c_str()), 2);
        EXPECT_EQ(err.find('\n') + 1, err.size()) << err;
        EXPECT_NE(err.find("is the data file itself"), std::string::npos) << err;
        unlink(folder.file(".err").c_str()), unlink(folder.file(".code").c_str());
        EXPECT_TRUE(readWholeFile(folder.file("g.png")) == input);
        EXPECT_EQ(folder.entries(), before);
    }
}

// A file the user may not read, or one in a folder they may not enter, is said to be so, with its name.
TEST_F(CliTest, AnUnreadableFileIsSaidToBeSo) {
    writeWholeFile(folder.file("secret"), "secret");
    ASSERT_EQ(mkdir(folder.file("locked").c_str(), 0700), 0);
    writeWholeFile(folder.file("locked/inside"), "inside");
    ASSERT_EQ(chmod(folder.file("secret").c_str(), 0) | chmod(folder.file("locked").c_str(), 0), 0);
    runUnprivileged(folder.path(), [&] {
        for (const std::string name : {"secret", "locked/inside"}) {
            const CliRun result = run({"extract", name, "o.bin", "--size", "1"});
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.err,
                      "pixloupe2d-cli: cannot read data file (permission denied): " + name + "\n");
        }
    });
}

// The viewer's bookmarks of the data file, from its own settings file; another file's are not listed.
TEST_F(CliTest, BookmarksListsTheMarksOfItsFile) {
    FileKey key;
    ASSERT_TRUE(fileKeyOf(dataFile, key));
    FileKey other = key;
    other.size += 1;
    UserSettings settings;
    addBookmark(settings, nullptr, key, {15616, 1, kModeBinary, 1, 0, "$3D00 font"});
    addBookmark(settings, nullptr, other, {1, 2, kModeBinary, 1, 0, "gone"});
    addBookmark(settings, nullptr, key, {-3, 32, kModeZx, 8, 9, ""});
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    ASSERT_TRUE(writeUserSettings(userSettingsPath(folder.path().c_str(), nullptr), settings));
    // Arguments; exit code, standard output, standard error.
    const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
        {{"bookmarks", "data.bin"}, 0, "15616 1 binary 1 $3D00 font\n-3 32 zx 8 \n", ""},
        {{"bookmarks", "./data.bin"}, 0, "15616 1 binary 1 $3D00 font\n-3 32 zx 8 \n", ""},
        {{"bookmarks", "none"}, 2, "", "pixloupe2d-cli: cannot read data file: none\n"},
        {{"bookmarks"}, 2, "", "pixloupe2d-cli: bookmarks takes one argument: the data file (see --help)\n"},
    };
    for (const auto& [arguments, code, out, err] : cases) {
        const CliRun result = run(arguments);
        EXPECT_EQ(std::tie(result.exitCode, result.out, result.err), std::tie(code, out, err))
            << arguments.back();
    }
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(CliTest, AFifoGetsTheBytesAsTheyAreWritten) {
    const std::string line =
        "cd '" + folder.path() +
        "' && mkfifo fifo && { timeout 20 cat fifo > got & \"$CLI\" extract data.bin fifo --first 100 "
        "--size 5000 --inverse > out; wait; }";  // standard output on the same file system as the fifo
    ASSERT_EQ(std::system(line.c_str()), 0);
    EXPECT_TRUE(readWholeFile(folder.file("got")) == savedBytes(data, 100, 5000, true, false));
}

}  // namespace
