#include "app/Dance.h"

#include "app/WorkingFolder.h"
#include "base/ErrorReport.h"
#include "base/TextCodec.h"
#include "midi/ByteBuffer.h"
#include "midi/MusicEvent.h"

#include <algorithm>
#include <bit>
#include <fstream>

namespace harmolin {

namespace {

// Dance pictures are small; anything larger is not one of ours.
constexpr std::uint64_t kMaxBmpFile = 64u << 20;
constexpr std::int64_t kMaxBmpSide = 16384;
constexpr std::int64_t kMaxBmpPixels = 1 << 24;
constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

constexpr int kMaxPictures = 12; // room per part
constexpr int kMaxBodies = 11;   // bodies beyond this are refused
constexpr int kMaxDance = 10;
constexpr int kNewDanceEvery = 24;
constexpr int kDanceLength = 6;

std::uint32_t u16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t s32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(u32(p));
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(std::uint32_t m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = 32 - std::countl_zero(m >> shift);
    }
    std::uint32_t operator()(std::uint32_t pixel) const {
        if (!mask) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return (v >> (bits - 8)) & 0xFF;
        return (v * 255 / ((1u << bits) - 1)) & 0xFF;
    }
};

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxBmpFile) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    return in.gcount() == size;
}

// ORs src onto dst with its top-left corner at (x0, y0), clipped to dst.
void orInto(RgbImage& dst, const RgbImage& src, int x0, int y0, bool mirrored) {
    for (int sy = 0; sy < src.height; ++sy) {
        const int dy = y0 + sy;
        if (dy < 0 || dy >= dst.height) continue;
        for (int sx = 0; sx < src.width; ++sx) {
            const int dx = x0 + sx;
            if (dx < 0 || dx >= dst.width) continue;
            const std::uint32_t p = src.at(mirrored ? src.width - 1 - sx : sx, sy);
            dst.pixels[static_cast<std::size_t>(dy) * dst.width + dx] |= p;
        }
    }
}

const RgbImage* picture(const std::vector<RgbImage>& part, int index) {
    if (index < 0 || index >= static_cast<int>(part.size()) || part[index].empty()) return nullptr;
    return &part[index];
}

const DanceSet kSets[kDanceSets] = {
    {"Bunny", 28, 0, 156},  {"Pops", 51, 0, 156},    {"Man", 14, 0, 146},
    {"Child", 44, 65, 221}, {"Horror", 48, 65, 221},
};

} // namespace

RgbImage decodeBmp(const std::uint8_t* data, std::size_t size) {
    if (!data || size < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M') return {};
    const std::uint64_t offBits = u32(data + 10);
    const std::uint64_t headerSize = u32(data + 14);
    if (headerSize < kInfoHeader || kFileHeader + headerSize > size) return {};
    const std::uint8_t* info = data + kFileHeader;
    const std::int64_t width = s32(info + 4);
    const std::int64_t rawHeight = s32(info + 8);
    const int bpp = static_cast<int>(u16(info + 14));
    const std::uint32_t compression = u32(info + 16);
    const std::uint64_t coloursUsed = u32(info + 32);
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide ||
        width * height > kMaxBmpPixels)
        return {};
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};
    if (compression != kBiRgb && !(compression == kBiBitfields && bpp == 32)) return {};

    std::uint64_t tableStart = kFileHeader + headerSize;
    std::uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    if (compression == kBiBitfields) {
        // The masks sit in the later headers, or right after a plain info header.
        const std::uint8_t* at = info + kInfoHeader;
        if (headerSize == kInfoHeader) {
            if (tableStart + 12 > size) return {};
            tableStart += 12;
        } else if (headerSize < kInfoHeader + 12) {
            return {};
        }
        for (int i = 0; i < 3; ++i)
            masks[i] = u32(at + 4 * i);
    }
    if (offBits < tableStart || offBits > size) return {};

    std::vector<std::uint32_t> palette;
    if (bpp <= 8) {
        // Only the entries that fit between the headers and the pixels count;
        // an index past them is black.
        std::uint64_t count = coloursUsed ? std::min<std::uint64_t>(coloursUsed, 1u << bpp) : (1u << bpp);
        count = std::min<std::uint64_t>(count, (offBits - tableStart) / 4);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* e = data + tableStart + 4 * i;
            palette.push_back((static_cast<std::uint32_t>(e[2]) << 16) | (e[1] << 8) | e[0]);
        }
    }

    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bpp + 7) / 8;
    // The last row may come without its padding.
    if (offBits + stride * (height - 1) + rowBytes > size) return {};

    RgbImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<std::size_t>(width * height), 0);
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = data + offBits + stride * (topDown ? y : height - 1 - y);
        std::uint32_t* out = image.pixels.data() + y * width;
        for (std::int64_t x = 0; x < width; ++x) {
            switch (bpp) {
            case 24: {
                const std::uint8_t* p = row + 3 * x;
                out[x] = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
                break;
            }
            case 32: {
                const std::uint32_t p = u32(row + 4 * x);
                out[x] = (red(p) << 16) | (green(p) << 8) | blue(p);
                break;
            }
            default: {
                const int perByte = 8 / bpp;
                const int shift = 8 - bpp * (static_cast<int>(x % perByte) + 1);
                const std::size_t index = (row[x / perByte] >> shift) & ((1u << bpp) - 1);
                out[x] = index < palette.size() ? palette[index] : 0;
            }
            }
        }
    }
    return image;
}

