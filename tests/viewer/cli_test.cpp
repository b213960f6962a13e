// Runs the built pixloupe2d-cli on files made here and compares what it writes with pictures
// and bytes worked out here, and once with what the viewer's code draws in this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "graphics/images.h"
#include "tests/graphics/pixel_picture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unprivileged.h"
#include "tests/viewer/viewer_test_support.h"
#include "viewer/data_buffer.h"
#include "viewer/mode_table.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program with exactly these arguments (no shell), in the folder `workDir`; when
// `unprivileged`, as a user whom permissions bind.
CliRun runCli(const std::vector<std::string>& arguments, const std::string& workDir,
              bool unprivileged = false) {
    const std::string outName = workDir + "/.stdout", errName = workDir + "/.stderr";
    CliRun run;
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(workDir.c_str()) != 0)
            _exit(127);
        if (unprivileged && geteuid() == 0 && !becomeUnprivileged()) _exit(127);
        std::vector<char*> argv;
        std::string program = PL_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies) argv.push_back(argument.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    run.out = readWholeFile(outName);
    run.err = readWholeFile(errName);
    unlink(outName.c_str());
    unlink(errName.c_str());
    return run;
}

// The pixels of a picture file as colour values (0x00BBGGRR), row by row from the top;
// empty when the file is not a 24-bit BMP or an 8-bit RGB PNG.
struct Picture {
    int width = 0, height = 0;
    std::vector<int32_t> pixels;
    int32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

uint32_t littleEndian(const std::string& bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

Picture decodeBmp(const std::string& bytes) {
    Picture picture;
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0 || littleEndian(bytes, 28, 2) != 24)
        return picture;
    const uint32_t offset = littleEndian(bytes, 10, 4);
    const int width = static_cast<int>(littleEndian(bytes, 18, 4));
    const int height = static_cast<int>(littleEndian(bytes, 22, 4));
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    if (width <= 0 || height <= 0 || offset + stride * height > bytes.size()) return picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y) {
        const size_t row = offset + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const size_t p = row + 3 * x;
            picture.pixels.push_back(static_cast<uint8_t>(bytes[p + 2]) |
                                     static_cast<uint8_t>(bytes[p + 1]) << 8 |
                                     static_cast<uint8_t>(bytes[p]) << 16);
        }
    }
    return picture;
}

Picture decodePng(const std::string& bytes) {
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    for (size_t p = 0; p + 2 < rgb.size(); p += 3)
        picture.pixels.push_back(rgb[p] | rgb[p + 1] << 8 | rgb[p + 2] << 16);
    return picture;
}

// The picture files are large enough for reading them a byte at a time to dominate.
Picture readPicture(const std::string& name) {
    std::string bytes;
    if (FILE* file = std::fopen(name.c_str(), "rb")) {
        char block[65536];
        for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
        std::fclose(file);
    }
    return bytes.compare(0, 4, "\x89PNG") == 0 ? decodePng(bytes) : decodeBmp(bytes);
}

struct View {
    int64_t first = 0;
    int width = 1, zoom = 1, mode = kModeBinary;
    bool inverse = false, reverse = false, nibble = false, multi = false;

    std::vector<std::string> options() const {
        std::vector<std::string> list = {"--first", std::to_string(first), "--width", std::to_string(width),
                                         "--zoom",  std::to_string(zoom),  "--mode",  modeRow(mode)->cliName};
        if (inverse) list.push_back("--inverse");
        if (reverse) list.push_back("--reverse");
        if (nibble) list.push_back("--nibble");
        if (multi) list.push_back("--multi");
        return list;
    }

    std::string describe() const {
        std::string text;
        for (const std::string& option : options()) text += option + " ";
        return text;
    }
};

class CliTest : public ::testing::Test {
   protected:
    void SetUp() override {
        std::mt19937 random(4321);
        data.resize(70000);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        dataFile = folder.file("data.bin");
        writeWholeFile(dataFile, std::string(data.begin(), data.end()));
    }
    void TearDown() override {
        freeImage(-1);
        unloadBytes();
    }

    CliRun run(const std::vector<std::string>& arguments) { return runCli(arguments, folder.path()); }

