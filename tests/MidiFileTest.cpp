#include "app/MidiFile.h"

#include "support/MidiFileBytes.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace TarnTest;

namespace
{

MidiFile ParseOk(const Bytes& bytes)
{
    MidiFile file;
    std::string error;
    EXPECT_TRUE(file.Parse(bytes.data(), bytes.size(), error)) << error;
    return file;
}

struct Expected
{
    double seconds;
    std::uint8_t status, data1, data2;
};

void ExpectEvents(const MidiFile& file, const std::vector<Expected>& expected)
{
    ASSERT_EQ(file.Events().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
    {
        const MidiFileEvent& e = file.Events()[i];
        EXPECT_NEAR(e.seconds, expected[i].seconds, 1e-12) << "event " << i;
        EXPECT_EQ(e.status, expected[i].status) << "event " << i;
        EXPECT_EQ(e.data1, expected[i].data1) << "event " << i;
        EXPECT_EQ(e.data2, expected[i].data2) << "event " << i;
    }
}

} // namespace

// Format 0 at the default 120 beats per minute: 96 ticks per quarter = 0.5 s. Running status
// carries through note-ons, a one-byte program change and two-byte channel pressure on
// several channels.
TEST(MidiFileTest, FormatZeroWithRunningStatus)
{
    const Bytes file =
        Cat({Header(0, 1, 96), Track(Cat({{0x00, 0x90, 60, 100},
                                          {0x30, 64, 90},   // running status: note-on
                                          {0x30, 60, 0},    // running status: velocity 0
                                          {0x00, 0xC3, 5},  // program change, one data byte
                                          {0x60, 7},        // running program change
                                          {0x00, 0xD3, 40}, // channel pressure, one data byte
                                          {0x00, 0xEF, 0x00, 0x40},
                                          {0x81, 0x00, 0x7F, 0x7F}, // running bend, delta 128
                                          EndOfTrack()}))});
    const MidiFile midi = ParseOk(file);
    EXPECT_EQ(midi.Format(), 0);
    ExpectEvents(midi, {{0.0, 0x90, 60, 100},
                        {0.25, 0x90, 64, 90},
                        {0.5, 0x90, 60, 0},
                        {0.5, 0xC3, 5, 0},
                        {1.0, 0xC3, 7, 0},
                        {1.0, 0xD3, 40, 0},
                        {1.0, 0xEF, 0x00, 0x40},
                        {1.0 + 128.0 / 96 * 0.5, 0xEF, 0x7F, 0x7F}});
    EXPECT_NEAR(midi.Duration(), 1.0 + 128.0 / 96 * 0.5, 1e-12);
}

// Format 1: the tempo map in the first track and a change in a later track both apply to every
// track; events at the same time keep track order; a tempo change at an event's tick applies
// to that event.
TEST(MidiFileTest, FormatOneTempoMapAcrossTracks)
{
    const Bytes file = Cat(
        {Header(1, 3, 100), Track(Cat({Tempo(0, 1000000), Tempo(100, 250000), EndOfTrack()})),
         Track(Cat({{0x00, 0x91, 60, 1},
                    {0x64, 0x81, 60, 0},
                    {0x64, 0x91, 62, 2},
                    {0x64, 0x81, 62, 0},
                    EndOfTrack()})),
         // Halves the time per tick again from tick 250, and plays at ticks 0 and 300.
         Track(Cat({{0x00, 0x92, 70, 3}, Tempo(250, 125000), {0x32, 0x82, 70, 0}, EndOfTrack()}))});
    const MidiFile midi = ParseOk(file);
    EXPECT_EQ(midi.Format(), 1);
    EXPECT_EQ(midi.NumTracks(), 3);
    // Ticks 0-100: 10 ms each; 100-250: 2.5 ms; from 250: 1.25 ms.
    ExpectEvents(midi, {{0.0, 0x91, 60, 1},
                        {0.0, 0x92, 70, 3},
                        {1.0, 0x81, 60, 0},
                        {1.25, 0x91, 62, 2},
                        {1.4375, 0x81, 62, 0},
                        {1.4375, 0x82, 70, 0}});
}

// Sysex in both forms is delivered as received (F0 with its lead byte, F7 bytes alone); meta
// events other than tempo are skipped; unknown chunks are skipped; nothing after the
// end-of-track event is read.
TEST(MidiFileTest, SysExMetaAndChunksSkipped)
{
    const Bytes file = Cat({Header(1, 2, 96), Chunk("XFIH", {1, 2, 3}),
                            Track(Cat({{0x00, 0xFF, 0x03, 0x04, 'S', 'o', 'n', 'g'}, // track name
                                       {0x00, 0xFF, 0x58, 0x04, 4, 2, 24, 8}, // time signature
                                       {0x00, 0xFF, 0x7F, 0x00},              // sequencer-specific
                                       {0x00, 0xF0, 0x04, 0x7E, 0x7F, 0x09, 0xF7}, // GM reset
                                       {0x60, 0xF7, 0x02, 0x43, 0x12},             // escaped bytes
                                       {0x00, 0xF7, 0x00}, // empty: nothing sent
                                       EndOfTrack(),
                                       {0xF2, 0xFF, 0xFF}})), // never read
                            Track(Cat({{0x00, 0xB0, 64, 127}, EndOfTrack()}))});
    const MidiFile midi = ParseOk(file);
    ASSERT_EQ(midi.Events().size(), 3u);
    const auto bytesOf = [&](const MidiFileEvent& e)
    {
        return Bytes(midi.SysExBytes().begin() + e.sysexOffset,
                     midi.SysExBytes().begin() + e.sysexOffset + e.sysexLength);
    };
    EXPECT_TRUE(midi.Events()[0].IsSysEx());
    EXPECT_EQ(bytesOf(midi.Events()[0]), (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0xF7}));
    EXPECT_EQ(midi.Events()[1].status, 0xB0); // same tick, later track
    EXPECT_TRUE(midi.Events()[2].IsSysEx());
    EXPECT_EQ(bytesOf(midi.Events()[2]), (Bytes{0x43, 0x12}));
    EXPECT_NEAR(midi.Events()[2].seconds, 0.5, 1e-12);
}

