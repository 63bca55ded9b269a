#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/CountdownWindow.h"
#include "app/DeadlineProgress.h"
#include "app/MainWindowFixture.h"
#include "app/NightOptionsDialog.h"
#include "support/LayoutFit.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;

// 100 %, 125 %, 150 %, 175 % and 200 %.
constexpr int Scales[] = {96, 120, 144, 168, 192};

constexpr UINT DpiChanged = 0x02E0;        // WM_DPICHANGED
constexpr UINT GetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE

class DpiTest : public MainWindowTest {
protected:
    // Lays the window out at every scale and reports what does not fit there; back at the
    // window's own scale afterwards.
    static void expectEverythingFits(win::Form& window) {
        const int own = window.dpi();
        for (int dpi : Scales) {
            window.layOutFor(dpi);
            ASSERT_EQ(window.dpi(), dpi);
            for (const std::string& fault : test::LayoutFaults(window.hwnd(), dpi)) {
                ADD_FAILURE() << test::Utf8(win::WindowText(window.hwnd())) << " at " << dpi
                              << " dpi: " << fault;
            }
        }
        window.layOutFor(own);
    }

    using Rects = std::map<HWND, std::tuple<LONG, LONG, LONG, LONG>>;
    Rects childRects(HWND window) const {
        Rects rects;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT rect = test::ClientRectIn(child, window);
            rects[child] = {rect.left, rect.top, rect.right, rect.bottom};
        }
        return rects;
    }

    // What Windows does when the window moves to a monitor of another scale: it asks for the
    // size at the new scale, then suggests a rectangle of that size there.
    RECT moveToScale(int dpi, POINT at) {
        SIZE size{};
        EXPECT_TRUE(SendMessageW(form.hwnd(), GetDpiScaledSize, static_cast<WPARAM>(dpi),
                                 reinterpret_cast<LPARAM>(&size)));
        RECT suggested{at.x, at.y, at.x + size.cx, at.y + size.cy};
        SendMessageW(form.hwnd(), DpiChanged, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        test::PumpMessages();
        return suggested;
    }

    std::vector<int> columnWidths() const {
        std::vector<int> widths;
        const HWND list = control(L"jobTable");
        for (int i = 0; i < form.jobs().list().columnCount(); ++i) {
            widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
        }
        return widths;
    }

    int rowHeight() const {
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(control(L"jobTable"), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
        return row.bottom - row.top;
    }

    int fontHeight(const wchar_t* name) const { return test::FontOf(control(name)).lfHeight; }
};

TEST_F(DpiTest, EveryTextOfTheMainWindowFitsItsControlAtEveryScale) {
    expectEverythingFits(form);
}

TEST_F(DpiTest, EveryTextOfTheJobEditorFitsItsControlAtEveryScale) {
    Click(control(L"addJobButton"));
    ASSERT_NE(form.jobDialog(), nullptr);
    expectEverythingFits(*form.jobDialog());
}

TEST_F(DpiTest, EveryTextOfTheResultsAndFarmWindowsFitsItsControlAtEveryScale) {
    fillTwoRows();
    const auto menu = [&](const wchar_t* text) {
        const HMENU render = GetSubMenu(GetMenu(form.hwnd()), 2);
        const HMENU ways = GetSubMenu(render, GetMenuItemCount(render) - 2);  // 夜间选项 is last
        for (HMENU items : {render, ways}) {
            for (int i = 0; i < GetMenuItemCount(items); ++i) {
                wchar_t caption[64] = {};
                GetMenuStringW(items, static_cast<UINT>(i), caption, 64, MF_BYPOSITION);
                if (std::wstring_view(caption) == text) {
                    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(items, i), 0), 0);
                    test::PumpMessages();
                    return;
                }
            }
        }
        ADD_FAILURE() << "no menu item " << test::Utf8(text);
    };
    menu(L"渲染结果(&V)…");
    ASSERT_NE(form.resultsDialog(), nullptr);
    expectEverythingFits(*form.resultsDialog());
    menu(L"夜间选项(&N)…");
    ASSERT_NE(form.nightOptionsDialog(), nullptr);
    expectEverythingFits(*form.nightOptionsDialog());
    CountdownWindow countdown(10000, [] {});  // the widest count the text takes
    ASSERT_TRUE(countdown.create(form.hwnd()));
    expectEverythingFits(countdown);
    menu(L"提交到Deadline…");
    ASSERT_NE(form.farmDialog(), nullptr);
    expectEverythingFits(*form.farmDialog());
    menu(L"提交到Backburner…");
    ASSERT_NE(form.farmDialog(), nullptr);
    expectEverythingFits(*form.farmDialog());

    const std::vector<RenderJob> rows = form.jobs().all();
    std::vector<DeadlineRowFiles> files;
    for (const RenderJob& row : rows) {
        files.push_back(DeadlineFilesOf(L"D:\\Program Files\\Autodesk\\3ds Max 2012", row, {}));
    }
    DeadlineProgress progress(platform, rows, files,
                              {L"C:\\Deadline10\\bin\\deadlinecommand.exe", {}}, nullptr);
    ASSERT_TRUE(progress.start(form.hwnd()));
    // The first row under way, as the window shows it while the tool runs.
    MSG next{};
    ASSERT_TRUE(PeekMessageW(&next, progress.hwnd(), WM_APP + 1, WM_APP + 1, PM_REMOVE));
    DispatchMessageW(&next);
    EXPECT_EQ(win::WindowText(progress.control(L"Row")), L"正在提交第1行：E:\\work\\lobby.max");
    expectEverythingFits(progress);
}