    CliRun render(const std::string& output, const View& view, const std::string& file = "") {
        std::vector<std::string> arguments = {"render", file.empty() ? dataFile : file, output};
        for (const std::string& option : view.options()) arguments.push_back(option);
        return run(arguments);
    }

    // The SheetImage as the viewer's code draws it for the view, as a Picture.
    Picture drawnInProcess(const View& view) {
        loadBytes(data);
        viewerState.byteOffset = static_cast<int32_t>(view.first);
        viewerState.bytesPerRow = view.width;
        viewerState.zoom = view.zoom;
        viewerState.colourMode = view.mode;
        setHeldValue(HeldValue::Inverse, view.inverse);
        setHeldValue(HeldValue::ReverseByte, view.reverse);
        setHeldValue(HeldValue::NibbleSwap, view.nibble);
        setHeldValue(HeldValue::MultiColumn, view.multi);
        Picture picture;
        if (!createImage(kSheetImage, kViewWidth, 512) || drawSheet() != SheetResult::Drawn) return picture;
        picture.width = kViewWidth;
        picture.height = 512;
        const ImageBuffer* image = imageBuffer(kSheetImage);
        picture.pixels.reserve(kViewWidth * 512);
        for (int y = 0; y < 512; ++y) {
            const uint8_t* pixel = imageRow(*image, y);
            for (int x = 0; x < kViewWidth; ++x, pixel += 3)
                picture.pixels.push_back(pixel[2] | pixel[1] << 8 | pixel[0] << 16);
        }
        return picture;
    }

    // The range worked out bit by bit: bytes outside the data are 0, and stay 0 when inverted.
    std::string expectedRange(int64_t first, int64_t size, bool inverse, bool reverse) const {
        std::string bytes;
        for (int64_t at = first; at < first + size; ++at) {
            const bool inData = at >= 0 && at < static_cast<int64_t>(data.size());
            const int raw = inData ? data[at] : 0;
            int value = 0;
            for (int bit = 0; bit < 8; ++bit) value |= ((raw >> bit) & 1) << (reverse ? 7 - bit : bit);
            bytes += static_cast<char>(inverse && inData ? value ^ 0xFF : value);
        }
        return bytes;
    }

    static void expectSamePicture(const Picture& actual, const Picture& expected, const std::string& what) {
        ASSERT_EQ(actual.width, 600) << what;
        ASSERT_EQ(actual.height, 512) << what;
        ASSERT_EQ(expected.pixels.size(), actual.pixels.size()) << what;
        const auto [differs, _] =
            std::mismatch(actual.pixels.begin(), actual.pixels.end(), expected.pixels.begin());
        if (differs == actual.pixels.end()) return;
        const size_t at = differs - actual.pixels.begin();
        FAIL() << what << ": first difference at x " << at % 600 << " y " << at / 600 << ": " << std::hex
               << actual.pixels[at] << " instead of " << expected.pixels[at];
    }

    TempFolder folder;
    std::vector<uint8_t> data;
    std::string dataFile;
};

TEST_F(CliTest, HelpPrintsTheUsage) {
    for (const auto& arguments : {std::vector<std::string>{"--help"}, {"-h"}, {"render", "--help"}}) {
        const CliRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find("pixloupe2d-cli render FILE OUTPUT"), std::string::npos);
        EXPECT_NE(result.out.find("pixloupe2d-cli extract FILE OUTPUT"), std::string::npos);
        EXPECT_EQ(result.err, "");
    }
}

// Wiring: every option reaches the drawing, and every mode beyond the four by its name; the
// pictures themselves are worked out by hand and checked against the reference drawing in
// the viewer's own tests.
TEST_F(CliTest, RenderWritesTheViewersPicture) {
    for (int mode = kModeAtari; mode < kModeTableSize;
         mode += mode == kModeAtari ? kColourModeCount - 1 : 1) {
        View view;
        view.mode = mode;
        view.zoom = 2;
        view.first = -77;
        view.width = 41;
        view.inverse = view.reverse = view.nibble = view.multi = true;
        const CliRun result = render(folder.file("view.png"), view);
        ASSERT_EQ(result.exitCode, 0) << view.describe() << result.err;
        EXPECT_EQ(result.err, "");
        expectSamePicture(readPicture(folder.file("view.png")), drawnInProcess(view), view.describe());
    }
}

