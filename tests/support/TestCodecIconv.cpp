#include <iconv.h>

#include <cerrno>

#include "support/TestCodec.h"

namespace ravolen::test {
namespace {

class IconvCodec final : public TextCodec {
public:
    unsigned codePage() const override { return 936; }

    std::optional<std::string> encode(std::wstring_view text) const override {
        iconv_t converter = iconv_open("CP936", "WCHAR_T");
        if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        std::wstring input(text);
        std::string output(text.size() * 4 + 4, '\0');
        char* in = reinterpret_cast<char*>(input.data());
        std::size_t inLeft = input.size() * sizeof(wchar_t);
        char* out = output.data();
        std::size_t outLeft = output.size();
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        iconv_close(converter);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
        output.resize(output.size() - outLeft);
        return output;
    }

    std::string encodeLossy(std::wstring_view text) const override {
        std::string bytes;
        for (wchar_t c : text) bytes += encode(std::wstring_view(&c, 1)).value_or("?");
        return bytes;
    }

    std::wstring decode(std::string_view bytes) const override {
        iconv_t converter = iconv_open("WCHAR_T", "CP936");
        std::wstring text;
        if (converter == reinterpret_cast<iconv_t>(-1)) return text;
        std::string input(bytes);
        char* in = input.data();
        std::size_t inLeft = input.size();
        while (inLeft > 0) {
            wchar_t unit[2];
            char* out = reinterpret_cast<char*>(unit);
            std::size_t outLeft = sizeof unit;
            const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
            const std::size_t produced = (sizeof unit - outLeft) / sizeof(wchar_t);
            text.append(unit, produced);
            if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
                text += L'\uFFFD';  // a byte the code page does not define, or a cut character
                ++in;
                --inLeft;
            }
        }
        iconv_close(converter);
        return text;
    }
};

}  // namespace

const TextCodec& Cp936() {
    static const IconvCodec codec;
    return codec;
}

}  // namespace ravolen::test