// SMPTE time: 25 frames per second of 40 ticks is one millisecond per tick, tempo ignored;
// 29 means 29.97 (drop-frame). A track without an end-of-track event ends with its chunk.
TEST(MidiFileTest, SmpteDivision)
{
    const Bytes file25 = Cat({Header(0, 1, 0xE728), // -25, 40
                              Track(Cat({Tempo(0, 100000), {0x83, 0x60, 0x90, 60, 1}}))});
    ExpectEvents(ParseOk(file25), {{0.48, 0x90, 60, 1}});
    const Bytes file29 =
        Cat({Header(0, 1, 0xE302), Track(Cat({{0x81, 0x00, 0x90, 60, 1}, EndOfTrack()}))});
    ExpectEvents(ParseOk(file29), {{128.0 / (2.0 * 30000.0 / 1001.0), 0x90, 60, 1}});
}

TEST(MidiFileTest, EmptyTrackListIsAnEmptySong)
{
    const MidiFile midi = ParseOk(Cat({Header(1, 0, 96)}));
    EXPECT_TRUE(midi.Events().empty());
    EXPECT_EQ(midi.Duration(), 0.0);
}

// Every malformed file is refused with a message and leaves nothing behind.
TEST(MidiFileTest, MalformedFilesAreRefused)
{
    const Bytes goodTrack = Track(Cat({{0x00, 0x90, 60, 100}, EndOfTrack()}));
    Bytes longHeader = Cat({Header(0, 1, 96), goodTrack});
    longHeader[7] = 200; // header length 200 > file
    Bytes shortTrack = Cat({Header(0, 1, 96), goodTrack});
    shortTrack.resize(shortTrack.size() - 2); // chunk declares more than the file holds
    const struct
    {
        const char* what;
        Bytes bytes;
        const char* message; // a part of the expected message
    } cases[] = {
        {"empty", {}, "no \"MThd\""},
        {"RIFF", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, "no \"MThd\""},
        {"header only", {'M', 'T', 'h', 'd'}, "no \"MThd\""},
        {"header length 0", Cat({{'M', 'T', 'h', 'd', 0, 0, 0, 0}, goodTrack}), "bad header"},
        {"header past the end", longHeader, "truncated header"},
        {"format 2", Cat({Header(2, 1, 96), goodTrack}), "format 2"},
        {"format 7", Cat({Header(7, 1, 96), goodTrack}), "unknown file format 7"},
        {"format 0, two tracks", Cat({Header(0, 2, 96), goodTrack, goodTrack}), "format 0"},
        {"zero division", Cat({Header(0, 1, 0), goodTrack}), "0 ticks"},
        {"SMPTE 26 fps", Cat({Header(0, 1, 0xE628), goodTrack}), "SMPTE"},
        {"SMPTE 0 ticks", Cat({Header(0, 1, 0xE700), goodTrack}), "SMPTE"},
        {"missing track", Cat({Header(1, 2, 96), goodTrack}), "holds 1"},
        {"chunk past the end", shortTrack, "truncated"},
        {"data byte first", Cat({Header(0, 1, 96), Track({0x00, 60, 100})}), "without a status"},
        {"running status after meta",
         Cat({Header(0, 1, 96),
              Track(Cat({{0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0x00, 0x00, 62, 1}}))}),
         "without a status"},
        {"message cut short", Cat({Header(0, 1, 96), Track({0x00, 0x90, 60})}), "inside a message"},
        {"status in data", Cat({Header(0, 1, 96), Track({0x00, 0x90, 60, 0x80})}), "top bit"},
        {"delta without event", Cat({Header(0, 1, 96), Track({0x00, 0x90, 60, 1, 0x10})}),
         "after a delta"},
        {"number cut short", Cat({Header(0, 1, 96), Track({0x81})}), "inside a number"},
        {"5-byte number", Cat({Header(0, 1, 96), Track({0x81, 0x81, 0x81, 0x81, 0x01, 0x90})}),
         "longer than 4"},
        {"meta past the track",
         Cat({Header(0, 1, 96), Track({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'})}),
         "meta event declares"},
        {"meta type missing", Cat({Header(0, 1, 96), Track({0x00, 0xFF})}), "meta event"},
        {"sysex past the track", Cat({Header(0, 1, 96), Track({0x00, 0xF0, 0x10, 0x7E})}),
         "system-exclusive event declares"},
        {"tempo of 2 bytes", Cat({Header(0, 1, 96), Track({0x00, 0xFF, 0x51, 0x02, 1, 2})}),
         "bad tempo"},
        {"tempo 0", Cat({Header(0, 1, 96), Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0})}), "bad tempo"},
        {"system common byte", Cat({Header(0, 1, 96), Track({0x00, 0xF2, 0, 0})}),
         "0xF2 is not allowed"},
        {"real-time byte", Cat({Header(0, 1, 96), Track({0x00, 0xF8})}), "0xF8 is not allowed"},
    };
    for (const auto& c : cases)
    {
        MidiFile midi;
        std::string error;
        EXPECT_FALSE(midi.Parse(c.bytes.data(), c.bytes.size(), error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(midi.Events().empty()) << c.what;
        EXPECT_TRUE(midi.SysExBytes().empty()) << c.what;
    }
}

// The offset in a track's message counts from the start of the file.
TEST(MidiFileTest, MessagesLocateTheFault)
{
    const Bytes file =
        Cat({Header(1, 2, 96), Track(EndOfTrack()), Track({0x00, 0x90, 60, 1, 0x00, 0xF4})});
    MidiFile midi;
    std::string error;
    ASSERT_FALSE(midi.Parse(file.data(), file.size(), error));
    EXPECT_EQ(error, "track 2, byte 39: status byte 0xF4 is not allowed in a MIDI file");
}

TEST(MidiFileTest, LoadReportsMissingAndOversizedFiles)
{
    MidiFile midi;
    std::string error;
    EXPECT_FALSE(midi.Load("/nonexistent/velluna/song.mid", error));
    EXPECT_EQ(error, "No such file or directory");

    const std::string path = testing::TempDir() + "velluna-oversized.mid";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const Bytes head = Cat({Header(0, 1, 96)});
    std::fwrite(head.data(), 1, head.size(), f);
    std::fseek(f, static_cast<long>(MidiFile::kMaxFileBytes), SEEK_SET);
    std::fputc(0, f);
    std::fclose(f);
    EXPECT_FALSE(midi.Load(path, error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    std::remove(path.c_str());
}