TEST_F(CliTest, TheFormatFollowsTheExtensionInAnyCase) {
    struct Case {
        const char* name;
        const char* signature;
    };
    const Case cases[] = {{"a.png", "\x89PNG"}, {"b.PNG", "\x89PNG"}, {"c.Png", "\x89PNG"},
                          {"d.bmp", "BM"},      {"e.BMP", "BM"},      {"f.bmp.png", "\x89PNG"}};
    for (const Case& c : cases) {
        ASSERT_EQ(render(folder.file(c.name), View()).exitCode, 0) << c.name;
        EXPECT_EQ(readWholeFile(folder.file(c.name)).substr(0, std::string(c.signature).size()), c.signature);
    }
}

// Small views whose pixels can be worked out by hand. Colours: '.' black, 'W' white,
// 'c' checkerboard cyan, 'u' BK-0010 blue, Sam Coupe palette indices as hex digits.
TEST_F(CliTest, RenderOfSmallFilesByHand) {
    writeWholeFile(folder.file("small.bin"), std::string("\x80\x1B", 2));
    struct Case {
        View view;
        std::vector<std::string> rows;  // the first 16 pixels of rows 0, 1, 2, ...
    };
    View binary;
    View pastEnd;
    pastEnd.first = 2;
    pastEnd.mode = kModeBk;
    View sam;
    sam.mode = kModeSam;
    sam.zoom = 2;
    sam.width = 2;
    View before;
    before.first = -1;
    before.inverse = true;
    const Case cases[] = {
        {binary,
         {"W......."
          ".c.c.c.c",
          "...WW.WW"
          "c.c.c.c.",
          ".c.c.c.c"
          ".c.c.c.c"}},
        {pastEnd,
         {"uuuu"
          ".c.c.c.c.c.c",
          "c.c.c.c."
          "c.c.c.c."}},
        {sam,
         {"88..11BB"
          ".c.c.c.c",
          "88..11BB"
          "c.c.c.c.",
          ".c.c.c.c"
          ".c.c.c.c"}},
        {before,
         {"........"
          ".c.c.c.c",
          ".WWWWWWW"
          "c.c.c.c.",
          "WWW..W.."
          ".c.c.c.c",
          "c.c.c.c."
          "c.c.c.c."}},
    };
    for (const Case& c : cases) {
        const std::string output = folder.file("small.bmp");
        ASSERT_EQ(render(output, c.view, folder.file("small.bin")).exitCode, 0) << c.view.describe();
        const Picture picture = readPicture(output);
        ASSERT_EQ(picture.width, 600);
        for (size_t y = 0; y < c.rows.size(); ++y) {
            std::string row;
            for (int x = 0; x < 16; ++x) {
                const auto found = viewerLegend().find(picture.at(x, static_cast<int>(y)));
                row += found != viewerLegend().end() ? found->second : '?';
            }
            EXPECT_EQ(row, c.rows[y]) << c.view.describe() << " row " << y;
        }
    }
}

TEST_F(CliTest, ExtractWritesTheViewersBytes) {
    struct Case {
        int64_t first;
        std::string size;
        bool inverse, reverse;
        int64_t count;
    };
    const Case cases[] = {
        {0, "70000", false, false, 70000}, {-3, "5", false, false, 5},   {69990, "$A", true, false, 10},
        {100, "$3e8", false, true, 1000},  {-10, "20", true, true, 20},  {70000, "0", false, false, 0},
        {5, "0x0", true, true, 0},         {0, "0000", false, false, 0}, {1, "0X3e8", false, false, 1000},
        {-256, "300", true, false, 300},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {
            "extract", dataFile, "part.bin", "--first", std::to_string(c.first), "--size", c.size};
        if (c.inverse) arguments.push_back("--inverse");
        if (c.reverse) arguments.push_back("--reverse");
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << c.first << " " << c.size << ": " << result.err;
        const std::string bytes = readWholeFile(folder.file("part.bin"));
        EXPECT_EQ(bytes.size(), static_cast<size_t>(c.count));
        EXPECT_TRUE(bytes == expectedRange(c.first, c.count, c.inverse, c.reverse))
            << c.first << " " << c.size;
    }
}

