#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ravolen {

// Turns Unicode text into the 8-bit code page that another program reads (the command interpreter
// reads batch files in the OEM code page).
class TextCodec {
public:
    virtual ~TextCodec() = default;

    // The exact bytes of `text`, or nothing when a character has no exact counterpart in the code
    // page. Never substitutes a look-alike: a best-fit mapping could turn a harmless character into
    // one the reader treats specially (U+00A6 into '|').
    virtual std::optional<std::string> encode(std::wstring_view text) const = 0;

    // The same bytes appended to `bytes`, or false with `bytes` as it was: no string a call where
    // a script converts hundreds of thousands of short texts.
    virtual bool encodeInto(std::wstring_view text, std::string& bytes) const {
        const std::optional<std::string> encoded = encode(text);
        if (!encoded) return false;
        bytes += *encoded;
        return true;
    }

    // Like encode, but writes '?' for each character the code page lacks. Only for the program's
    // own fixed texts, where a lost character cannot change what a command does.
    virtual std::string encodeLossy(std::wstring_view text) const = 0;

    // The text of bytes another program wrote in the code page; a byte sequence the code page
    // does not define becomes a replacement character rather than vanish.
    virtual std::wstring decode(std::string_view bytes) const = 0;

    // The Windows code page's number, or 0 where the codec is none of Windows' own.
    virtual unsigned codePage() const { return 0; }
};

}  // namespace ravolen
