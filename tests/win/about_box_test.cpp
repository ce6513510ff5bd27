// The About box driven for real: every way of closing it and what it answers.
#include <gtest/gtest.h>

#include <memory>

#include "tests/win/support/win_support.h"

namespace {

const char kTitle[] = "About Velmora Filter";

class AboutBoxTest : public PluginFilterTest {
protected:
    int Open(const std::function<void(HWND)>& drive) {
        bool driven = false;
        const int result = RunModal(kTitle, [&] { return filter->OpenAboutBox(nullptr); }, drive, &driven);
        EXPECT_TRUE(driven) << "the About box never showed";
        return result;
    }
};

TEST_F(AboutBoxTest, OkButtonGivesOne) {
    EXPECT_EQ(Open([](HWND box) { SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }), 1);
}

TEST_F(AboutBoxTest, EnterGivesOne) {
    EXPECT_EQ(Open([](HWND box) {
                  PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
                  PostMessageA(box, WM_KEYUP, VK_RETURN, 0);
              }),
              1);
}

TEST_F(AboutBoxTest, EscapeGivesZero) {
    EXPECT_EQ(Open([](HWND box) {
                  PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
                  PostMessageA(box, WM_KEYUP, VK_ESCAPE, 0);
              }),
              0);
}

TEST_F(AboutBoxTest, CloseBoxGivesZero) {
    EXPECT_EQ(Open([](HWND box) { PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); }), 0);
}

TEST_F(AboutBoxTest, ShowsItsTextsAndLogo) {
    Open([](HWND box) {
        bool name = false, version = false, logo = false;
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            const std::string text = WindowText(c);
            // Every line must show whole in the dialog's own font.
            if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_CENTER && !text.empty()) {
                HDC dc = GetDC(c);
                HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
                SIZE extent{};
                GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
                SelectObject(dc, old);
                ReleaseDC(c, dc);
                RECT client;
                GetClientRect(c, &client);
                EXPECT_LE(extent.cx, client.right) << "\"" << text << "\" does not fit its line";
            }
            name |= text == "Velmora Filter";
            version |= text == "Version 1.1";
            logo |= (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP &&
                    SendMessageA(c, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        }
        EXPECT_TRUE(name);
        EXPECT_TRUE(version);
        EXPECT_TRUE(logo) << "the logo bitmap did not load";
        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
}

}  // namespace
