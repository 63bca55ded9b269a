#pragma once

#include <array>
#include <memory>

#include "platform/TextCodec.h"

namespace ravolen {

// A Windows code page; the product uses the OEM one, in which cmd.exe reads batch files.
class CodePageCodec final : public TextCodec {
public:
    explicit CodePageCodec(unsigned codePage);

    std::optional<std::string> encode(std::wstring_view text) const override;
    bool encodeInto(std::wstring_view text, std::string& bytes) const override;
    std::string encodeLossy(std::wstring_view text) const override;
    std::wstring decode(std::string_view bytes) const override;

    unsigned codePage() const override { return codePage_; }

private:
    // What one UTF-16 unit becomes, learnt on first sight.
    struct Unit {
        unsigned char known = 0;   // 0 not yet, 1 exact, 2 not exact
        unsigned char length = 0;  // its bytes, one or two
        char bytes[2] = {};
    };
    // Known after the first sight, without a call: a script's every character is looked up.
    const Unit& unit(wchar_t c) const {
        const auto& block = blocks_[static_cast<std::size_t>(c) >> 8];
        const Unit* known = block ? &(*block)[static_cast<std::size_t>(c) & 0xFF] : nullptr;
        return known && known->known != 0 ? *known : learn(c);
    }
    const Unit& learn(wchar_t c) const;
    // The bytes of the text when they read back as the same text, in any code page.
    static std::optional<std::string> ReadsBack(unsigned codePage, std::wstring_view text);

    unsigned codePage_;
    bool asciiAsIs_ = false;  // the code page writes every ASCII character as its own byte
    // In a code page of single and double bytes each character stands alone: a text is exact
    // when each of its characters is, and its bytes are theirs. Filled as characters are met;
    // off for code pages that take no default character or more than two bytes a character.
    mutable bool byUnit_;
    // By the unit's high byte: a text touches few blocks, and most programs none.
    mutable std::array<std::unique_ptr<std::array<Unit, 256>>, 256> blocks_;
};

}  // namespace ravolen
