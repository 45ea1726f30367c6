#include "app/Dance.h"
#include "midi/MusicEvent.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace harmolin;
using harmolin::test::CollectReports;
using harmolin::test::tempPath;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void le16(Bytes& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void le32(Bytes& b, std::uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}

// A bitmap file put together field by field: rows are given top row first
// as packed bytes without padding; the builder pads and orders them.
struct BmpLayout {
    int width = 0;
    int height = 0; // rows in `rows`
    int bpp = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> palette; // 0x00RRGGBB
    std::vector<std::uint32_t> masks;   // after a 40-byte header, or inside a longer one
    std::vector<Bytes> rows;
};

Bytes buildBmp(const BmpLayout& s) {
    const std::uint32_t stride = ((s.width * s.bpp + 31) / 32) * 4;
    const std::uint32_t extra = s.headerSize == 40 ? 4 * static_cast<std::uint32_t>(s.masks.size()) : 0;
    const std::uint32_t off = 14 + s.headerSize + extra + 4 * static_cast<std::uint32_t>(s.palette.size());
    Bytes b = {'B', 'M'};
    le32(b, off + stride * s.height);
    le32(b, 0);
    le32(b, off);
    Bytes header;
    le32(header, s.headerSize);
    le32(header, s.width);
    le32(header, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
    le16(header, 1);
    le16(header, s.bpp);
    le32(header, s.compression);
    le32(header, stride * s.height);
    le32(header, 2835);
    le32(header, 2835);
    le32(header, static_cast<std::uint32_t>(s.palette.size()));
    le32(header, 0);
    for (auto m : s.masks)
        le32(header, m);
    header.resize(s.headerSize + extra, 0);
    b.insert(b.end(), header.begin(), header.end());
    for (auto c : s.palette)
        le32(b, c);
    for (int i = 0; i < s.height; ++i) {
        Bytes row = s.rows[s.topDown ? i : s.height - 1 - i];
        row.resize(stride, 0);
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

BmpLayout layout(int width, int bpp, std::vector<Bytes> rows, std::vector<std::uint32_t> palette = {}) {
    BmpLayout s;
    s.width = width;
    s.height = static_cast<int>(rows.size());
    s.bpp = bpp;
    s.rows = std::move(rows);
    s.palette = std::move(palette);
    return s;
}

RgbImage decode(const Bytes& b) {
    return decodeBmp(b.data(), b.size());
}

RgbImage solid(int w, int h, std::uint32_t colour) {
    RgbImage img;
    img.width = w;
    img.height = h;
    img.pixels.assign(static_cast<std::size_t>(w) * h, colour);
    return img;
}

// A data folder with one dance set; the pictures are written with saveBmp.
struct DanceFolder {
    explicit DanceFolder(const std::string& name, const char* set = "Bunny")
        : root(tempPath(name)), folder(fs::path(root) / "dance" / set) {
        fs::remove_all(root);
        fs::create_directories(folder);
    }
    void put(const std::string& file, const RgbImage& img) {
        ASSERT_TRUE(saveBmp((folder / file).string(), img));
    }
    std::string root;
    fs::path folder;
};

// Draws lo every time unless told otherwise, and counts its calls.
struct ScriptedRandom {
    std::vector<int> script; // values handed out first, in order
    std::size_t next = 0;
    int calls = 0;
    bool high = false;
    std::vector<std::pair<int, int>> ranges;
    int operator()(int lo, int hi) {
        ++calls;
        ranges.emplace_back(lo, hi);
        if (next < script.size()) return script[next++];
        return high ? hi : lo;
    }
};

} // namespace

TEST(DanceBmp, ReadsPalettedTrueColourAndBothRowOrders) {
    const std::uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;
    // 1 bit: 10 pixels wide spills into a second byte.
    const BmpLayout one = layout(10, 1, {{0xA0, 0x40}, {0x01, 0x80}}, {0, white});
    RgbImage img = decode(buildBmp(one));
    ASSERT_EQ(img.width, 10);
    ASSERT_EQ(img.height, 2);
    EXPECT_EQ(img.at(0, 0), white);
    EXPECT_EQ(img.at(1, 0), 0u);
    EXPECT_EQ(img.at(2, 0), white);
    EXPECT_EQ(img.at(9, 0), white);
    EXPECT_EQ(img.at(7, 1), white);
    EXPECT_EQ(img.at(8, 1), white);
    EXPECT_EQ(img.at(0, 1), 0u);

    const BmpLayout four = layout(3, 4, {{0x12, 0x30}}, {0, red, green, blue});
    img = decode(buildBmp(four));
    ASSERT_FALSE(img.empty());
    EXPECT_EQ(img.at(0, 0), red);
    EXPECT_EQ(img.at(1, 0), green);
    EXPECT_EQ(img.at(2, 0), blue);

    // 8 bit, top-down, with an index past the colour table (black, not garbage).
    BmpLayout eight = layout(3, 8, {{0, 1, 0}, {1, 200, 0}}, {red, green});
    eight.topDown = true;
    img = decode(buildBmp(eight));
    ASSERT_EQ(img.height, 2);
    EXPECT_EQ(img.at(0, 0), red);
    EXPECT_EQ(img.at(1, 0), green);
    EXPECT_EQ(img.at(0, 1), green);
    EXPECT_EQ(img.at(1, 1), 0u);

    BmpLayout rgb24 = layout(2, 24, {{0xFF, 0, 0, 0, 0xFF, 0}, {0, 0, 0xFF, 1, 2, 3}});
    img = decode(buildBmp(rgb24));
    EXPECT_EQ(img.at(0, 0), blue);
    EXPECT_EQ(img.at(1, 0), green);
    EXPECT_EQ(img.at(0, 1), red);
    EXPECT_EQ(img.at(1, 1), 0x030201u);
    rgb24.topDown = true;
    EXPECT_EQ(decode(buildBmp(rgb24)).pixels, img.pixels);

    BmpLayout rgb32 = layout(1, 32, {{0x11, 0x22, 0x33, 0x80}});
    EXPECT_EQ(decode(buildBmp(rgb32)).at(0, 0), 0x332211u);
    // Bit fields after a plain header and inside a V5 header (alpha ignored).
    rgb32.compression = 3;
    rgb32.masks = {0x0000FF00, 0x00FF0000, 0xFF000000};
    rgb32.rows = {{0x80, 0x11, 0x22, 0x33}};
    EXPECT_EQ(decode(buildBmp(rgb32)).at(0, 0), 0x112233u);
    rgb32.headerSize = 124;
    EXPECT_EQ(decode(buildBmp(rgb32)).at(0, 0), 0x112233u);
    BmpLayout v4 = four;
    v4.headerSize = 108;
    EXPECT_EQ(decode(buildBmp(v4)).at(2, 0), blue);
}

TEST(DanceBmp, DamagedFilesGiveAnEmptyPicture) {
    const Bytes good =
        buildBmp(layout(5, 8, {{1, 1, 1, 1, 1}, {0, 0, 0, 0, 0}, {1, 0, 1, 0, 1}}, {0xFF0000, 0x00FF00}));
    ASSERT_FALSE(decode(good).empty());
    // Every truncation: exactly sized copies, so a read past the end is a real overread.
    const std::size_t lastRowPadding = 3;
    for (std::size_t n = 0; n < good.size() - lastRowPadding; ++n) {
        const Bytes cut(good.begin(), good.begin() + n);
        EXPECT_TRUE(decode(cut).empty()) << n;
    }
    EXPECT_FALSE(decode(Bytes(good.begin(), good.end() - lastRowPadding)).empty());

    auto lie = [&](std::size_t at, std::uint32_t value, int width = 4) {
        Bytes b = good;
        for (int i = 0; i < width; ++i)
            b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return decode(b);
    };
    EXPECT_TRUE(lie(0, 'X', 1).empty());      // not "BM"
    EXPECT_TRUE(lie(10, 0xFFFFFFF0).empty()); // pixels past the end
    EXPECT_TRUE(lie(10, 20).empty());         // pixels inside the header
    EXPECT_TRUE(lie(14, 12).empty());         // an OS/2 core header
    EXPECT_TRUE(lie(14, 0x7FFFFFFF).empty()); // header larger than the file
    EXPECT_TRUE(lie(18, 0x40000).empty());    // width beyond the data
    EXPECT_TRUE(lie(18, 0xFFFFFFFB).empty()); // negative width
    EXPECT_TRUE(lie(22, 0x80000000).empty()); // the most negative height
    EXPECT_TRUE(lie(22, 0).empty());
    EXPECT_TRUE(lie(22, 0x7FFFFFFF).empty());
    EXPECT_TRUE(lie(28, 16, 2).empty()); // 16-bit pixels are not read
    EXPECT_TRUE(lie(28, 64, 2).empty());
    EXPECT_TRUE(lie(30, 1).empty()); // run-length compressed
    // Bit-field masks promised by a header too short to hold them.
    BmpLayout shortMasks = layout(1, 32, {{1, 2, 3, 4}});
    shortMasks.compression = 3;
    shortMasks.headerSize = 44;
    shortMasks.masks = {0xFF0000, 0xFF00, 0xFF};
    EXPECT_TRUE(decode(buildBmp(shortMasks)).empty());
    // A colour count beyond the table only loses the missing colours.
    const RgbImage many = lie(46, 0xFFFFFFFF);
    ASSERT_FALSE(many.empty());
    EXPECT_EQ(many.at(0, 0), 0x00FF00u);

    EXPECT_TRUE(loadBmp(tempPath("no-such.bmp")).empty());
    EXPECT_TRUE(loadBmp(fs::temp_directory_path().string()).empty());
    EXPECT_TRUE(decodeBmp(nullptr, 0).empty());
}

TEST(DanceBmp, SavedFileIsBottomUpTwentyFourBitAndReadsBack) {
    RgbImage img = solid(3, 2, 0);
    img.pixels = {0x010203, 0x040506, 0x070809, 0xA0B0C0, 0xD0E0F0, 0xFFFFFF};
    const std::string path = tempPath("saved.bmp");
    ASSERT_TRUE(saveBmp(path, img));
    std::ifstream in(path, std::ios::binary);
    const Bytes b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(b.size(), 54u + 2 * 12);
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(b[22], 2);    // positive height
    EXPECT_EQ(b[54], 0xC0); // the bottom row comes first, blue byte first
    EXPECT_EQ(b[55], 0xB0);
    EXPECT_EQ(b[56], 0xA0);
    EXPECT_EQ(loadBmp(path).pixels, img.pixels);
    EXPECT_FALSE(saveBmp(tempPath("empty.bmp"), RgbImage{}));
}

TEST(DanceBmp, AgreesWithAnIndependentReaderAndWriter) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "no Pillow for /usr/bin/python3";
    const fs::path dir = tempPath("pil");
    fs::create_directories(dir);
    RgbImage img = solid(7, 3, 0);
    for (int i = 0; i < 21; ++i)
        img.pixels[i] = static_cast<std::uint32_t>(i * 0x0B0D11);
    ASSERT_TRUE(saveBmp((dir / "ours.bmp").string(), img));
    // Pillow reads ours and writes its own 1-, 8-, 24- and 32-bit files of a known pattern.
    const std::string script = R"(
import sys
from PIL import Image
d = sys.argv[1]
im = Image.open(d + '/ours.bmp').convert('RGB')
with open(d + '/ours.txt', 'w') as f:
    f.write(' '.join('%d' % ((r << 16) | (g << 8) | b) for (r, g, b) in im.getdata()))
src = Image.new('RGB', (9, 4))
src.putdata([((x * 40) % 256, (y * 70) % 256, ((x + y) * 25) % 256) for y in range(4) for x in range(9)])
src.save(d + '/rgb.bmp')
src.convert('RGBA').save(d + '/rgba.bmp')
src.convert('P', palette=Image.ADAPTIVE, colors=16).save(d + '/p.bmp')
src.convert('1').save(d + '/one.bmp')
for name in ('rgb', 'rgba', 'p', 'one'):
    im = Image.open(d + '/' + name + '.bmp').convert('RGB')
    with open(d + '/' + name + '.txt', 'w') as f:
        f.write(' '.join('%d' % ((r << 16) | (g << 8) | b) for (r, g, b) in im.getdata()))
)";
    std::ofstream(dir / "check.py") << script;
    ASSERT_EQ(std::system(("/usr/bin/python3 " + (dir / "check.py").string() + " " + dir.string()).c_str()),
              0);
    auto pixelsOf = [&](const char* name) {
        std::ifstream in(dir / name);
        std::vector<std::uint32_t> v;
        for (std::uint32_t p; in >> p;)
            v.push_back(p);
        return v;
    };
    EXPECT_EQ(pixelsOf("ours.txt"), img.pixels);
    for (const char* name : {"rgb", "rgba", "p", "one"}) {
        const RgbImage read = loadBmp((dir / (std::string(name) + ".bmp")).string());
        EXPECT_EQ(read.width, 9) << name;
        EXPECT_EQ(read.pixels, pixelsOf((std::string(name) + ".txt").c_str())) << name;
    }
}

TEST(DanceFigure, PartsAreMirroredOredAndClipped) {
    DanceFolder data("dance-compose");
    // Head 4 x 2 blue, body 3 wide with a different colour per column and tall
    // enough to reach the head, leg 2 x 1.
    data.put("head1.bmp", solid(4, 2, 0x0000FF));
    RgbImage body = solid(3, 30, 0);
    for (int y = 0; y < 30; ++y) {
        body.pixels[y * 3 + 0] = 0x100000;
        body.pixels[y * 3 + 1] = 0x200000;
        body.pixels[y * 3 + 2] = 0x400000;
    }
    data.put("body1.bmp", body);
    data.put("body2.bmp", solid(3, 1, 0x00FF00));
    RgbImage leg = solid(2, 1, 0x000010);
    leg.pixels[1] = 0x000020;
    data.put("leg1.bmp", leg);

    DanceFigure fig(20, 160, [](int lo, int) { return lo; });
    fig.changeSet(0, data.root); // Bunny: head 28, body 0, legs 156
    EXPECT_EQ(fig.headCount(), 1);
    EXPECT_EQ(fig.bodyCount(), 2);
    EXPECT_EQ(fig.legCount(), 1);
    fig.setPose({0, 0, 0, 0, 0});
    RgbImage img = fig.render();
    ASSERT_EQ(img.width, 20);
    ASSERT_EQ(img.height, 160);
    // Right half: columns as drawn from x = 10; left half: mirrored, ending at x = 9.
    EXPECT_EQ(img.at(10, 0), 0x100000u);
    EXPECT_EQ(img.at(12, 0), 0x400000u);
    EXPECT_EQ(img.at(9, 0), 0x100000u);
    EXPECT_EQ(img.at(7, 0), 0x400000u);
    EXPECT_EQ(img.at(6, 0), 0u);
    EXPECT_EQ(img.at(13, 0), 0u);
    // The head, centred at its top, is OR-ed over the body where they meet.
    EXPECT_EQ(img.at(8, 28), 0x2000FFu);
    EXPECT_EQ(img.at(11, 29), 0x2000FFu);
    EXPECT_EQ(img.at(9, 28), 0x1000FFu);
    EXPECT_EQ(img.at(7, 28), 0x400000u);
    EXPECT_EQ(img.at(8, 30), 0u);
    EXPECT_EQ(img.at(8, 27), 0x200000u);
    // Legs the same way at their top.
    EXPECT_EQ(img.at(10, 156), 0x000010u);
    EXPECT_EQ(img.at(11, 156), 0x000020u);
    EXPECT_EQ(img.at(9, 156), 0x000010u);
    EXPECT_EQ(img.at(8, 156), 0x000020u);

    // Left and right body pick their own pictures; -1 and unknown indices draw nothing.
    fig.setPose({-1, 1, 0, -1, 7});
    img = fig.render();
    EXPECT_EQ(img.at(9, 0), 0x00FF00u);
    EXPECT_EQ(img.at(10, 0), 0x100000u);
    EXPECT_EQ(img.at(9, 1), 0u);
    EXPECT_EQ(img.at(9, 28), 0u);
    EXPECT_EQ(img.at(10, 156), 0u);
    fig.setPose({5, -3, 99, INT_MAX, INT_MIN});
    img = fig.render();
    for (auto p : img.pixels)
        ASSERT_EQ(p, 0u);

    // A window smaller than the figure clips it.
    DanceFigure small(6, 30, [](int lo, int) { return lo; });
    small.changeSet(0, data.root);
    small.setPose({0, 0, 0, 0, 0});
    img = small.render();
    EXPECT_EQ(img.at(0, 0), 0x400000u);
    EXPECT_EQ(img.at(2, 0), 0x100000u);
    EXPECT_EQ(img.at(5, 29), 0x400000u);
}

TEST(DanceFigure, SetWithOnlyAHeadStillDancesAndDrawsIt) {
    DanceFolder data("dance-head-only", "Horror");
    data.put("head1.bmp", solid(2, 2, 0xFFFFFF));
    ScriptedRandom random;
    DanceFigure fig(40, 240, std::ref(random));
    fig.changeSet(4, data.root);
    EXPECT_EQ(fig.set(), 4);
    EXPECT_EQ(fig.bodyCount(), 0);
    for (int i = 0; i < 30; ++i)
        fig.danceStep();
    const RgbImage img = fig.render();
    int lit = 0;
    for (auto p : img.pixels)
        lit += p != 0;
    EXPECT_EQ(lit, 4);
    EXPECT_EQ(img.at(19, 48), 0xFFFFFFu);
    // A song type outside the table falls back to the first set.
    DanceFigure other(40, 240, std::ref(random));
    other.changeSet(9, data.root);
    EXPECT_EQ(other.set(), 0);
    EXPECT_EQ(other.headCount(), 0);
}

TEST(DanceFigure, RandomDancesKeepAFootAndStayWithinTen) {
    DanceFolder data("dance-random");
    data.put("head1.bmp", solid(1, 1, 1));
    for (int i = 1; i <= 3; ++i)
        data.put("body" + std::to_string(i) + ".bmp", solid(1, 1, 2));
    for (int i = 1; i <= 4; ++i)
        data.put("leg" + std::to_string(i) + ".bmp", solid(1, 1, 3));
    ScriptedRandom random;
    DanceFigure fig(40, 240, std::ref(random));
    fig.changeSet(0, data.root);

    // Draw order per pose: head, left body, right body, left leg, right leg, then the foot.
    random.script = {0, 2, 1, 3, 2, 1, /**/ 0, 1, 1, 1, 3, 2, /**/ 0, 0, 0, 0, 3, /**/ 0, 0, 0, 2, 2, 3};
    fig.makeDance(4, true);
    ASSERT_EQ(random.ranges.size(), 23u);
    EXPECT_EQ(random.ranges[1], std::make_pair(0, 2));
    EXPECT_EQ(random.ranges[3], std::make_pair(0, 3));
    EXPECT_EQ(random.ranges[5], std::make_pair(1, 3));
    const Pose expected[] = {
        {0, 2, 1, 0, 2}, {0, 1, 1, 1, 0}, {0, 0, 0, 0, 3}, {0, 0, 0, 2, 2}, {0, 2, 1, 0, 2}};
    for (const Pose& p : expected) {
        fig.nextStep();
        EXPECT_EQ(fig.pose(), p);
    }
    CollectReports reports;
    random.calls = 0;
    fig.makeDance(11, false);
    EXPECT_EQ(random.calls, 50); // ten poses, no foot draws
    EXPECT_TRUE(reports.saw("internal error"));
    reports.lines.clear();
    fig.makeDance(10, false);
    EXPECT_TRUE(reports.lines.empty());
}

TEST(DanceFigure, EveryTwentyFourthStepMakesANewDanceFirst) {
    DanceFolder data("dance-steps");
    data.put("head1.bmp", solid(1, 1, 1));
    for (int i = 1; i <= 8; ++i)
        data.put("body" + std::to_string(i) + ".bmp", solid(1, 1, 2));
    data.put("leg1.bmp", solid(1, 1, 3));
    data.put("leg2.bmp", solid(1, 1, 3));
    ScriptedRandom random;
    DanceFigure fig(40, 240, std::ref(random));
    fig.changeSet(0, data.root);
    // First dance: left bodies 1..6 so the poses can be told apart.
    for (int p = 0; p < 6; ++p) {
        const std::vector<int> pose = {0, p + 1, 0, 0, 0};
        random.script.insert(random.script.end(), pose.begin(), pose.end());
    }
    std::vector<int> shown;
    for (int s = 0; s < 24; ++s) {
        fig.danceStep();
        shown.push_back(fig.pose().leftBody);
    }
    EXPECT_EQ(random.calls, 30); // one dance of six poses, made on the first step
    for (int s = 0; s < 24; ++s)
        EXPECT_EQ(shown[s], s % 6 + 1) << s;

    random.high = true;
    fig.danceStep();                              // the 25th
    EXPECT_EQ(random.calls, 30 + 6 * 6);          // five draws and a foot draw per pose
    EXPECT_EQ(fig.pose(), (Pose{0, 7, 7, 1, 1})); // both feet up: the foot draw 3 keeps them
    for (int s = 0; s < 23; ++s)
        fig.danceStep();
    EXPECT_EQ(random.calls, 66);
    fig.danceStep(); // the 49th
    EXPECT_EQ(random.calls, 102);
}

TEST(DanceFigure, BusyAnimationStopAndStartPose) {
    DanceFigure fig(64, 64, [](int lo, int) { return lo; });
    EXPECT_EQ(fig.pose(), kStartPose);
    fig.busyStep();
    EXPECT_EQ(fig.pose(), (Pose{0, 0, 0, 0, 0}));
    fig.busyStep();
    EXPECT_EQ(fig.pose(), (Pose{0, 0, 0, 0, 1}));
    fig.busyStep();
    EXPECT_EQ(fig.pose(), (Pose{0, 0, 0, 0, 0}));
    fig.addLyric("a");
    fig.stop();
    EXPECT_EQ(fig.pose(), kRestPose);
    EXPECT_EQ(fig.ticker(), "");
}

TEST(DanceFigure, TickerDropsWholeCharactersFromTheFront) {
    DanceFigure fig(32 + 8 * 6 + 7, 64, [](int lo, int) { return lo; }); // room for 6 bytes
    fig.addLyric("ab");
    fig.addLyric("cd");
    fig.addLyric("\x82\xA0"); // あ
    EXPECT_EQ(fig.ticker(), "abcd\x82\xA0");
    fig.addLyric("e");
    EXPECT_EQ(fig.ticker(), "bcd\x82\xA0"
                            "e");
    fig.stop();
    fig.addLyric("\x82\xA0\x82\xA2xy");
    fig.addLyric("z"); // the cut would halve あ: it goes whole
    EXPECT_EQ(fig.ticker(), "\x82\xA2xyz");
    fig.stop();
    fig.addLyric("\xE0\x40\x81\x40\x82\xA4");
    fig.addLyric("\x81\x40"); // lead bytes from both ranges
    EXPECT_EQ(fig.ticker(), "\x81\x40\x82\xA4\x81\x40");
    // A text longer than the ticker keeps its tail, from a character start.
    fig.addLyric("q\x82\xA0\x82\xA2\x82\xA4\x82\xA6");
    EXPECT_EQ(fig.ticker(), "\x82\xA2\x82\xA4\x82\xA6");

    DanceFigure narrow(20, 64, [](int lo, int) { return lo; });
    narrow.addLyric("abc");
    EXPECT_EQ(narrow.ticker(), "");
}

TEST(DanceBeatTest, OneStepPerTickForTheChosenPart) {
    DanceBeat beat;
    // Drums: bass and snare notes on channel 10 only; two at one tick make one step.
    EXPECT_TRUE(beat.isBeat(1, 9, kNoteOn, 36, 100, 0));
    EXPECT_FALSE(beat.isBeat(1, 9, kNoteOn, 38, 100, 0));
    EXPECT_FALSE(beat.isBeat(1, 9, kNoteOn, 42, 100, 96));
    EXPECT_FALSE(beat.isBeat(1, 9, kNoteOn, 40, 0, 96)); // a note-off in disguise
    EXPECT_FALSE(beat.isBeat(1, 9, kNoteOff, 40, 64, 96));
    EXPECT_FALSE(beat.isBeat(1, 10, kNoteOn, 36, 100, 96));
    for (int note : {35, 36, 38, 40})
        EXPECT_TRUE(beat.isBeat(1, 9, kNoteOn, note, 1, 200 + note)) << note;
    // Guide melody: any note on channel 11.
    EXPECT_TRUE(beat.isBeat(2, 10, kNoteOn, 72, 90, 480));
    EXPECT_FALSE(beat.isBeat(2, 10, kNoteOn, 76, 90, 480));
    EXPECT_FALSE(beat.isBeat(2, 9, kNoteOn, 36, 90, 960));
    EXPECT_FALSE(beat.isBeat(0, 10, kNoteOn, 72, 90, 1440));
    EXPECT_FALSE(beat.isBeat(0, 9, kNoteOn, 36, 90, 1440));

    DanceBeat fromEvents;
    const MusicEvent kick = makeChannelEvent(kNoteOn, 9, 36, 100);
    const MusicEvent snare = makeChannelEvent(kNoteOn, 9, 38, 100);
    EXPECT_TRUE(fromEvents.isBeat(1, kick, 480));
    EXPECT_FALSE(fromEvents.isBeat(1, snare, 480));
    EXPECT_TRUE(fromEvents.isBeat(1, snare, 960));
    fromEvents.reset();
    EXPECT_TRUE(fromEvents.isBeat(1, snare, 960));
}

TEST(DanceFigure, PlayerAndWindowThreadsShareTheFigure) {
    DanceFolder data("dance-threads");
    data.put("head1.bmp", solid(4, 4, 0x0000FF));
    data.put("body1.bmp", solid(4, 4, 0x00FF00));
    data.put("leg1.bmp", solid(4, 4, 0xFF0000));
    std::atomic<int> changes{0};
    std::mutex randomMutex;
    unsigned seed = 1;
    DanceFigure fig(80, 240, [&](int lo, int hi) {
        std::lock_guard lock(randomMutex);
        seed = seed * 1103515245u + 12345u;
        return lo + static_cast<int>((seed >> 16) & 0x7FFF) % (hi - lo + 1);
    });
    fig.setOnChange([&] { ++changes; });
    fig.changeSet(0, data.root);
    std::atomic<bool> done{false};
    std::thread player([&] {
        for (int i = 0; i < 2000; ++i) {
            fig.danceStep();
            if (i % 3 == 0) fig.addLyric("\x82\xA0");
        }
        fig.stop();
        done = true;
    });
    int frames = 0;
    int blankFrames = 0;
    // At least one frame even when the player thread is done first; every
    // frame shows the figure, whatever pose the player left it in.
    do {
        const RgbImage img = fig.render();
        ASSERT_EQ(img.pixels.size(), 80u * 240u);
        if (std::none_of(img.pixels.begin(), img.pixels.end(), [](auto p) { return p != 0; })) ++blankFrames;
        (void)fig.ticker();
        fig.busyStep();
        ++frames;
    } while (!done);
    player.join();
    EXPECT_EQ(blankFrames, 0) << "of " << frames << " frames";
    EXPECT_GE(changes.load(), 2000 + 667 + 1);
    // The window's last busy step may land after the player's stop.
    const Pose last = fig.pose();
    EXPECT_TRUE((last == kRestPose || last == Pose{0, 0, 0, 0, 1}));
}