RgbImage loadBmp(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!readFile(path, bytes)) return {};
    return decodeBmp(bytes.data(), bytes.size());
}

bool saveBmp(const std::string& path, const RgbImage& image) {
    if (image.empty() || image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        return false;
    const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offBits = kFileHeader + kInfoHeader;
    std::vector<std::uint8_t> out;
    out.reserve(offBits + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, offBits + pixelBytes);
    put32(out, 0);
    put32(out, offBits);
    put32(out, kInfoHeader);
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(image.height)); // positive: bottom row first
    put16(out, 1);
    put16(out, 24);
    put32(out, kBiRgb);
    put32(out, pixelBytes);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            out.push_back(static_cast<std::uint8_t>(p));
            out.push_back(static_cast<std::uint8_t>(p >> 8));
            out.push_back(static_cast<std::uint8_t>(p >> 16));
        }
        out.resize(out.size() + (stride - static_cast<std::uint32_t>(image.width) * 3), 0);
    }
    return writeFileAtomically(path, out.data(), out.size());
}

const DanceSet& danceSet(int songType) {
    return kSets[songType >= 0 && songType < kDanceSets ? songType : 0];
}

DanceFigure::DanceFigure(int width, int height, RandomRange random)
    : width_(std::max(0, width)), height_(std::max(0, height)), random_(std::move(random)) {}

void DanceFigure::setOnChange(std::function<void()> onChange) {
    std::lock_guard lock(mutex_);
    onChange_ = std::move(onChange);
}

void DanceFigure::changed() {
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        notify = onChange_;
    }
    if (notify) notify();
}

void DanceFigure::changeSet(int songType, const std::string& dataFolder) {
    const int set = songType >= 0 && songType < kDanceSets ? songType : 0;
    const std::string folder = joinPath(joinPath(dataFolder, "dance"), danceSet(set).name);
    // The files are read before the lock is taken: a step never waits on the disk.
    std::vector<RgbImage> heads, bodies, legs;
    bool tooManyBodies = false;
    auto load = [&](std::vector<RgbImage>& part, const char* stem, int files, int limit) {
        for (int i = 1; i <= files; ++i) {
            RgbImage image = loadBmp(joinPath(folder, stem + std::to_string(i) + ".bmp"));
            if (image.empty()) continue;
            if (static_cast<int>(part.size()) >= limit) {
                tooManyBodies = tooManyBodies || &part == &bodies;
                continue;
            }
            part.push_back(std::move(image));
        }
    };
    load(heads, "head", 1, kMaxPictures);
    load(bodies, "body", 8, kMaxBodies);
    load(legs, "leg", 4, kMaxPictures);
    {
        std::lock_guard lock(mutex_);
        set_ = set;
        heads_ = std::move(heads);
        bodies_ = std::move(bodies);
        legs_ = std::move(legs);
        // The old dance may name pictures this set lacks.
        dance_.clear();
        step_ = 0;
    }
    if (tooManyBodies) reportMessage("AddBody");
    changed();
}

int DanceFigure::set() const {
    std::lock_guard lock(mutex_);
    return set_;
}

int DanceFigure::headCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(heads_.size());
}

int DanceFigure::bodyCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(bodies_.size());
}

int DanceFigure::legCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(legs_.size());
}

void DanceFigure::setPose(const Pose& pose) {
    {
        std::lock_guard lock(mutex_);
        pose_ = pose;
    }
    changed();
}

Pose DanceFigure::pose() const {
    std::lock_guard lock(mutex_);
    return pose_;
}

