// The MIDI output wrapper: what reaches the port byte for byte, how devices
// are opened and closed, and what is reported when they cannot be.
#include "base/ErrorCodes.h"
#include "playback/MidiOutput.h"
#include "playback/RtMidiPort.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <mutex>

namespace harmolin {
namespace {

using test::CollectReports;
using Bytes = std::vector<std::uint8_t>;

// What the ports of one test saw.
struct Wire {
    std::vector<Bytes> messages;
    std::vector<int> opened; // device numbers asked for, in order
    int resets = 0;
    int closed = 0;
    bool resetFails = false;
};

class RecordingPort final : public MidiOutPort {
  public:
    RecordingPort(Wire& wire, int number) : wire_(wire), number_(number) {}
    ~RecordingPort() override { ++wire_.closed; }
    std::string name() const override { return "port " + std::to_string(number_); }
    void shortMessage(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) override {
        Bytes b = {status, d1, d2};
        b.resize(static_cast<std::size_t>(shortMessageLength(status)));
        wire_.messages.push_back(b);
    }
    bool longMessage(const std::uint8_t* bytes, int length) override {
        wire_.messages.emplace_back(bytes, bytes + length);
        return true;
    }
    bool reset() override {
        ++wire_.resets;
        return !wire_.resetFails;
    }

  private:
    Wire& wire_;
    int number_;
};

class MidiOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MidiControler::resetOpenFailureNotice();
        setMidiPortOpener([this](int number, std::string& error) -> std::unique_ptr<MidiOutPort> {
            wire.opened.push_back(number);
            for (int n : working)
                if (n == number) return std::make_unique<RecordingPort>(wire, number);
            error = "device " + std::to_string(number) + " is missing";
            return nullptr;
        });
    }
    void TearDown() override {
        setMidiPortOpener({});
        MidiControler::resetOpenFailureNotice();
    }

    Wire wire;
    std::vector<int> working = {-1, 0};
};

TEST_F(MidiOutputTest, ShortMessagesGoOutAsChannelBytes) {
    MidiControler device;
    ASSERT_TRUE(device.open(-1));
    EXPECT_EQ(device.deviceName(), "port -1");
    device.noteOn(2, 60, 100);
    device.noteOn(2, 61, 200);  // bit 7 set: loudest, not 200 & 0x7F
    device.noteOn(2, 62, 0x80); // bit 7 alone is loudest too
    device.noteOff(17, 60);     // channel wraps to its nibble
    device.programChange(9, 25);
    device.shortMessage(0xB3, 7, 0x1FF);
    device.shortMessage(0xE0, 0x00, 0x40);
    const std::vector<Bytes> expected = {{0x92, 60, 100}, {0x92, 61, 127}, {0x92, 62, 127},   {0x81, 60, 0},
                                         {0xC9, 25},      {0xB3, 7, 0x7F}, {0xE0, 0x00, 0x40}};
    EXPECT_EQ(wire.messages, expected);
}