TEST_F(CliTest, ExtractOfSmallFilesByHand) {
    writeWholeFile(folder.file("small.bin"), std::string("\x01\x12\x80", 3));
    struct Case {
        std::vector<std::string> options;
        std::string bytes;
    };
    const Case cases[] = {
        {{"--first", "-3", "--size", "5"}, std::string("\0\0\0\x01\x12", 5)},
        {{"--size", "3", "--inverse", "--reverse"}, "\x7F\xB7\xFE"},
        {{"--size=1", "--reverse"}, "\x80"},
        {{"--first=-1", "--size", "2", "--inverse"}, std::string("\0\xFE", 2)},
        {{"--first", "$2", "--size", "1"}, "\x80"},
        {{"--first", "$0001", "--size", "$2"}, "\x12\x80"},
        {{"--first", "0x1", "--size", "0X2"}, "\x12\x80"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"extract", "small.bin", "out.raw"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(run(arguments).exitCode, 0) << c.options[1];
        EXPECT_EQ(readWholeFile(folder.file("out.raw")), c.bytes) << c.options[1];
    }
}

// A sprite holds the pixels the viewer draws at zoom 1 for its bytes laid out at its width,
// each repeated zoom x zoom times; a batch goes on byte after byte, numbered in the names.
TEST_F(CliTest, SpritesAreTheViewersPixelsOfTheirBytes) {
    struct Case {
        std::string file, output;
        View view;  // first, width, mode and options; zoom is the sprite's
        int rows, count;
        std::vector<std::string> names;
    };
    const View bank{.first = 0x1000, .width = 2};
    const View atari{.first = -3, .width = 3, .zoom = 2, .mode = kModeAtari, .inverse = true};
    const View bk{.first = 69000, .width = 5, .zoom = 8, .mode = kModeBk, .reverse = true};
    const View sam{.first = 777, .width = 1, .zoom = 4, .mode = kModeSam, .nibble = true};
    const View nes{.first = -5, .width = 3, .zoom = 2, .mode = kModeNes, .inverse = true};
    const std::string sample = PL_SAMPLE_PATH;
    const Case cases[] = {
        {sample, "ship.png", bank, 16, 8, {"ship-000.png", "ship-001.png", "ship-007.png"}},
        {dataFile, "a.bmp", atari, 4, 3, {"a-000.bmp", "a-002.bmp"}},
        {dataFile, "b.PNG", bk, 40, 0, {"b.PNG"}},
        {dataFile, "s.bmp", sam, 9, 2, {"s-000.bmp", "s-001.bmp"}},
        {dataFile, "n.png", nes, 4, 2, {"n-000.png", "n-001.png"}},  // rows of 3 tiles of 16 bytes
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"sprite", c.file, c.output, "--rows", std::to_string(c.rows)};
        for (const std::string& option : c.view.options()) arguments.push_back(option);
        if (c.count > 0) arguments.insert(arguments.end(), {"--count", std::to_string(c.count)});
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << c.view.describe() << result.err;
        const std::string bytes = readWholeFile(c.file);
        data.assign(bytes.begin(), bytes.end());
        const ViewGeometry g = viewGeometry(c.view.mode, c.view.width, 1, 512);
        for (const std::string& name : c.names) {
            const int k =
                name.find('-') == std::string::npos ? 0 : std::stoi(name.substr(name.find('-') + 1));
            View shown = c.view;
            shown.zoom = 1;
            shown.first += int64_t{k} * g.rowBytes * c.rows;
            const Picture expected = drawnInProcess(shown);
            const Picture sprite = readPicture(folder.file(name));
            ASSERT_EQ(sprite.width, g.stripWidth * c.view.zoom) << name;
            ASSERT_EQ(sprite.height, c.rows * g.unitHeight * c.view.zoom) << name;
            for (int y = 0; y < sprite.height; ++y) {
                for (int x = 0; x < sprite.width; ++x) {
                    ASSERT_EQ(sprite.at(x, y), expected.at(x / c.view.zoom, y / c.view.zoom))
                        << name << " x " << x << " y " << y;
                }
            }
        }
        EXPECT_FALSE(fileExists(folder.file(c.names[0] == "ship-000.png" ? "ship-008.png" : "a-003.bmp")));
    }
}

