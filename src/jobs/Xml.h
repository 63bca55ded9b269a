#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ravolen::xml {

// A pull reader for the plain XML of a package's parts: elements, attributes, text, CDATA,
// comments and processing instructions, the five predefined entities and character references.
// A document type declaration, and with it every other entity, is refused: nothing in a part
// needs one, and entities are how a small file grows into gigabytes. Work and memory stay
// proportional to the text.
class Reader {
public:
    enum class Event { Start, End, Text, Done, Fault };

    explicit Reader(std::string_view text);

    Event next();

    // The local name (without prefix) of the element just started or ended.
    std::string_view name() const { return name_; }
    // An attribute of the element just started by its local name; empty when it has none.
    std::string_view attribute(std::string_view localName) const;
    // The decoded UTF-8 text of a Text event.
    const std::string& text() const { return text_; }
    // Elements open around the current event; the root element's start is at depth 1.
    std::size_t depth() const { return open_.size(); }
    // What is wrong, after Fault.
    const std::wstring& fault() const { return fault_; }

private:
    struct Attribute {
        std::string_view name;
        std::string value;
    };

    Event fail(std::wstring reason);
    bool decode(std::string_view raw, std::string& out);
    Event startTag();

    std::string_view in_;
    std::size_t at_ = 0;
    std::vector<std::string_view> open_;
    std::string_view name_;
    std::vector<Attribute> attributes_;
    std::string text_;
    std::wstring fault_;
    bool pendingEnd_ = false;
    bool rootSeen_ = false;
};

}  // namespace ravolen::xml
