#pragma once

#include <span>
#include <utility>
#include <vector>

#include "win/Form.h"

namespace ravolen::test {

// A bare form over any layout table, recording what reaches its handlers.
class TestForm final : public win::Form {
public:
    bool create(std::span<const win::ControlSpec> layout, int widthTwips = 9000,
                int heightTwips = 6000) {
        return createForm(L"RavolenTestForm", L"Test", widthTwips, heightTwips, 10.5) &&
               createControls(layout);
    }

    std::vector<std::pair<int, int>> commands;  // control id, notification code
    std::vector<UINT> notifications;

private:
    bool onCommand(int id, int code) override {
        commands.emplace_back(id, code);
        return true;
    }
    std::optional<LRESULT> onNotify(NMHDR& header) override {
        notifications.push_back(header.code);
        return std::nullopt;
    }
};

}  // namespace ravolen::test