TEST_F(CliTest, NamesWithSpacesQuotesOtherBytesAndLeadingDashes) {
    const std::string names[] = {"with space.bin", "quote'd \"x\".bin", "caf\xE9\xFF.bin", "-dash.bin"};
    for (const std::string& name : names) {
        writeWholeFile(folder.file(name), std::string("\xFF\x00\xFF", 3));
        const CliRun result = run({"render", name, name + ".bmp"});
        ASSERT_EQ(result.exitCode, 0) << name << ": " << result.err;
        EXPECT_EQ(readPicture(folder.file(name + ".bmp")).at(0, 0), 0xFFFFFF) << name;
        ASSERT_EQ(run({"extract", name, name + ".out", "--size", "2"}).exitCode, 0) << name;
        EXPECT_EQ(readWholeFile(folder.file(name + ".out")), std::string("\xFF\x00", 2)) << name;
    }
    writeWholeFile(folder.file("--first"), "\x80");
    ASSERT_EQ(run({"extract", "--size", "1", "--", "--first", "--out"}).exitCode, 0);
    EXPECT_EQ(readWholeFile(folder.file("--out")), "\x80");
}

// Every kind of bad input: exit code 2, one line on stderr, and no file written.
TEST_F(CliTest, BadInputGivesExitCodeTwoAndNoOutput) {
    writeWholeFile(folder.file("empty.bin"), "");
    ASSERT_EQ(mkdir(folder.file("folder").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(folder.file("taken.png").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
    writeWholeFile(folder.file("huge.bin"), "");
    ASSERT_EQ(truncate(folder.file("huge.bin").c_str(), int64_t{1} << 31), 0);
    const std::set<std::string> before = folder.entries();
    const std::string d = dataFile;
    struct Case {
        std::vector<std::string> arguments;
        const char* mentions;  // a word the message must hold
    };
    const Case cases[] = {
        {{}, "command"},
        {{"draw", d, "o.png"}, "draw"},
        {{"render", d}, "FILE and OUTPUT"},
        {{"render", d, "o.png", "extra"}, "FILE and OUTPUT"},
        {{"render", "missing.bin", "o.png"}, "missing.bin"},
        {{"render", "empty.bin", "o.png"}, "empty.bin"},
        {{"render", "folder", "o.png"}, "folder"},
        {{"render", "fifo", "o.png"}, "fifo"},
        {{"extract", "huge.bin", "o.bin", "--size", "1"}, "2 GiB"},
        {{"render", d, "o.png", "--bogus"}, "--bogus"},
        {{"render", d, "o.png", "--mode", "c64"}, "c64"},
        {{"render", d, "o.png", "--mode"}, "--mode"},
        {{"render", d, "o.png", "--zoom", "3"}, "--zoom"},
        {{"render", d, "o.png", "--zoom", "x"}, "--zoom"},
        {{"render", d, "o.png", "--width", "0"}, "--width"},
        {{"render", d, "o.png", "--width", "257"}, "--width"},
        {{"render", d, "o.png", "--width", "1.5"}, "--width"},
        {{"render", d, "o.png", "--width", ""}, "--width"},
        {{"render", d, "o.png", "--first", "abc"}, "--first"},
        {{"render", d, "o.png", "--first", "2147483648"}, "--first"},
        {{"render", d, "o.png", "--first", "+-5"}, "--first"},
        {{"render", d, "o.png", "--first", "$"}, "--first"},
        {{"render", d, "o.png", "--first", "$80000000"}, "--first"},
        {{"render", d, "o.png", "--first", "-$10"}, "--first"},
        {{"render", d, "o.png", "--inverse=1"}, "--inverse"},
        {{"render", d, "o.jpg"}, "o.jpg"},
        {{"render", d, "o"}, ".png or .bmp"},
        {{"render", d, "-"}, "--format"},
        {{"render", d, "o.png", "--format", "gif"}, "gif"},
        {{"extract", d, "o.bin", "--size", "1", "--format", "png"}, "--format"},
        {{"render", d, "o.png.txt"}, "o.png.txt"},
        {{"render", d, "taken.png"}, "taken.png"},
        {{"render", d, "no/such/folder.png"}, "no/such/folder.png"},
        {{"extract", d, "o.bin"}, "--size"},
        {{"extract", d, "o.bin", "--size", ""}, "--size"},
        {{"extract", d, "o.bin", "--size", "12x"}, "12x"},
        {{"extract", d, "o.bin", "--size", "0x"}, "0x"},
        {{"extract", d, "o.bin", "--size", "$"}, "--size"},
        {{"render", d, "o.png", "--width", "0x101"}, "--width"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "2"}, "--rows"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "2", "--rows", "0"}, "--rows"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "2", "--rows", "5000", "--zoom", "8"}, "32767"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "2", "--rows", "2", "--count", "$0"}, "--count"},
        {{"sprite", d, "o.png", "--first", "0", "--width", "2", "--rows", "2", "--multi"}, "--multi"},
        {{"sprite", d, "o.png", "--first", "69999", "--width", "2", "--rows", "1"}, "past the end"},
        {{"sprite", d, "o.png", "--first", "0x10", "--width", "1", "--rows", "2", "--count", "34993"},
         "past the end"},
        {{"extract", d, "o.bin", "--size", "4294967296"}, "4294967296"},
        {{"extract", d, "o.bin", "--size", "70001"}, "past the end"},
        {{"extract", d, "o.bin", "--first", "1", "--size", "70000"}, "past the end"},
        {{"extract", d, "o.bin", "--first", "-257", "--size", "1"}, "-256"},
        {{"extract", d, "o.bin", "--first", "-2147483648", "--size", "2147483647"}, "-256"},
        {{"extract", d, "o.bin", "--first", "70001", "--size", "0"}, "-256"},
        {{"extract", d, "o.bin", "--size", "1", "--nibble"}, "--nibble"},
        {{"extract", d, "o.bin", "--size", "1", "--zoom", "2"}, "--zoom"},
        {{"extract", d, "no/such/folder.bin", "--size", "1"}, "no/such/folder.bin"},
        {{"guess"}, "one FILE"},
        {{"scan", d, "extra"}, "one FILE"},
        {{"guess", "missing.bin"}, "missing.bin"},
        {{"guess", d, "--width", "3"}, "--width"},
        {{"guess", d, "--mode", "c64"}, "c64"},
        {{"scan", d, "--mode", "nes"}, "four classic modes"},
        {{"render", d, "o.png", "--width", "auto", "--mode", "zx"}, "four classic modes"},
        {{"scan", d, "--first", "1"}, "--first"},
        {{"scan", d, "--from", "-1"}, "--from"},
        {{"scan", d, "--to", "x"}, "--to"},
        {{"render", d, "o.png", "--width", "Auto"}, "--width"},
    };
    for (const Case& c : cases) {
        std::string what;
        for (const std::string& argument : c.arguments) what += argument + " ";
        const CliRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << what;
        EXPECT_EQ(result.out, "") << what;
        ASSERT_FALSE(result.err.empty()) << what;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << what << ": " << result.err;
        EXPECT_NE(result.err.find(c.mentions), std::string::npos) << what << ": " << result.err;
        EXPECT_EQ(folder.entries(), before) << what;
    }
}