TEST_F(DpiTest, AMoveToAnotherScaleLaysTheMainWindowOutAgainAndLeavesTheTableAlone) {
    fillTwoRows();
    form.jobs().list().setChecked(2, true);
    form.jobs().list().setSelected(2, true);
    const std::vector<RenderJob> rows = form.jobs().all();
    const Rects designed = childRects(form.hwnd());
    const std::vector<int> widths = columnWidths();
    const int rowAt96 = rowHeight();
    ASSERT_EQ(form.dpi(), 96);

    const RECT at144 = moveToScale(144, {40, 30});
    EXPECT_EQ(form.dpi(), 144);
    RECT window{};
    GetWindowRect(form.hwnd(), &window);
    // Where Windows suggested; as large as it suggested where it draws the frame at the new scale
    // too (Wine draws it at the screen's, so there only the client area tells).
    EXPECT_EQ(window.left, at144.left);
    EXPECT_EQ(window.top, at144.top);
    EXPECT_LE(window.right, at144.right);
    EXPECT_LE(window.bottom, at144.bottom);
    RECT client{};
    GetClientRect(form.hwnd(), &client);
    EXPECT_GE(client.right, win::TwipsToPixels(10200, 144));
    EXPECT_EQ(client.bottom, win::TwipsToPixels(6045, 144));
    test::ExpectNear(test::ClientRectIn(control(L"renderButton"), form.hwnd()),
                     {0, 516, 434, 602}, "renderButton");  // 0, 5160, 4335 and 855 twips at 144 dpi
    EXPECT_EQ(fontHeight(L"installFolderBox"), -21);     // 10.5 pt
    EXPECT_EQ(fontHeight(L"renderButton"), -36);  // 18 pt
    EXPECT_EQ(fontHeight(L"installFolderButton"), -18);  // 9 pt
    EXPECT_EQ(fontHeight(L"jobTable"), -21);
    const int twips[] = {3800, 1000, 2500, 1400, 600, 600};
    for (std::size_t i = 0; i < widths.size(); ++i) {
        EXPECT_NEAR(columnWidths()[i], win::TwipsToPixels(twips[i], 144), 1) << i;
    }
    EXPECT_GT(rowHeight(), rowAt96 * 5 / 4);  // the rows take the larger font's height
    EXPECT_TRUE(test::LayoutFaults(form.hwnd(), 144).empty());

    moveToScale(96, {50, 60});
    EXPECT_EQ(form.dpi(), 96);
    EXPECT_EQ(childRects(form.hwnd()), designed);  // exactly as it was
    GetClientRect(form.hwnd(), &client);
    EXPECT_EQ(client.right, win::TwipsToPixels(10200, 96));
    EXPECT_EQ(client.bottom, win::TwipsToPixels(6045, 96));
    EXPECT_EQ(fontHeight(L"installFolderBox"), -14);
    EXPECT_EQ(fontHeight(L"renderButton"), -24);
    EXPECT_EQ(columnWidths(), widths);
    EXPECT_EQ(rowHeight(), rowAt96);

    EXPECT_EQ(form.jobs().all(), rows);
    EXPECT_FALSE(form.jobs().list().checked(1));
    EXPECT_TRUE(form.jobs().list().checked(2));
    EXPECT_EQ(form.jobs().list().selectedRow(), 2);
}

}  // namespace
}  // namespace ravolen
