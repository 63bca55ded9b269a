#include "jobs/Xml.h"

#include <algorithm>

#include "jobs/JobListFile.h"

namespace ravolen::xml {
namespace {

constexpr std::size_t MaxDepth = 256;
constexpr std::size_t MaxAttributes = 256;

bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view LocalName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// One character as UTF-8, whatever the width of wchar_t.
void AppendCharacter(std::string& out, char32_t c) {
    std::wstring units;
    if (c >= 0x10000 && sizeof(wchar_t) == 2) {
        units += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        units += static_cast<wchar_t>(c);
    }
    AppendUtf8(out, units);
}

}  // namespace

Reader::Reader(std::string_view text) : in_(text) {
    if (in_.starts_with("\xEF\xBB\xBF")) at_ = 3;
}

Reader::Event Reader::fail(std::wstring reason) {
    fault_ = std::move(reason);
    at_ = in_.size();
    open_.clear();
    return Event::Fault;
}

std::string_view Reader::attribute(std::string_view localName) const {
    for (const Attribute& attribute : attributes_) {
        if (LocalName(attribute.name) == localName) return attribute.value;
    }
    return {};
}

// Entities and character references resolved; line ends as XML reads them (CR LF and CR alone
// become LF), so a carriage return survives only as a reference.
bool Reader::decode(std::string_view raw, std::string& out) {
    if (raw.find('&') == std::string_view::npos && raw.find('\r') == std::string_view::npos) {
        out.assign(raw);  // the usual text: nothing to resolve
        return true;
    }
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
            continue;
        }
        if (c != '&') {
            out += c;
            continue;
        }
        const std::size_t semicolon = raw.find(';', i);
        if (semicolon == std::string_view::npos || semicolon - i > 12) return false;
        const std::string_view entity = raw.substr(i + 1, semicolon - i - 1);
        i = semicolon;
        if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "amp") out += '&';
        else if (entity == "quot") out += '"';
        else if (entity == "apos") out += '\'';
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) return false;
            char32_t code = 0;
            for (const char d : digits) {
                int value = d >= '0' && d <= '9' ? d - '0'
                          : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                          : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
                if (value < 0) return false;
                code = code * (hex ? 16 : 10) + static_cast<char32_t>(value);
            }
            const bool allowed = code == 0x9 || code == 0xA || code == 0xD ||
                                 (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                                 (code >= 0x10000 && code <= 0x10FFFF);
            if (!allowed) return false;
            AppendCharacter(out, code);
        } else {
            return false;  // no DTD, so no other entity is declared
        }
    }
    return true;
}

Reader::Event Reader::startTag() {
    // at_ is just past '<'
    const std::size_t nameStart = at_;
    while (at_ < in_.size() && NameChar(in_[at_])) ++at_;
    if (at_ == nameStart) return fail(L"的XML格式错误");
    name_ = LocalName(in_.substr(nameStart, at_ - nameStart));
    const std::string_view qualified = in_.substr(nameStart, at_ - nameStart);
    attributes_.clear();
    for (;;) {
        while (at_ < in_.size() && Blank(in_[at_])) ++at_;
        if (at_ >= in_.size()) return fail(L"的XML格式错误");
        if (in_[at_] == '>' || in_.substr(at_).starts_with("/>")) break;
        const std::size_t attributeStart = at_;
        while (at_ < in_.size() && NameChar(in_[at_])) ++at_;
        if (at_ == attributeStart) return fail(L"的XML格式错误");
        const std::string_view attributeName = in_.substr(attributeStart, at_ - attributeStart);
        while (at_ < in_.size() && Blank(in_[at_])) ++at_;
        if (at_ >= in_.size() || in_[at_] != '=') return fail(L"的XML格式错误");
        ++at_;
        while (at_ < in_.size() && Blank(in_[at_])) ++at_;
        if (at_ >= in_.size() || (in_[at_] != '"' && in_[at_] != '\'')) return fail(L"的XML格式错误");
        const char quote = in_[at_++];
        const std::size_t close = in_.find(quote, at_);
        if (close == std::string_view::npos) return fail(L"的XML格式错误");
        const std::string_view raw = in_.substr(at_, close - at_);
        at_ = close + 1;
        if (raw.find('<') != std::string_view::npos) return fail(L"的XML格式错误");
        if (attributes_.size() >= MaxAttributes) return fail(L"的XML格式错误");
        Attribute attribute{attributeName, {}};
        if (!decode(raw, attribute.value)) return fail(L"含有未定义的实体或无效的字符引用");
        attributes_.push_back(std::move(attribute));
    }
    if (in_[at_] == '/') {
        at_ += 2;
        pendingEnd_ = true;  // <a/> reads as <a></a>
    } else {
        ++at_;
    }
    if (open_.empty() && rootSeen_) return fail(L"的XML格式错误");
    if (open_.size() >= MaxDepth) return fail(L"的XML嵌套过深");
    rootSeen_ = true;
    open_.push_back(qualified);
    return Event::Start;
}

Reader::Event Reader::next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        open_.pop_back();
        return Event::End;
    }
    for (;;) {
        if (at_ >= in_.size()) {
            if (!fault_.empty()) return Event::Fault;
            if (!open_.empty() || !rootSeen_) return fail(L"的XML不完整");
            return Event::Done;
        }
        if (in_[at_] != '<') {
            const std::size_t end = std::min(in_.find('<', at_), in_.size());
            const std::string_view raw = in_.substr(at_, end - at_);
            at_ = end;
            if (open_.empty()) {
                for (const char c : raw) {
                    if (!Blank(c)) return fail(L"的XML格式错误");
                }
                continue;
            }
            if (!decode(raw, text_)) return fail(L"含有未定义的实体或无效的字符引用");
            return Event::Text;
        }
        const std::string_view rest = in_.substr(at_);
        if (rest.starts_with("<!--")) {
            const std::size_t end = rest.find("-->", 4);
            if (end == std::string_view::npos) return fail(L"的XML不完整");
            at_ += end + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = rest.find("]]>", 9);
            if (end == std::string_view::npos || open_.empty()) return fail(L"的XML格式错误");
            text_.assign(rest.substr(9, end - 9));
            at_ += end + 3;
            return Event::Text;
        } else if (rest.starts_with("<!")) {
            return fail(L"含有DTD或实体声明，不予读取");
        } else if (rest.starts_with("<?")) {
            const std::size_t end = rest.find("?>", 2);
            if (end == std::string_view::npos) return fail(L"的XML不完整");
            at_ += end + 2;
        } else if (rest.starts_with("</")) {
            at_ += 2;
            const std::size_t nameStart = at_;
            while (at_ < in_.size() && NameChar(in_[at_])) ++at_;
            const std::string_view closing = in_.substr(nameStart, at_ - nameStart);
            while (at_ < in_.size() && Blank(in_[at_])) ++at_;
            if (at_ >= in_.size() || in_[at_] != '>' || open_.empty() || open_.back() != closing) {
                return fail(L"的XML格式错误");
            }
            ++at_;
            name_ = LocalName(closing);
            open_.pop_back();
            return Event::End;
        } else {
            ++at_;
            return startTag();
        }
    }
}

}  // namespace ravolen::xml