TEST_F(CliTest, AnUnreadableDataFileIsRefused) {
    if (ranAsUnprivilegedUser()) return;
    writeWholeFile(folder.file("secret.bin"), "x");
    ASSERT_EQ(chmod(folder.file("secret.bin").c_str(), 0), 0);
    const CliRun result = run({"render", "secret.bin", "o.png"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(fileExists(folder.file("o.png")));
}

// In a folder that takes no new file, as a user whom permissions bind: a writable file there
// is rewritten in place, anything else fails and leaves what was there.
TEST_F(CliTest, ALockedFolder) {
    const std::string locked = folder.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0700), 0);
    writeWholeFile(locked + "/old.bmp", "old");
    writeWholeFile(locked + "/sealed.bmp", "old");
    ASSERT_EQ(chmod((locked + "/sealed.bmp").c_str(), 0444), 0);
    for (const std::string& path : {folder.path(), locked, locked + "/old.bmp", locked + "/sealed.bmp"})
        ASSERT_TRUE(handToUnprivilegedUser(path)) << path;
    ASSERT_EQ(chmod(locked.c_str(), 0500), 0);
    struct Case {
        const char* output;
        int exitCode;
        const char* holds;  // nullptr: a BMP picture; "": no file
    };
    const Case cases[] = {
        {"locked/old.bmp", 0, nullptr},
        {"locked/new.bmp", 2, ""},
        {"locked/sealed.bmp", 2, "old"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runCli({"render", dataFile, c.output}, folder.path(), true).exitCode, c.exitCode)
            << c.output;
        if (c.holds == nullptr) {
            EXPECT_EQ(readPicture(folder.file(c.output)).width, 600) << c.output;
        } else {
            EXPECT_EQ(readWholeFile(folder.file(c.output)), c.holds) << c.output;
        }
    }
    EXPECT_EQ(folderEntries(locked), (std::set<std::string>{"old.bmp", "sealed.bmp"}));
    chmod(locked.c_str(), 0700);
}