TEST_F(MidiOutputTest, LongMessagesDropTheStoredLength) {
    MidiControler device;
    ASSERT_TRUE(device.open(-1));
    device.gmSystemOn();
    const Bytes stored = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    device.longMessage(static_cast<int>(stored.size()), stored.data());
    // An escape goes out exactly as stored.
    const Bytes escape = {0xF7, 0x02, 0xF3, 0x01};
    device.longMessage(static_cast<int>(escape.size()), escape.data());
    // Damaged: a length with nothing after it sends nothing.
    const Bytes cut = {0xF0, 0x85};
    device.longMessage(static_cast<int>(cut.size()), cut.data());
    device.longMessage(0, stored.data());
    ASSERT_EQ(wire.messages.size(), 3u);
    EXPECT_EQ(wire.messages[0], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(wire.messages[1], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(wire.messages[2], escape);
}

TEST_F(MidiOutputTest, LongMessagesFitTheBufferOrAreRefusedWhole) {
    CollectReports reports;
    MidiControler device;
    ASSERT_TRUE(device.open(-1));
    // 254 data bytes: F0 + data + F7 is exactly 256 bytes on the wire; the
    // stored length 255 takes two bytes.
    auto stored = [](int dataBytes) {
        const int body = dataBytes + 1;
        Bytes b = {0xF0};
        if (body >= 128) b.push_back(static_cast<std::uint8_t>(0x80 | (body >> 7)));
        b.push_back(static_cast<std::uint8_t>(body & 0x7F));
        for (int i = 0; i < dataBytes; ++i)
            b.push_back(static_cast<std::uint8_t>(i & 0x7F));
        b.push_back(0xF7);
        return b;
    };
    const Bytes fits = stored(254);
    device.longMessage(static_cast<int>(fits.size()), fits.data());
    ASSERT_EQ(wire.messages.size(), 1u);
    EXPECT_EQ(wire.messages[0].size(), 256u);
    EXPECT_EQ(wire.messages[0].front(), 0xF0);
    EXPECT_EQ(wire.messages[0][1], 0x00);
    EXPECT_EQ(wire.messages[0].back(), 0xF7);
    EXPECT_TRUE(reports.lines.empty());

    const Bytes tooLong = stored(255);
    device.longMessage(static_cast<int>(tooLong.size()), tooLong.data());
    const Bytes escape(300, 0xF7);
    device.longMessage(static_cast<int>(escape.size()), escape.data());
    EXPECT_EQ(wire.messages.size(), 1u);
    EXPECT_TRUE(reports.saw("MDCT07000004 Can not send system exclusive with midi device!"));
}

TEST_F(MidiOutputTest, SynthesizerFailureFallsBackToDeviceZero) {
    working = {0};
    MidiControler device;
    EXPECT_TRUE(device.open(-1));
    EXPECT_EQ(wire.opened, (std::vector<int>{-1, 0}));
    EXPECT_EQ(device.deviceName(), "port 0");
}

TEST_F(MidiOutputTest, NoDeviceAtAllIsShownOncePerProcess) {
    working = {};
    CollectReports reports;
    MidiControler device;
    EXPECT_FALSE(device.open(-1));
    EXPECT_FALSE(device.isOpen());
    EXPECT_TRUE(reports.saw("MDCT07000001 Can not open Midi device!"));
    reports.lines.clear();
    EXPECT_FALSE(device.open(-1));
    EXPECT_TRUE(reports.lines.empty());
    // Without a device even a program change has nowhere to go.
    device.programChange(0, 1);
    device.noteOn(0, 60, 100); // ignored silently
    EXPECT_TRUE(reports.saw("MDCT07000003 Can not change tone with Midi device!"));
    EXPECT_EQ(reports.lines.size(), 1u);

    MidiControler::resetOpenFailureNotice();
    reports.lines.clear();
    EXPECT_FALSE(device.open(-1));
    EXPECT_TRUE(reports.sawCode(errc::kDeviceCannotOpen));
}

TEST_F(MidiOutputTest, AMissingChosenPortIsShownEveryTime) {
    CollectReports reports;
    MidiControler device;
    EXPECT_FALSE(device.open(3));
    EXPECT_FALSE(device.open(3));
    int shown = 0;
    for (const auto& line : reports.lines)
        shown += line.code == errc::kDeviceCannotOpen ? 1 : 0;
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(wire.opened, (std::vector<int>{3, 3})); // no fallback for a chosen port
}

TEST_F(MidiOutputTest, CloseResetsThenClosesAndReportsAFailedReset) {
    CollectReports reports;
    {
        MidiControler device;
        device.close(); // not open: nothing
        EXPECT_EQ(wire.resets, 0);
        ASSERT_TRUE(device.open(-1));
        device.close();
        EXPECT_EQ(wire.resets, 1);
        EXPECT_EQ(wire.closed, 1);
        EXPECT_FALSE(device.isOpen());
        EXPECT_TRUE(reports.lines.empty());

        wire.resetFails = true;
        ASSERT_TRUE(device.open(-1));
        // Reopening closes the first port; the destructor closes the second.
    }
    EXPECT_EQ(wire.closed, 2);
    EXPECT_TRUE(reports.saw("MDCT07000002 Can not close Midi device!"));
}

TEST(SequencerPorts, MissingSequencerIsAnErrorNotACrash) {
    std::string error;
    const auto ports = sequencerOutputPorts(&error);
    const auto listed = midiOutputDevices();
    EXPECT_EQ(listed, ports);
    if (ports.empty()) {
        std::string why;
        EXPECT_EQ(openSequencerPort(0, why), nullptr);
        EXPECT_FALSE(why.empty());
    }
    std::string why;
    EXPECT_EQ(openSequencerPort(static_cast<int>(ports.size()) + 100, why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(openSequencerPort(-5, why), nullptr);
}

TEST(SequencerPorts, MessageLengthsFollowTheStatus) {
    EXPECT_EQ(shortMessageLength(0x90), 3);
    EXPECT_EQ(shortMessageLength(0xB5), 3);
    EXPECT_EQ(shortMessageLength(0xC3), 2);
    EXPECT_EQ(shortMessageLength(0xDF), 2);
    EXPECT_EQ(shortMessageLength(0xE0), 3);
    EXPECT_EQ(shortMessageLength(0xF2), 3);
    EXPECT_EQ(shortMessageLength(0xF3), 2);
    EXPECT_EQ(shortMessageLength(0xF8), 1);
}

} // namespace
} // namespace harmolin
