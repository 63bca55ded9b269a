#include "win/Form.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "support/TestForm.h"
#include "support/WindowTest.h"
#include "base/LiveObjects.h"
#include "win/Reflection.h"
#include "win/Subclass.h"

namespace ravolen {
namespace {

using test::TestForm;
using win::ControlKind;

enum : int { IdEdit = 10, IdOk, IdOther, IdList };

const win::ControlSpec Layout[] = {
    {.kind = ControlKind::TextBox, .id = IdEdit, .name = L"Edit", .left = 120, .top = 120,
     .width = 3000, .height = 315, .tabIndex = 0},
    {.kind = ControlKind::Button, .id = IdOk, .name = L"Ok", .left = 120, .top = 600,
     .width = 1200, .height = 375, .tabIndex = 1, .caption = L"确  定", .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdOther, .name = L"Other", .left = 1500, .top = 600,
     .width = 1200, .height = 375, .tabIndex = 2, .caption = L"取  消"},
    {.kind = ControlKind::ListView, .id = IdList, .name = L"List", .left = 120, .top = 1200,
     .width = 6000, .height = 2000, .tabIndex = 3},
};

// Counts what reaches a control's owner, and answers edits with its own brush.
struct CountingReflector final : win::Reflector {
    int commands = 0;
    int notifications = 0;
    HBRUSH brush = GetSysColorBrush(COLOR_HIGHLIGHT);