void DanceFigure::makeDanceLocked(int n, bool keepAFoot) {
    // A part without pictures stays at index 0, which draws nothing.
    auto draw = [this](const std::vector<RgbImage>& part) {
        const int count = static_cast<int>(part.size());
        return count > 0 ? random_(0, count - 1) : 0;
    };
    dance_.clear();
    for (int i = 0; i < n; ++i) {
        Pose p;
        p.head = draw(heads_);
        p.leftBody = draw(bodies_);
        p.rightBody = draw(bodies_);
        p.leftLeg = draw(legs_);
        p.rightLeg = draw(legs_);
        if (keepAFoot && p.leftLeg != 0 && p.rightLeg != 0) {
            const int foot = random_(1, 3);
            if (foot == 1) p.leftLeg = 0;
            if (foot == 2) p.rightLeg = 0;
        }
        dance_.push_back(p);
    }
    step_ = 0;
}

void DanceFigure::makeDance(int n, bool keepAFoot) {
    const bool tooLong = n > kMaxDance;
    {
        std::lock_guard lock(mutex_);
        makeDanceLocked(std::clamp(n, 0, kMaxDance), keepAFoot);
    }
    if (tooLong) reportMessage("internal error");
}

void DanceFigure::nextStepLocked() {
    if (dance_.empty()) return;
    pose_ = dance_[step_];
    step_ = (step_ + 1) % static_cast<int>(dance_.size());
}

void DanceFigure::nextStep() {
    {
        std::lock_guard lock(mutex_);
        nextStepLocked();
    }
    changed();
}

void DanceFigure::danceStep() {
    {
        std::lock_guard lock(mutex_);
        if (steps_ % kNewDanceEvery == 0 || dance_.empty()) makeDanceLocked(kDanceLength, true);
        nextStepLocked();
        ++steps_;
    }
    changed();
}

void DanceFigure::busyStep() {
    {
        std::lock_guard lock(mutex_);
        pose_ = busyToggle_ ? Pose{0, 0, 0, 0, 1} : kRestPose;
        busyToggle_ = !busyToggle_;
    }
    changed();
}

void DanceFigure::stop() {
    {
        std::lock_guard lock(mutex_);
        pose_ = kRestPose;
        ticker_.clear();
        busyToggle_ = false;
    }
    changed();
}

void DanceFigure::setShowLyrics(bool on) {
    {
        std::lock_guard lock(mutex_);
        showLyrics_ = on;
    }
    changed();
}

void DanceFigure::addLyric(const std::string& cp932) {
    {
        std::lock_guard lock(mutex_);
        const std::size_t capacity = static_cast<std::size_t>(std::max(0, (width_ - 32) / 8));
        std::string text = ticker_ + cp932;
        if (text.size() > capacity) {
            // Drop whole characters from the front: a double-byte character
            // cut in half would garble everything after it.
            const std::size_t excess = text.size() - capacity;
            std::size_t cut = 0;
            while (cut < excess)
                cut += isCp932LeadByte(static_cast<std::uint8_t>(text[cut])) ? 2 : 1;
            text.erase(0, std::min(cut, text.size()));
        }
        ticker_ = std::move(text);
    }
    changed();
}

std::string DanceFigure::ticker() const {
    std::lock_guard lock(mutex_);
    return ticker_;
}

RgbImage DanceFigure::render() const {
    std::lock_guard lock(mutex_);
    RgbImage image;
    image.width = width_;
    image.height = height_;
    image.pixels.assign(static_cast<std::size_t>(width_) * height_, 0);
    const DanceSet& set = danceSet(set_);
    const int centre = width_ / 2;
    if (const RgbImage* head = picture(heads_, pose_.head))
        orInto(image, *head, centre - head->width / 2, set.headTop, false);
    if (const RgbImage* body = picture(bodies_, pose_.leftBody))
        orInto(image, *body, centre - body->width, set.bodyTop, true);
    if (const RgbImage* body = picture(bodies_, pose_.rightBody))
        orInto(image, *body, centre, set.bodyTop, false);
    if (const RgbImage* leg = picture(legs_, pose_.leftLeg))
        orInto(image, *leg, centre - leg->width, set.legsTop, true);
    if (const RgbImage* leg = picture(legs_, pose_.rightLeg)) orInto(image, *leg, centre, set.legsTop, false);
    return image;
}

bool DanceBeat::isBeat(int mode, int channel, int kind, int note, int velocity, long long tick) {
    if (kind != kNoteOn || velocity <= 0) return false;
    bool beat = false;
    if (mode == 1)
        beat = channel == 9 && (note == 35 || note == 36 || note == 38 || note == 40);
    else if (mode == 2)
        beat = channel == 10;
    if (!beat || tick == lastTick_) return false;
    lastTick_ = tick;
    return true;
}

bool DanceBeat::isBeat(int mode, const MusicEvent& event, long long tick) {
    return isBeat(mode, event.channel, event.kind, event.note, event.velocity, tick);
}

} // namespace harmolin
