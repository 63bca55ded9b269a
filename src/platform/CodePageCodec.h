#pragma once

#include "platform/TextCodec.h"

namespace ravolen {

// A Windows code page; the product uses the OEM one, in which cmd.exe reads batch files.
class CodePageCodec final : public TextCodec {
public:
    explicit CodePageCodec(unsigned codePage) : codePage_(codePage) {}

    std::optional<std::string> encode(std::wstring_view text) const override;
    std::string encodeLossy(std::wstring_view text) const override;

    unsigned codePage() const { return codePage_; }

private:
    unsigned codePage_;
};

}  // namespace ravolen
