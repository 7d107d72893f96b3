// The render command as scripts use it: exit statuses, the WAV it writes, what it prints and
// what it leaves behind when it fails.
#include "app/RenderProgress.h"

#include "support/MidiFileBytes.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace TarnTest;
namespace fs = std::filesystem;

extern char** environ;

namespace
{

struct Result
{
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class VellunaRenderCliTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::path(testing::TempDir()) /
                ("velluna-render-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        ::umask(022);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Starts velluna render with args, standard output and error going to files.
    pid_t Start(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{VELLUNA_CLI, "render"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (m_dir / "stdout.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (m_dir / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    Result Wait(pid_t pid)
    {
        Result r;
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadFile(m_dir / "stdout.txt");
        r.err = ReadFile(m_dir / "stderr.txt");
        fs::remove(m_dir / "stdout.txt");
        fs::remove(m_dir / "stderr.txt");
        return r;
    }

    Result Render(const std::vector<std::string>& args) { return Wait(Start(args)); }

    // Names in the test folder, so a stray temporary file shows up.
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string Path(const char* name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

// Two tracks at 120 then 240 beats per minute: notes on two channels, a sysex, a controller.
// The last event is at tick 480: 0.5 s + 480 − 96 ticks at 0.25 s per 96 = 1.5 s.
Bytes SmallSong()
{
    return Cat({Header(1, 2, 96), Track(Cat({Tempo(96, 250000), EndOfTrack()})),
                Track(Cat({{0x00, 0x90, 60, 100, 0x00, 64, 90, 0x00, 0x91, 67, 80},
                           {0x30, 0xF0, 0x03, 0x7E, 0x01, 0xF7},
                           {0x30, 0xB0, 64, 127},
                           {0x83, 0x00, 0x80, 60, 0, 0x00, 0x81, 67, 0, 0x00, 0x80, 64, 0},
                           EndOfTrack()}))});
}

struct WavInfo
{
    SF_INFO info{};
    std::vector<float> samples;
};

bool ReadWav(const std::string& path, WavInfo& out)
{
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &out.info);
    if (!f)
        return false;
    out.samples.resize(static_cast<std::size_t>(out.info.frames * out.info.channels));
    sf_readf_float(f, out.samples.data(), out.info.frames);
    sf_close(f);
    return true;
}

// Decimal text with exactly the given number of digits after the point.
bool IsDecimal(const std::string& text, std::size_t decimals)
{
    const auto point = text.find('.');
    if (point == std::string::npos || point == 0 || text.size() - point - 1 != decimals)
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
           std::count(text.begin(), text.end(), '.') == 1;
}

// The summary line, alone on standard error: "velluna render: rendered F frames (A s of audio)
// in W s: Xx real time". Gives the frames and the audio seconds as printed.
bool ParseSummary(const std::string& err, std::string& frames, std::string& audio)
{
    char f[32], a[32], w[32], x[32];
    int end = 0;
    if (std::sscanf(err.c_str(),
                    "velluna render: rendered %31[0-9] frames (%31[0-9.] s of audio) in "
                    "%31[0-9.] s: %31[0-9.]x real time\n%n",
                    f, a, w, x, &end) != 4 ||
        static_cast<std::size_t>(end) != err.size())
        return false;
    frames = f;
    audio = a;
    return IsDecimal(a, 3) && IsDecimal(w, 3) && IsDecimal(x, 1);
}

} // namespace

TEST(RenderProgressTest, SummaryLine)
{
    EXPECT_EQ(RenderProgress::SummaryLine(96000, 48000.0, 0.5),
              "rendered 96000 frames (2.000 s of audio) in 0.500 s: 4.0x real time");
    EXPECT_EQ(RenderProgress::SummaryLine(0, 44100.0, 0.0),
              "rendered 0 frames (0.000 s of audio) in 0.000 s: 0.0x real time");
}

// A file renders to a plain 32-bit float stereo WAV of the last event's frame plus the tail,
// with one summary line on standard error (no bar: it is not a terminal) and nothing on
// standard output.
TEST_F(VellunaRenderCliTest, RendersAMidiFileToWav)
{
    WriteFile(Path("song.mid"), ToString(SmallSong()));
    const Result r = Render({Path("song.mid"), Path("song.wav"), "--rate", "44100", "--tail", "0.5",
                             "--block=100", "--set", "Attack=0.01"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    std::string frames, audio;
    ASSERT_TRUE(ParseSummary(r.err, frames, audio)) << r.err;
    const std::uint64_t expectedFrames = 66150 + 22050; // 1.5 s and 0.5 s at 44.1 kHz
    EXPECT_EQ(frames, std::to_string(expectedFrames));
    EXPECT_EQ(audio, "2.000");

    WavInfo wav;
    ASSERT_TRUE(ReadWav(Path("song.wav"), wav));
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(wav.info.channels, 2);
    EXPECT_EQ(wav.info.samplerate, 44100);
    EXPECT_EQ(static_cast<std::uint64_t>(wav.info.frames), expectedFrames);
    // The usual permissions for the umask, not the temporary file's private ones.
    EXPECT_EQ(fs::status(Path("song.wav")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"song.mid", "song.wav"}));
}

TEST_F(VellunaRenderCliTest, DemoRendersItsPiece)
{
    const Result r = Render({"--demo", Path("demo.wav"), "--tail", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string frames, audio;
    ASSERT_TRUE(ParseSummary(r.err, frames, audio)) << r.err;
    WavInfo wav;
    ASSERT_TRUE(ReadWav(Path("demo.wav"), wav));
    EXPECT_EQ(wav.info.samplerate, 48000);
    const double seconds = static_cast<double>(wav.info.frames) / 48000.0;
    EXPECT_GE(seconds, 20.0);
    EXPECT_LE(seconds, 31.0);
    for (float v : wav.samples)
        ASSERT_TRUE(std::isfinite(v));
}

// A missing or corrupt MIDI file exits with 2 and a message naming the file; an existing
// output file is left as it was and no temporary file remains.
TEST_F(VellunaRenderCliTest, BadMidiFilesExitWithTwo)
{
    WriteFile(Path("out.wav"), "keep");
    Bytes truncated = SmallSong();
    truncated.resize(truncated.size() - 5);
    WriteFile(Path("truncated.mid"), ToString(truncated));
    WriteFile(Path("text.mid"), "hello, this is not MIDI\n");
    // One quarter note per tick at the slowest tempo (16.8 s): the note ends after 28 hours.
    WriteFile(Path("long.mid"), ToString(Cat({Header(0, 1, 1), Track(Cat({Tempo(0, 0xFFFFFF),
                                                                          {0x00, 0x90, 60, 100},
                                                                          Vlq(6000),
                                                                          {0x80, 60, 0},
                                                                          EndOfTrack()}))})));
    const struct
    {
        const char* input;
        const char* message;
    } cases[] = {
        {"missing.mid", "missing.mid: No such file or directory"},
        {"truncated.mid", "truncated.mid: truncated: chunk at byte"},
        {"text.mid", "text.mid: not a Standard MIDI File"},
        {"long.mid", "long.mid: the render would last 28 hours; the limit is 24"},
    };
    for (const auto& c : cases)
    {
        const Result r = Render({Path(c.input), Path("out.wav")});
        EXPECT_EQ(r.status, 2) << c.input;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(Path("out.wav")), "keep");
    }
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"long.mid", "out.wav", "text.mid", "truncated.mid"}));
}

TEST_F(VellunaRenderCliTest, BadOptionsExitWithTwo)
{
    WriteFile(Path("song.mid"), ToString(SmallSong()));
    const std::string in = Path("song.mid"), out = Path("out.wav");
    const std::vector<std::vector<std::string>> cases = {
        {in},
        {in, out, "extra"},
        {"--demo", in, out},
        {in, out, "--rate", "0"},
        {in, out, "--rate", "44100.5"},
        {in, out, "--rate"},
        {in, out, "--block", "0"},
        {in, out, "--block", "12x"},
        {in, out, "--tail", "-1"},
        {in, out, "--tail", "nan"},
        {in, out, "--loud"},
        {in, out, "--set", "No Such Parameter=1"},
        {in, out, "--set", "Attack"},
    };
    for (const auto& args : cases)
    {
        const Result r = Render(args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("velluna render: "), std::string::npos);
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"song.mid"}));
}

// A render stopped by a signal, or one whose folder does not exist, leaves no file behind and
// does not touch an existing one.
TEST_F(VellunaRenderCliTest, FailedRenderLeavesNoFile)
{
    WriteFile(Path("song.mid"), ToString(SmallSong()));
    WriteFile(Path("out.wav"), "keep");
    const pid_t pid = Start({Path("song.mid"), Path("out.wav"), "--tail", "3600"});
    // Wait until the temporary file exists, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Listing().size() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, SIGTERM);
    const Result r = Wait(pid);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("interrupted; \"" + Path("out.wav") + "\" was not written"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(Path("out.wav")), "keep");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"out.wav", "song.mid"}));

    const Result noFolder = Render({Path("song.mid"), Path("nowhere/out.wav")});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_NE(noFolder.err.find("cannot create a file"), std::string::npos) << noFolder.err;
    const Result folder = Render({Path("song.mid"), m_dir.string()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
    EXPECT_EQ(Listing(), (std::vector<std::string>{"out.wav", "song.mid"}));
}

// The input as output is refused; a link is written through; a device is written in place; a
// killed render's hidden temporary file goes at the next render to the same file.
TEST_F(VellunaRenderCliTest, OutputsAreNeverTheInputNorAReplacedLinkOrDevice)
{
    const std::string song = ToString(SmallSong());
    WriteFile(Path("song.mid"), song);
    ASSERT_EQ(::symlink("song.mid", Path("alias.mid").c_str()), 0);
    Result r = Render({Path("song.mid"), Path("alias.mid")});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("is also an input"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(Path("song.mid")), song);

    WriteFile(Path("real.wav"), "old");
    ASSERT_EQ(::symlink("real.wav", Path("link.wav").c_str()), 0);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = ".real.wav.tmp." + std::to_string(child);
    WriteFile(Path(stale.c_str()), "half a render");
    r = Render({Path("song.mid"), Path("link.wav")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(Path("link.wav")));
    EXPECT_EQ(ReadFile(Path("real.wav")).substr(0, 4), "RIFF");
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"alias.mid", "link.wav", "real.wav", "song.mid"}));

    r = Render({Path("song.mid"), "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
