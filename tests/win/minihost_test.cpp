// minihost as users run it: a separate process, PNG files in and out, and one
// clear error line with a non-zero status for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "minihost/png_io.h"
#include "plugin/kernel_params.h"
#include "render/convolver.h"
#include "tests/win/support/win_support.h"

namespace {

struct Outcome {
    DWORD status;
    std::string err, out;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs minihost with the arguments, collecting stdout and stderr. Each run
// gets files of its own: a helper process Wine starts beside a console
// program (its console host) can inherit the handles and hold them a moment
// after the program has ended, and a file shared for reading only could then
// not be made afresh, leaving the last run's text to be read.
Outcome Minihost(const std::string& args, const std::string& dir) {
    static int run = 0;
    ++run;
    const std::string out = dir + "\\stdout" + std::to_string(run) + ".txt";
    const std::string err = dir + "\\stderr" + std::to_string(run) + ".txt";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE hOut = CreateFileA(out.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, 0, nullptr);
    HANDLE hErr = CreateFileA(err.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, 0, nullptr);
    if (hOut == INVALID_HANDLE_VALUE || hErr == INVALID_HANDLE_VALUE) {
        if (hOut != INVALID_HANDLE_VALUE) CloseHandle(hOut);
        if (hErr != INVALID_HANDLE_VALUE) CloseHandle(hErr);
        return {999, "cannot create " + err, ""};
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOut;
    si.hStdError = hErr;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + BinDir() + "\\minihost.exe\" " + args;
    DWORD status = 999;
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(hOut);
    CloseHandle(hErr);
    return {status, ReadAll(err), ReadAll(out)};
}

// A PNG whose header claims width x height but which holds no pixels.
std::string HollowPng(uint32_t width, uint32_t height) {
    auto be32 = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    const std::string ihdr = "IHDR" + be32(width) + be32(height) + std::string{8, 2, 0, 0, 0};
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.data()), uInt(ihdr.size()));
    return std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + ihdr + be32(uint32_t(crc)) + be32(0) + "IEND" +
           be32(0xAE426082u);
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

class MinihostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir = std::string(temp) + "vlm_minihost_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    std::string P(const char* name) const { return dir + "\\" + name; }
    Outcome Host(const std::string& args) { return Minihost(args, dir); }