// OUTPUT "-", /dev/stdout, a pipe: the bytes go straight to the open file, in order, after
// what was written there before and before what follows.
TEST_F(CliTest, StreamsGetExactlyTheBytesInOrder) {
    ASSERT_EQ(run({"extract", dataFile, "ref.bin", "--first", "100", "--size", "5000", "--inverse"}).exitCode,
              0);
    ASSERT_EQ(run({"render", dataFile, "ref.png", "--width", "3"}).exitCode, 0);
    ASSERT_EQ(run({"render", dataFile, "ref.bmp", "--width", "3"}).exitCode, 0);
    const std::string bytes = readWholeFile(folder.file("ref.bin"));
    const std::string png = readWholeFile(folder.file("ref.png"));
    const std::string bmp = readWholeFile(folder.file("ref.bmp"));
    ASSERT_EQ(bytes.size(), 5000u);
    const std::string extract = "\"$CLI\" extract data.bin OUT --first 100 --size 5000 --inverse";
    const std::string render = "\"$CLI\" render data.bin OUT --width 3 --format ";
    struct Case {
        std::string command;  // OUT stands for the output name
        std::string output;
        std::string holds;  // what the file "got" holds afterwards
    };
    const Case cases[] = {
        {extract + " > got", "-", bytes},
        {"printf OLD > got && " + extract + " >> got", "/dev/stdout", "OLD" + bytes},
        {"{ echo HEADER; " + extract + "; echo FOOTER; } > got", "/dev/stdout",
         "HEADER\n" + bytes + "FOOTER\n"},
        {extract + " | cat > got", "-", bytes},
        {extract + " | cat > got", "/dev/stdout", bytes},
        {"mkfifo fifo && { cat fifo > got & " + extract + "; wait; }", "fifo", bytes},
        {render + "png > got", "-", png},
        {"printf OLD > got && " + render + "bmp >> got", "/dev/stdout", "OLD" + bmp},
        {"{ echo HEADER; " + render + "png; echo FOOTER; } > got", "-", "HEADER\n" + png + "FOOTER\n"},
        {render + "png | cat > got", "/dev/stdout", png},
    };
    setenv("CLI", PL_CLI_PATH, 1);
    for (const Case& c : cases) {
        std::string command = c.command;
        command.replace(command.find("OUT"), 3, c.output);
        unlink(folder.file("got").c_str());
        unlink(folder.file("fifo").c_str());
        writeWholeFile(folder.file("run.sh"), command);
        EXPECT_EQ(std::system(("cd '" + folder.path() + "' && bash -o pipefail run.sh").c_str()), 0)
            << command;
        EXPECT_TRUE(readWholeFile(folder.file("got")) == c.holds) << command;
        EXPECT_FALSE(fileExists(folder.file("-"))) << command;
    }
}

}  // namespace