    bool reflectCommand(HWND, int) override {
        ++commands;
        return true;
    }
    std::optional<LRESULT> reflectNotify(NMHDR&) override {
        ++notifications;
        return 7;
    }
    HBRUSH reflectColour(HWND, HDC) override { return brush; }
};

TEST(Form, NoMessageReachesAFormWhileItIsDestroyedWithAFocusedEdit) {
    auto form = std::make_unique<TestForm>();
    ASSERT_TRUE(form->create(Layout));
    CountingReflector owner;
    const win::ReflectionBinding binding(form->control(L"Edit"), &owner);
    ShowWindow(form->hwnd(), SW_SHOW);
    SetForegroundWindow(form->hwnd());
    SetFocus(form->control(L"Edit"));
    test::PumpMessages();
    ASSERT_GT(owner.commands, 0);  // EN_SETFOCUS reached the edit's owner

    owner.commands = 0;
    form.reset();  // losing the focus, the edit tells its parent, which is being destroyed
    test::PumpMessages();
    EXPECT_EQ(owner.commands, 0);
}

TEST(Form, NotificationsGoToTheControlsOwnerFirstAndTheRestToTheForm) {
    TestForm form;
    ASSERT_TRUE(form.create(Layout));
    CountingReflector owner;
    const win::ReflectionBinding editBinding(form.control(L"Edit"), &owner);
    const win::ReflectionBinding listBinding(form.control(L"List"), &owner);

    SetWindowTextW(form.control(L"Edit"), L"x");  // EN_CHANGE
    EXPECT_GT(owner.commands, 0);
    test::Click(form.control(L"Other"));
    ASSERT_EQ(form.commands.size(), 1u);
    EXPECT_EQ(form.commands[0], std::make_pair(int{IdOther}, int{BN_CLICKED}));

    NMHDR header{form.control(L"List"), IdList, NM_CLICK};
    EXPECT_EQ(SendMessageW(form.hwnd(), WM_NOTIFY, IdList, reinterpret_cast<LPARAM>(&header)), 7);
    EXPECT_EQ(owner.notifications, 1);
    EXPECT_TRUE(form.notifications.empty());

    const HDC dc = GetDC(form.hwnd());
    EXPECT_EQ(SendMessageW(form.hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(form.control(L"Edit"))),
              reinterpret_cast<LRESULT>(owner.brush));
    ReleaseDC(form.hwnd(), dc);
}

TEST(Form, EnterPressesTheFocusedButtonElseTheDefaultOneAndEscapeCancels) {
    TestForm form;
    ASSERT_TRUE(form.create(Layout));
    ShowWindow(form.hwnd(), SW_SHOW);
    SetForegroundWindow(form.hwnd());
    SetFocus(form.control(L"Edit"));
    test::PressKey(VK_RETURN);
    SetFocus(form.control(L"Other"));
    test::PressKey(VK_RETURN);
    test::PressKey(VK_ESCAPE);
    std::vector<int> clicked;
    for (const auto& [id, code] : form.commands) {
        if (code == BN_CLICKED) clicked.push_back(id);
    }
    EXPECT_EQ(clicked, (std::vector<int>{IdOk, IdOther, IDCANCEL}));
}

TEST(Form, AControlThatCannotBeCreatedFailsTheWholeForm) {
    const test::RefuseWindowClass refuse(WC_LISTVIEWW);
    TestForm form;
    EXPECT_FALSE(form.create(Layout));
}

// Handlers are offered a control's messages newest first, each passing on with Next; one that
// goes (before, inside its own handler, or with its control) is offered nothing more, and the
// control's procedure is its own again once none is left, unless another was put in front since.
TEST(Subclass, HandlersChainNewestFirstAndLeaveTheControlAsTheyFoundIt) {
    const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edit);
    const LONG_PTR own = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    const long live = LiveObjects::Count(LiveKind::Subclass);
    constexpr UINT Asked = WM_APP + 7;
    std::wstring seen;
    win::Subclass older, newer;
    older.attach(edit, [&](UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message != Asked) return std::nullopt;
        seen += L"older ";
        if (wParam == 1) return 41;
        if (wParam == 2) older.reset();  // inside its own handler
        return std::nullopt;
    });
    newer.attach(edit, [&](UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != Asked) return std::nullopt;
        seen += L"newer ";
        return win::Subclass::Next(edit, message, wParam, lParam) + 1;
    });
    EXPECT_EQ(LiveObjects::Count(LiveKind::Subclass), live + 2);
    EXPECT_EQ(SendMessageW(edit, Asked, 1, 0), 42);
    EXPECT_EQ(seen, L"newer older ");
    seen.clear();
    EXPECT_EQ(SendMessageW(edit, Asked, 2, 0), 1);  // the edit's own 0, plus one
    EXPECT_EQ(SendMessageW(edit, Asked, 1, 0), 1);
    EXPECT_EQ(seen, L"newer older newer ");
    EXPECT_EQ(LiveObjects::Count(LiveKind::Subclass), live + 1);
    // One attached while a message is handled is offered the next, not that one.
    win::Subclass later;
    bool attached = false;
    older.attach(edit, [&](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != Asked) return std::nullopt;
        seen += L"older ";
        if (!std::exchange(attached, true)) {
            later.attach(edit, [&](UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
                if (m == Asked) seen += L"later ";
                return std::nullopt;
            });
        }
        return std::nullopt;
    });
    seen.clear();
    SendMessageW(edit, Asked, 0, 0);
    SendMessageW(edit, Asked, 0, 0);
    EXPECT_EQ(seen, L"older newer later older newer ");  // older, attached again, is the newest
    later.reset();
    older.reset();
    newer.reset();
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), own);

    // A comctl32 subclass put in front of ours keeps its place when ours goes.
    newer.attach(edit, [&](UINT, WPARAM, LPARAM) { return std::optional<LRESULT>(); });
    const SUBCLASSPROC front = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
        return message == Asked ? 7 : DefSubclassProc(hwnd, message, wParam, lParam);
    };
    ASSERT_TRUE(SetWindowSubclass(edit, front, 1, 0));
    newer.reset();
    EXPECT_EQ(SendMessageW(edit, Asked, 0, 0), 7);
    RemoveWindowSubclass(edit, front, 1);

    // Going with its control.
    newer.attach(edit, [&](UINT, WPARAM, LPARAM) { return std::optional<LRESULT>(); });
    DestroyWindow(edit);
    EXPECT_EQ(LiveObjects::Count(LiveKind::Subclass), live);
    newer.reset();
    EXPECT_EQ(LiveObjects::Count(LiveKind::Subclass), live);
}

}  // namespace
}  // namespace ravolen