    void WriteConfig(const char* name, const KernelParams& p) {
        std::ofstream(P(name), std::ios::binary).write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    std::string dir;
};

TEST_F(MinihostTest, SixteenBitFramesPassThroughExactly) {
    std::string error;
    ASSERT_TRUE(WritePng8(P("gray.png"), 2, 2, 1, {1, 2, 3, 4}, &error)) << error;
    // An identity configuration leaves every pixel: the output shows the scaling.
    KernelParams p = DefaultParams();
    p.kernel.weights[40] = 1;
    WriteConfig("identity.cfg", p);
    std::vector<uint16_t> rgba16(2 * 2 * 4);
    std::mt19937 rng(1);
    for (auto& v : rgba16) v = uint16_t(rng());
    ASSERT_TRUE(WritePng16(P("in16.png"), 2, 2, 4, rgba16.data(), &error)) << error;
    Outcome r = Host("render \"" + P("in16.png") + "\" \"" + P("out16.png") + "\" --config \"" + P("identity.cfg") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    PngImage out;
    ASSERT_TRUE(ReadPng(P("out16.png"), &out, &error)) << error;
    EXPECT_EQ(out.bitDepth, 16);
    EXPECT_EQ(out.channels, 4);
    EXPECT_EQ(out.samples, rgba16);

    // 8-bit samples become 16-bit by 257 (255 is 65535); no alpha means opaque.
    const std::vector<uint8_t> rgb8 = {0, 1, 2, 127, 128, 255, 254, 3, 200, 10, 20, 30};
    ASSERT_TRUE(WritePng8(P("in8.png"), 2, 2, 3, rgb8, &error)) << error;
    r = Host("render \"" + P("in8.png") + "\" \"" + P("out8.png") + "\" --config \"" + P("identity.cfg") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    ASSERT_TRUE(ReadPng(P("out8.png"), &out, &error)) << error;
    ASSERT_EQ(out.samples.size(), 16u);
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out.samples[4 * i + c], rgb8[3 * i + c] * 257) << i;
        EXPECT_EQ(out.samples[4 * i + 3], 65535);
    }

    // The gray 8-bit file is not a frame.
    r = Host("render \"" + P("gray.png") + "\" \"" + P("x.png") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
}

TEST_F(MinihostTest, SelectsByObjectIdsAndStopsWhenAsked) {
    const uint32_t w = 8, h = 6;
    std::vector<uint16_t> frame(w * h * 4), ids(w * h);
    std::mt19937 rng(2);
    for (auto& v : frame) v = uint16_t(rng() % 60000);
    for (uint32_t i = 0; i < w * h; ++i) ids[i] = i % 3 == 0 ? 2 : 9;
    std::string error;
    ASSERT_TRUE(WritePng16(P("frame.png"), w, h, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("ids.png"), w, h, 1, ids.data(), &error));
    Outcome r = Host("config \"" + P("inv.cfg") + "\" --row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 "
                 "--source object --object-id 2 --name Negative");
    ASSERT_EQ(r.status, 0u) << r.err;
    r = Host("render \"" + P("frame.png") + "\" \"" + P("out.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    PngImage out;
    ASSERT_TRUE(ReadPng(P("out.png"), &out, &error));
    for (uint32_t i = 0; i < w * h; ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(out.samples[4 * i + c], ids[i] == 2 && c < 3 ? 65535 : frame[4 * i + c]) << i << "," << c;

    r = Host("render \"" + P("frame.png") + "\" \"" + P("stop.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\" --abort-at-line 3");
    EXPECT_EQ(r.status, 4u);
    ASSERT_TRUE(ReadPng(P("stop.png"), &out, &error));
    for (uint32_t i = 0; i < w * h; ++i) {
        const bool filtered = ids[i] == 2 && i / w < 3;
        EXPECT_EQ(out.samples[4 * i], filtered ? 65535 : frame[4 * i]) << i;
    }
}

// --time names the path and instruction set of the render: what this
// processor runs for the configuration, or none when nothing is convolved.
TEST_F(MinihostTest, TimeNamesThePathTheRenderTakes) {
    std::string error;
    std::vector<uint16_t> frame(20 * 9 * 4, 30000), ids(20 * 9, 1);
    ASSERT_TRUE(WritePng16(P("t.png"), 20, 9, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("t_ids.png"), 20, 9, 1, ids.data(), &error)) << error;
    const std::string best = SimdName(BestSimdLevel());
    struct Case {
        const char* config;
        const char* extra;
        std::string path;
    };
    const Case cases[] = {
        {"--row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\"", "", std::string("planar, ") + best},
        {"--row \"1 2 3 4 3 2 1\" --row \"2 4 6 8 6 4 2\" --row \"3 6 9 12 9 6 3\" --row \"4 8 12 16 12 8 4\" --row \"3 6 9 12 9 6 3\" --row \"2 4 6 8 6 4 2\" --row \"1 2 3 4 3 2 1\" --divide 256",
         "", std::string("separable, ") + best},
        {"--row \"100000 0 0\" --row \"0 100000 0\" --row \"0 0 100000\" --divide 300000", "",
         std::string("double, ") + best},
        {"--row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\" --source object --object-id 1", "",
         "none (nothing to convolve)"},
        {"--row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\" --source object --object-id 1",
         " --object-ids \"t_ids.png\"", std::string("planar, ") + best},
    };
    for (const Case& c : cases) {
        Outcome r = Host("config \"" + P("t.cfg") + "\" " + c.config);
        ASSERT_EQ(r.status, 0u) << r.err;
        std::string extra = c.extra;
        const size_t at = extra.find("t_ids.png");
        if (at != std::string::npos) extra.replace(at, 9, P("t_ids.png"));
        r = Host("render \"" + P("t.png") + "\" \"" + P("t_out.png") + "\" --config \"" + P("t.cfg") + "\" --time" + extra);
        ASSERT_EQ(r.status, 0u) << r.err;
        r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());  // text-mode stdout
        EXPECT_NE(r.out.find("render-ms "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("render-path " + c.path + "\n"), std::string::npos) << c.config << ": " << r.out;
    }
    // Without --time nothing is printed.
    const Outcome quiet = Host("render \"" + P("t.png") + "\" \"" + P("t_out.png") + "\" --config \"" + P("t.cfg") + "\"");
    EXPECT_EQ(quiet.out, "");
}

TEST_F(MinihostTest, ConfigWritesTheRecordTheDialogWould) {
    Outcome r = Host("config \"" + P("sharp.cfg") + "\" --row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\" "
                 "--source material --material-id 3 --divide 1 --offset 7 --name Sharpen");
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string bytes = ReadAll(P("sharp.cfg"));
    ASSERT_EQ(bytes.size(), 612u);
    KernelParams p;
    std::memcpy(&p, bytes.data(), sizeof p);
    EXPECT_EQ(p.stamp, 0x33A25539u);
    EXPECT_EQ(p.source, 1010);
    EXPECT_EQ(p.materialId, 3);
    EXPECT_EQ(p.kernel.kernelSize, 3);
    EXPECT_EQ(p.kernel.weights[9 * 4 + 4], 5);
    EXPECT_EQ(p.kernel.weights[9 * 3 + 4], -1);
    EXPECT_EQ(p.kernel.weights[9 * 4 + 3], -1);
    EXPECT_EQ(p.kernel.weights[0], 0);
    EXPECT_EQ(p.kernel.offset, 7);
    EXPECT_STREQ(p.name, "Sharpen");

    // A 5-row kernel whose outer ring is empty is a 3 x 3 kernel.
    r = Host("config \"" + P("five.cfg") + "\" --row \"0 0 0 0 0\" --row \"0 0 1 0 0\" --row \"0 1 1 1 0\" "
             "--row \"0 0 1 0 0\" --row \"0 0 0 0 0\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    std::memcpy(&p, ReadAll(P("five.cfg")).data(), sizeof p);
    EXPECT_EQ(p.kernel.kernelSize, 3);

    for (const char* bad : {"--row \"1 2\" --row \"1 2\"", "--row \"1 2 3\" --row \"1 2\" --row \"1 2 3\"",
                            "--divide 1x", "--divide 99999999999", "--source sky", "--bogus 1"}) {
        r = Host("config \"" + P("bad.cfg") + "\" " + bad);
        EXPECT_EQ(r.status, 2u) << bad;
        EXPECT_EQ(Lines(r.err), 1) << bad << ": " << r.err;
    }
}

TEST_F(MinihostTest, BadInputGivesOneErrorLine) {
    std::string error;
    std::vector<uint16_t> frame(4 * 4 * 4, 1000), ids(3 * 4, 2);
    ASSERT_TRUE(WritePng16(P("f.png"), 4, 4, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("small_ids.png"), 3, 4, 1, ids.data(), &error));
    std::ofstream(P("junk.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n this is no PNG at all";
    std::ofstream(P("huge.png"), std::ios::binary) << HollowPng(65535, 65535);
    std::ofstream(P("short.cfg"), std::ios::binary) << std::string(611, '\0');
    KernelParams stranger = DefaultParams();
    stranger.stamp = 0x12345678;
    WriteConfig("stranger.cfg", stranger);
    KernelParams objects = DefaultParams();
    objects.source = kSourceObject;
    WriteConfig("objects.cfg", objects);

    const std::string out = " \"" + P("o.png") + "\"";
    const std::string cases[] = {
        "render \"" + P("missing.png") + "\"" + out,
        "render \"" + P("junk.png") + "\"" + out,
        "render \"" + P("huge.png") + "\"" + out,
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("short.cfg") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("stranger.cfg") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("objects.cfg") + "\" --object-ids \"" +
            P("small_ids.png") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --material-ids \"" + P("f.png") + "\"",
        "render \"" + P("f.png") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --abort-at-line",
        "frobnicate",
        "--plugin \"" + P("nothing.flt") + "\" info",
    };
    for (const std::string& c : cases) {
        const Outcome r = Host(c);
        EXPECT_EQ(r.status, 2u) << c;
        EXPECT_EQ(Lines(r.err), 1) << c << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("minihost: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(GetFileAttributesA(P("o.png").c_str()), INVALID_FILE_ATTRIBUTES) << "no output for bad input";
}

TEST_F(MinihostTest, InfoPrintsTheAnswers) {
    const Outcome r = Host("info");
    ASSERT_EQ(r.status, 0u) << r.err;
    for (const char* line : {"version: 0x07D00500", "classes: 1", "class name: Velmora Filter", "kind code: 0x0E00",
                             "class id: 0x33A25539 0x39933116", "category: Image Filter",
                             "filter version: 0x33A25539", "filter capabilities: 6", "configuration size: 612"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

}  // namespace
