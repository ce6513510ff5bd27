// minihost against hostile paths: spellings of any length, names Windows
// trims, names in any language and names like its own temporaries. Every
// run either does what it was asked or says why in one line, and no input is
// ever changed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "minihost/files/temp_file.h"
#include "minihost/formats/png_io.h"
#include "params/kernel_params.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], int(out.size()))));
    return out;
}

std::string Narrow(const std::wstring& text, UINT codePage = CP_UTF8) {
    std::string out(text.size() * 4, '\0');
    out.resize(size_t(WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], int(out.size()),
                                          nullptr, nullptr)));
    return out;
}

// The test's own file access: the full, clean path it built, prefixed, so
// that no length or name limits what it sees, and none of minihost's code.
std::wstring Literal(const std::string& fullPath) { return L"\\\\?\\" + Wide(fullPath); }

bool Exists(const std::string& path) { return GetFileAttributesW(Literal(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeDir(const std::string& path) { CreateDirectoryW(Literal(path).c_str(), nullptr); }

bool Put(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(Literal(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr) &&
                    n == bytes.size();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return ok;
}

std::string Get(const std::string& path) {
    HANDLE h = CreateFileW(Literal(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    if (h == INVALID_HANDLE_VALUE) return "(missing)";
    char buffer[65536];
    DWORD n;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    CloseHandle(h);
    return bytes;
}

// Every file under dir (relative names).
void Walk(const std::string& dir, const std::string& relative, std::vector<std::string>* files) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((Literal(dir) + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = Narrow(found.cFileName);
        if (name == "." || name == "..") continue;
        const std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(path, relative + name + "\\", files);
        else files->push_back(relative + name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

std::vector<std::string> FilesUnder(const std::string& dir) {
    std::vector<std::string> files;
    Walk(dir, "", &files);
    return files;
}

MinihostOutcome RunMinihost(const std::string& args) {
    ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + args);
    const DWORD status = child.Finish();
    return {status, child.Err(), child.Out()};
}

std::string Q(const std::string& path) { return "\"" + path + "\""; }

// A Unix symbolic link, which Wine's CreateSymbolicLinkW does not make: ln,
// run as Wine runs a Unix program, on the paths Wine maps these to.
bool UnixSymlink(const std::string& target, const std::string& link) {
    if (!RunUnix("/bin/ln", {"-s", UnixName(target), UnixName(link)})) return false;
    // Wine's handle of a Unix process may signal before the process ends:
    // the link is waited for itself.
    for (int waited = 0; waited < 1000 && Get(link) != Get(target); ++waited) Sleep(10);
    return Get(link) == Get(target);
}

class MinihostPaths : public ::testing::Test {
protected:
    // A small frame whose samples all hold value: frames differ by value.
    std::string Frame(uint16_t value) {
        const std::vector<uint16_t> samples(6 * 4 * 4, value);
        std::string error;
        return WritePng16(temp.File("frame.png"), 6, 4, 4, samples.data(), &error) ? ReadBytes(temp.File("frame.png"))
                                                                                  : error;
    }
    TempDir temp{"paths"};
    // A folder of our own under the temp folder, in ASCII, so that each row's
    // own name is what it tries.
    std::string root = temp.File("room");
    std::string P(const std::string& relative) const { return root + "\\" + relative; }
};

// The table of hostile paths. Each row runs minihost once, then every input
// is read back byte for byte, and no temporary of minihost's may be left.
TEST_F(MinihostPaths, NoSpellingLosesAFile) {
    MakeDir(root);
    KernelParams p = DefaultParams();
    p.kernel.kernelSize = 3;
    p.kernel.weights[4 * kGridSide + 4] = 2;
    const std::string config(reinterpret_cast<const char*>(&p), sizeof p);
    const std::string wide = "\xe5\x9b\xbe";  // a character no Western code page holds
    // Names a temporary of minihost's has, of a process long gone or of
    // another machine's live run on a shared folder: none is minihost's to
    // remove, whatever the file is (a user's, a link to one).
    const std::string ended = TemporaryName(99999, 1, 0);
    const std::string linked = TemporaryName(99999, 2, 0);
    const std::string hardLinked = TemporaryName(99999, 3, 0);
    const std::string other = "~minihost-99999-0000000000000000-1-0.tmp";
    for (const char* dir : {"t1", "t3", "seq", "seq2", "o", "pp", "deep"}) MakeDir(P(dir));
    // Every file here is an input to some row, each with its own bytes.
    const std::map<std::string, std::string> inputs = {
        {"c.cfg", config},
        {"t1\\a.png", Frame(100)},
        {"t3\\" + ended, Frame(300)},
        {"notes.txt", "a user's notes"},
        {"pp\\" + other, "not a configuration, and not minihost's"},
        {"seq\\shot_1.png", Frame(1000)},
        {"seq2\\shot_1.png", Frame(2000)},
        {"other.png", Frame(400)},
        {"a.png", Frame(500)},
        {wide + ".png", Frame(600)},
    };
    for (const auto& file : inputs) ASSERT_TRUE(Put(P(file.first), file.second)) << file.first;
    ASSERT_TRUE(UnixSymlink(P("notes.txt"), P("t3\\" + linked)));
    ASSERT_TRUE(CreateHardLinkW(Literal(P("t3\\" + hardLinked)).c_str(), Literal(P("notes.txt")).c_str(), nullptr));
    const std::set<std::string> placed = {"pp\\" + other, "t3\\" + ended, "t3\\" + hardLinked, "t3\\" + linked};

    // Over 300 characters that all come back to t1.
    std::string longT1 = P("t1");
    for (int i = 0; i < 50; ++i) longT1 += "\\..\\t1";
    // A folder path of over 300 characters, each part an ordinary name.
    std::string deep = P("deep");
    for (int i = 0; i < 6; ++i) MakeDir(deep += "\\" + std::string(50, 'd'));
    const std::string cfg = " --config " + Q(P("c.cfg"));

    struct Row {
        const char* what;
        std::string args;
        DWORD status;
        std::vector<std::string> written;  // must exist after the run (full paths)
        std::vector<std::string> absent;   // must not
    };
    const Row rows[] = {
        {"an input spelled over 259 characters, its own output", "render " + Q(longT1 + "\\a.png") + " " +
         Q(P("t1\\a.png")) + cfg, 2, {}, {}},
        {"a batch of a folder spelled long, into itself", "render " + Q(longT1) + " --out-dir " + Q(P("t1")) + cfg,
         2, {}, {}},
        {"a frame named like an ended run's temporary, beside links named so", "render " +
         Q(P("t3\\" + ended)) + " " + Q(P("t3\\out.png")) + cfg, 0, {P("t3\\out.png")}, {}},
        {"a configuration beside a temporary of an older minihost", "config " + Q(P("pp\\keep.cfg")) +
         " --row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\"", 0, {P("pp\\keep.cfg")}, {}},
        {"two frames whose output names differ only by a trailing dot", "render " + Q(P("seq\\shot_1.png")) + " " +
         Q(P("seq2\\shot_1.png.")) + " --out-dir " + Q(P("o")) + cfg, 2, {}, {P("o\\shot_1.png")}},
        {"... or by trailing blanks and case", "render " + Q(P("seq\\shot_1.png")) + " " +
         Q(P("seq2\\SHOT_1.PNG . ")) + " --out-dir " + Q(P("o")) + cfg, 2, {}, {P("o\\shot_1.png")}},
        {"an output the ANSI code page has only a look-alike for", "render " + Q(P("other.png")) + " " +
         Q(P("\xc4\x81.png")) + cfg, 0, {P("\xc4\x81.png")}, {}},
        {"a non-ASCII input and output", "render " + Q(P(wide + ".png")) + " " + Q(P("\xcf\x89.png")) + cfg, 0,
         {P("\xcf\x89.png")}, {}},
        {"an output path over 259 characters", "render " + Q(P("a.png")) + " " + Q(deep + "\\out.png") + cfg, 0,
         {deep + "\\out.png"}, {}},
        {"an output name longer than a file system holds", "render " + Q(P("a.png")) + " " +
         Q(P(std::string(252, 'x') + ".png")) + cfg, 2, {}, {P(std::string(252, 'x') + ".png")}},
        // Wine keeps names as UTF-8 on a Unix file system, which holds 255 bytes.
        {"an output name under 256 characters but over 255 bytes of UTF-8", "render " + Q(P("a.png")) + " " +
         Q(deep + "\\" + [&] { std::string s; for (int i = 0; i < 90; ++i) s += wide; return s; }() + ".png") + cfg,
         2, {}, {}},
        {"an output in a folder that does not exist", "render " + Q(P("a.png")) + " " + Q(P("none\\out.png")) + cfg,
         2, {}, {P("none")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MinihostOutcome r = RunMinihost(row.args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(CountLines(r.err), row.status ? 1 : 0) << r.err;
        for (const auto& file : inputs) EXPECT_TRUE(Get(P(file.first)) == file.second) << file.first << " changed";
        for (const std::string& path : row.written) EXPECT_TRUE(Exists(path)) << path;
        for (const std::string& path : row.absent) EXPECT_FALSE(Exists(path)) << path;
        // Every temporary-shaped name is the table's: none left, none taken.
        std::set<std::string> shaped;
        for (const std::string& file : FilesUnder(root))
            if (file.find("~minihost") != std::string::npos) shaped.insert(file);
        EXPECT_EQ(shaped, placed);
        EXPECT_EQ(Get(P("t3\\" + linked)), "a user's notes");
        EXPECT_EQ(Get(P("t3\\" + hardLinked)), "a user's notes");
    }
    // A name the code page cannot hold came out under its own name, and the
    // frame written through a look-alike went nowhere else.
    EXPECT_EQ(Get(P("\xc4\x81.png")).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // Under Wine the 90-character name would have been cut to a shorter one.
    EXPECT_EQ(FilesUnder(deep), std::vector<std::string>{"out.png"});

    // A test's folder goes whole, links as links: one to a file outside it
    // and one whose file is gone leave nothing, and the file outside stays.
    std::string made;
    {
        TempDir links("paths_links");
        made = links.Path();
        ASSERT_TRUE(Put(links.File("mine.txt"), "mine"));
        ASSERT_TRUE(UnixSymlink(P("notes.txt"), links.File("outside")));
        ASSERT_TRUE(UnixSymlink(links.File("mine.txt"), links.File("dangling")));
        ASSERT_TRUE(DeleteFileW(Literal(links.File("mine.txt")).c_str()));
    }
    EXPECT_FALSE(Exists(made)) << made;
    EXPECT_EQ(Get(P("notes.txt")), "a user's notes");
}

// Kernel names are kept in VLM.SET as the dialog saves them, in the ANSI code
// page: listed in UTF-8, picked by their typed name, and a name the code page
// cannot hold picks nothing, not even its look-alike.
TEST_F(MinihostPaths, KernelNamesOfTheCodePage) {
    // A name this code page holds outside ASCII, and a character it lacks.
    const std::wstring candidates[] = {L"Sch\u00e4rfe", L"\u0420\u0435\u0437\u043a\u043e", L"\u9bae\u660e"};
    const std::wstring lacking[] = {L"\u0101", L"\u56fe", L"\u0448"};
    std::wstring name, missing;
    for (const std::wstring& c : candidates) {
        BOOL lossy = FALSE;
        char bytes[64];
        const int n =
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, c.c_str(), -1, bytes, sizeof bytes, nullptr, &lossy);
        bool beyondAscii = false;
        for (int i = 0; i < n; ++i) beyondAscii |= (bytes[i] & 0x80) != 0;
        if (n > 0 && !lossy && beyondAscii && name.empty()) name = c;
    }
    for (const std::wstring& c : lacking) {
        BOOL lossy = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, c.c_str(), -1, nullptr, 0, nullptr, &lossy);
        if (lossy && missing.empty()) missing = c;
    }
    if (name.empty() || missing.empty()) GTEST_SKIP() << "code page " << GetACP() << " has no test name";
    // Its best-fit look-alike, which must never be taken for it.
    const std::string lookAlike = Narrow(missing, CP_ACP);
    const std::string ansi = Narrow(name, CP_ACP), utf8 = Narrow(name);

    const std::string settings = P("\xce\xb5");  // the settings folder's name is outside the code page too
    MakeDir(root);
    MakeDir(settings);
    ASSERT_TRUE(Put(settings + "\\VLM.SET", EntryText(ansi, {{0, 0, 0}, {0, 3, 0}, {0, 0, 0}}, 2, 5, 0) +
                                                 EntryText(lookAlike, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0)));
    const std::string options = "--settings-dir " + Q(settings) + " ";

    MinihostOutcome r = RunMinihost(options + "kernels");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, utf8 + "\r\n" + Narrow(Wide(lookAlike)) + "\r\n");

    r = RunMinihost(options + "config " + Q(P("k.cfg")) + " --kernel " + Q(utf8));
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string bytes = Get(P("k.cfg"));
    ASSERT_EQ(bytes.size(), sizeof(KernelParams));
    KernelParams p;
    std::memcpy(&p, bytes.data(), sizeof p);
    EXPECT_EQ(std::string(p.name), ansi);
    EXPECT_EQ(p.kernel.weights[4 * kGridSide + 4], 3);
    EXPECT_EQ(p.kernel.divide, 2);
    EXPECT_EQ(p.kernel.offset, 5);

    for (const std::string& option : {"--kernel " + Q(Narrow(missing)),
                                      "--name " + Q(Narrow(missing)) + " --row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\""}) {
        SCOPED_TRACE(option);
        r = RunMinihost(options + "config " + Q(P("x.cfg")) + " " + option);
        EXPECT_EQ(r.status, 2u);
        EXPECT_EQ(CountLines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find("code page"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(P("x.cfg")));
    }
}

}  // namespace
