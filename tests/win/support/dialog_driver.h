#pragma once
// Driving the control dialog from a second thread the way a user's input
// reaches it, and reading back what it shows.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win/support/win_support.h"

constexpr char kControlCaption[] = "Velmora Filter Control";

// Under Wine, the Unix program run on the arguments (each quoted) and waited
// for; false without a Unix side (Windows) or when it cannot be started.
bool RunUnix(const std::string& program, const std::vector<std::string>& arguments);
// Under Wine, the Unix name of a path; empty without a Unix side.
std::string UnixName(const std::string& path);

// A fresh folder in the temp directory, removed whole when the object goes,
// links as links: never what they point to.
class TempDir {
public:
    explicit TempDir(const char* tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path);  // empty when the file is missing
bool WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names of the files in a folder, in name order: what a run left
// behind, temporaries included.
std::vector<std::string> FolderNames(const std::string& dir);

// One library file entry as the file format lays it out (CR LF line ends):
// rows holds the k x k centred block, row by row.
std::string EntryText(const std::string& name, const std::vector<std::vector<int>>& rows, int divide, int offset,
                      int invert);

HWND Cell(HWND dialog, int row, int column);  // weight cell (row, column)
void SetText(HWND control, const std::string& text);
// Replaces the control's text keystroke by keystroke (WM_CHAR), as typing does.
void Type(HWND control, const std::string& text);
// A control's text through WM_GETTEXT, which, unlike GetWindowText, also
// reaches a control of another process.
std::string Text(HWND control);
std::string TextOf(HWND dialog, int id);
void Click(HWND dialog, int id);  // BM_CLICK: what a mouse click on a button produces
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
// A click on the upper (up = true) or lower half of a spinner's arrows.
void ClickSpinner(HWND dialog, int id, bool up);

std::vector<std::string> ListItems(HWND list);
std::string SelectedItem(HWND list);  // "" when nothing is selected
int ItemIndex(HWND list, const std::string& text);  // -1 when absent
// Selects item index (-1: none) and tells the dialog, as a user's click does.
void Pick(HWND dialog, int index, WORD notification = LBN_SELCHANGE);

// Waits until the window and its children have no pending repaint, so
// nothing painted afterwards is overwritten by a late WM_PAINT.
bool WaitForPaint(HWND window, DWORD timeoutMs = 3000);

// The client area of a window as 0x00BBGGRR colour values, row by row from
// the top, width x height (cut to the client area).
std::vector<COLORREF> CaptureClient(HWND window, int width, int height);

// A new filter whose library file lives in a fresh folder (empty, so no
// "Can't open file" unless a test wants one), with "Error" boxes recorded
// and dismissed.
class ControlDialogTest : public PluginFilterTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string LibraryFile() const { return dir.File("VLM.SET"); }
    // Runs ShowControl while drive() works the dialog; answers its result.
    int Open(const std::function<void(HWND)>& drive);

    TempDir dir{"dialog"};
    MessageBoxWatcher boxes{"Error"};
};
