#include "jobs/Workbook.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>

#include "jobs/JobListFile.h"
#include "jobs/Xml.h"
#include "jobs/Zip.h"

namespace ravolen {
namespace {

constexpr std::string_view Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr std::string_view MainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view RelationshipTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view SheetName = "任务列表";
constexpr int MaxRow = 1048576;  // the sheet's last row, as Excel counts them
constexpr int MaxColumn = 16384;
// A cell may repeat a shared string of megabytes: the text read in all is bounded as well.
constexpr std::size_t MaxSharedStrings = 1048576;
constexpr std::size_t MaxCellCharacters = 32u * 1024 * 1024;
constexpr int TextStyle = 1;    // cellXfs: text format
constexpr int HeaderStyle = 2;  // cellXfs: text format, bold

bool IsHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Whether "_xHHHH_" starts at `at`: Excel reads such a run as the character it names. Written,
// "_XHHHH_" is kept as well, in case a reader takes the letter in either case.
bool EscapeAt(std::wstring_view text, std::size_t at, bool eitherCase = false) {
    if (text.size() - at < 7 || text[at] != L'_' || (text[at + 1] != L'x' && !(eitherCase && text[at + 1] == L'X')) ||
        text[at + 6] != L'_') {
        return false;
    }
    for (std::size_t i = at + 2; i < at + 6; ++i) {
        if (!IsHex(text[i])) return false;
    }
    return true;
}

void AppendEscape(std::string& out, unsigned code) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4) out += Digits[(code >> shift) & 0xF];
    out += '_';
}

// Cell text as XML element content.
void AppendCellText(std::string& out, std::wstring_view text) {
    std::size_t plain = 0;  // start of the run not yet written
    const auto flush = [&](std::size_t to) {
        AppendUtf8(out, text.substr(plain, to - plain));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a pair: UTF-8 carries it
            continue;
        }
        const char* entity = c == L'&' ? "&amp;" : c == L'<' ? "&lt;" : c == L'>' ? "&gt;" : nullptr;
        const bool escape = (c < 0x20 && c != L'\t' && c != L'\n') || high || low || c == 0xFFFE ||
                            c == 0xFFFF || EscapeAt(text, i, true);
        if (!entity && !escape) continue;
        flush(i);
        if (entity) out += entity;
        else AppendEscape(out, c == L'_' ? 0x5F : static_cast<unsigned>(c));
        plain = i + 1;
    }
    flush(text.size());
}

// "_xHHHH_" back to the character it names.
std::wstring Unescape(std::wstring text) {
    if (text.find(L"_x") == std::wstring::npos) return text;
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EscapeAt(text, i)) {
            unsigned code = 0;
            for (std::size_t k = i + 2; k < i + 6; ++k) {
                const wchar_t d = text[k];
                code = code * 16 + static_cast<unsigned>(d <= L'9' ? d - L'0' : (d | 0x20) - L'a' + 10);
            }
            out += static_cast<wchar_t>(code);
            i += 6;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ColumnName(int column) {  // 1 → "A"; the table has six
    return std::string(1, static_cast<char>('A' + column - 1));
}

double ExcelWidth(double twips) {
    // Pixels at 96 DPI over the width of a digit of the default font (7 pixels).
    return std::round(twips / 15.0 / 7.0 * 100.0) / 100.0;
}

std::string Number(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 2);
    std::string text(buffer.data(), result.ptr);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

std::string ContentTypes() {
    std::string out(Declaration);
    out += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
           "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
           "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
           "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
           "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
           "</Types>";
    return out;
}

std::string Relationships(std::initializer_list<std::pair<std::string_view, std::string_view>> targets) {
    std::string out(Declaration);
    out += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    int id = 0;
    for (const auto& [type, target] : targets) {
        out += "<Relationship Id=\"rId" + std::to_string(++id) + "\" Type=\"";
        out += type;
        out += "\" Target=\"";
        out += target;
        out += "\"/>";
    }
    out += "</Relationships>";
    return out;
}

std::string Styles() {
    std::string out(Declaration);
    out += "<styleSheet xmlns=\"";
    out += MainNamespace;
    out += "\"><fonts count=\"2\">"
           "<font><sz val=\"11\"/><name val=\"宋体\"/><family val=\"3\"/><charset val=\"134\"/></font>"
           "<font><b/><sz val=\"11\"/><name val=\"宋体\"/><family val=\"3\"/><charset val=\"134\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
           "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"49\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\" applyFont=\"1\"/></cellXfs>"
           "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "</styleSheet>";
    return out;
}

// The decimal digits of a count, appended without a string of their own.
void AppendNumber(std::string& out, std::size_t value) {
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    out.append(digits.data(), result.ptr);
}

// The sheet and its shared strings, each distinct text once.
std::pair<std::string, std::string> SheetAndStrings(std::span<const RenderJob> rows) {
    const int width = FileColumnCount(rows);
    std::array<std::wstring, JobColumnCount> header;
    for (std::size_t i = 0; i < header.size(); ++i) header[i] = JobColumns[i].caption;
    // Views of the header's and the rows' own texts, which outlive the table.
    std::unordered_map<std::wstring_view, std::size_t> ids;
    ids.reserve(rows.size() * 2 + JobColumnCount);
    std::string strings;
    std::size_t references = 0;
    const auto stringId = [&](std::wstring_view text) {
        ++references;
        const auto [found, added] = ids.try_emplace(text, ids.size());
        if (added) {
            strings += "<si><t xml:space=\"preserve\">";
            AppendCellText(strings, text);
            strings += "</t></si>";
        }
        return found->second;
    };

    const std::string lastRow = std::to_string(rows.size() + 1);
    std::string sheet(Declaration);
    sheet.reserve(1024 + (rows.size() + 1) * 300);  // a row of six cells takes about 270 bytes
    sheet += "<worksheet xmlns=\"";
    sheet += MainNamespace;
    sheet += "\" xmlns:r=\"";
    sheet += RelationshipTypes;
    sheet += "\"><dimension ref=\"A1:" + ColumnName(width) + lastRow + "\"/>"
             "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">"
             "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
             "<selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/></sheetView></sheetViews>"
             "<sheetFormatPr defaultRowHeight=\"13.5\"/><cols>";
    for (int column = 1; column <= width; ++column) {
        const std::string n = std::to_string(column);
        sheet += "<col min=\"" + n + "\" max=\"" + n + "\" width=\"" +
                 Number(ExcelWidth(JobColumns[static_cast<std::size_t>(column - 1)].widthTwips)) +
                 "\" style=\"" + std::to_string(TextStyle) + "\" customWidth=\"1\"/>";
    }
    sheet += "</cols><sheetData>";
    const auto appendRow = [&](std::size_t number, const std::array<std::wstring_view, JobColumnCount>& cells,
                               int style) {
        sheet += "<row r=\"";
        AppendNumber(sheet, number);
        sheet += "\">";
        for (int column = 1; column <= width; ++column) {
            const std::wstring_view text = cells[static_cast<std::size_t>(column - 1)];
            sheet += "<c r=\"";
            sheet += ColumnName(column);
            AppendNumber(sheet, number);
            sheet += "\" s=\"";
            AppendNumber(sheet, static_cast<std::size_t>(style));
            sheet += '"';
            if (text.empty()) {
                sheet += "/>";
            } else {
                sheet += " t=\"s\"><v>";
                AppendNumber(sheet, stringId(text));
                sheet += "</v></c>";
            }
        }
        sheet += "</row>";
    };
    std::array<std::wstring_view, JobColumnCount> headerCells;
    std::copy(header.begin(), header.end(), headerCells.begin());
    appendRow(1, headerCells, HeaderStyle);
    for (std::size_t i = 0; i < rows.size(); ++i) appendRow(i + 2, JobCellViews(rows[i]), TextStyle);
    sheet += "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
             "header=\"0.3\" footer=\"0.3\"/></worksheet>";

    std::string shared(Declaration);
    shared.reserve(shared.size() + strings.size() + 256);
    shared += "<sst xmlns=\"";
    shared += MainNamespace;
    shared += "\" count=\"" + std::to_string(references) + "\" uniqueCount=\"" + std::to_string(ids.size()) + "\">";
    shared += strings;
    shared += "</sst>";
    return {std::move(sheet), std::move(shared)};
}

// ---- Reading

using Fault = JobListFault;

Fault WholeFile(std::wstring reason) { return Fault{0, std::move(reason)}; }

std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The folder of a part ("xl/" of "xl/workbook.xml") and a relationship's target resolved from it.
std::string Resolve(std::string_view source, std::string_view target) {
    std::string path;
    if (target.starts_with('/')) {
        target.remove_prefix(1);
    } else {
        const std::size_t slash = source.rfind('/');
        if (slash != std::string_view::npos) path = std::string(source.substr(0, slash));
    }
    while (!target.empty()) {
        const std::size_t slash = target.find('/');
        const std::string_view segment = target.substr(0, slash);
        target = slash == std::string_view::npos ? std::string_view{} : target.substr(slash + 1);
        if (segment == "..") {
            const std::size_t up = path.rfind('/');
            path.erase(up == std::string::npos ? 0 : up);
        } else if (!segment.empty() && segment != ".") {
            if (!path.empty()) path += '/';
            path += segment;
        }
    }
    return path;
}

std::string RelationshipsOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
    return std::string(part.substr(0, slash)) + "/_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

class WorkbookReader {
public:
    explicit WorkbookReader(zip::Package package) : package_(std::move(package)) {}

    std::variant<std::vector<RenderJob>, Fault> read();

private:
    struct Relationship {
        std::string type, target;
    };
    struct Row {
        int number = 0;
        int columns = 0;  // the last non-empty column
        std::array<std::wstring, JobColumnCount> cells;
    };

    std::optional<Fault> load(const std::string& part, std::string& out);
    std::optional<Fault> relationships(const std::string& part, std::map<std::string, Relationship>& out);
    std::optional<Fault> xmlFault(const std::string& part, const xml::Reader& reader) {
        return WholeFile(L"工作簿中的" + Wide(part) + reader.fault());
    }
    std::optional<Fault> sharedStrings(const std::string& part);
    std::optional<Fault> sheet(const std::string& part, std::vector<Row>& rows);
    std::optional<Fault> cellText(int row, std::string_view type, std::string_view value,
                                  std::wstring& inlineText, std::wstring& out) const;

    zip::Package package_;
    std::vector<std::wstring> strings_;
    std::size_t characters_ = 0;  // of all cells read
};

std::optional<Fault> WorkbookReader::load(const std::string& part, std::string& out) {
    auto bytes = package_.read(part);
    if (auto* reason = std::get_if<std::wstring>(&bytes)) return WholeFile(std::move(*reason));
    out = std::move(std::get<std::string>(bytes));
    if (out.starts_with("\xFE\xFF") || out.starts_with("\xFF\xFE")) {
        return WholeFile(L"工作簿中的" + Wide(part) + L"不是UTF-8编码");
    }
    return std::nullopt;
}

std::optional<Fault> WorkbookReader::relationships(const std::string& part,
                                                   std::map<std::string, Relationship>& out) {
    const std::string name = RelationshipsOf(part);
    if (!package_.has(name)) return std::nullopt;
    std::string text;
    if (auto fault = load(name, text)) return fault;
    xml::Reader reader(text);
    for (auto event = reader.next(); event != xml::Reader::Event::Done; event = reader.next()) {
        if (event == xml::Reader::Event::Fault) return xmlFault(name, reader);
        if (event == xml::Reader::Event::Start && reader.name() == "Relationship" &&
            reader.attribute("TargetMode") != "External") {
            out.try_emplace(std::string(reader.attribute("Id")),
                            Relationship{std::string(reader.attribute("Type")),
                                         Resolve(part, reader.attribute("Target"))});
        }
    }
    return std::nullopt;
}

std::wstring Decoded(std::string_view utf8) {
    auto text = DecodeUtf8(utf8);
    if (auto* wide = std::get_if<std::wstring>(&text)) return Unescape(std::move(*wide));
    return {};  // the XML reader passed nothing but UTF-8 on
}

// Gathers the text of a string item (<si>, <is>): its <t> and the <t> of its runs, but not the
// phonetic guide (<rPh>) East Asian spreadsheets keep beside it.
class StringItem {
public:
    void start(std::string_view name) {
        if (name == "rPh") ++phonetic_;
        if (name == "t") inText_ = true;
    }
    void end(std::string_view name) {
        if (name == "rPh" && phonetic_ > 0) --phonetic_;
        if (name == "t") inText_ = false;
    }
    void text(const std::string& utf8) {
        if (inText_ && phonetic_ == 0) text_ += utf8;
    }
    std::wstring take() {
        std::wstring out = Decoded(text_);
        text_.clear();
        phonetic_ = 0;
        inText_ = false;
        return out;
    }

private:
    std::string text_;
    int phonetic_ = 0;
    bool inText_ = false;
};

std::optional<Fault> WorkbookReader::sharedStrings(const std::string& part) {
    std::string text;
    if (auto fault = load(part, text)) return fault;
    xml::Reader reader(text);
    StringItem item;
    bool inItem = false;
    for (auto event = reader.next(); event != xml::Reader::Event::Done; event = reader.next()) {
        switch (event) {
        case xml::Reader::Event::Fault: return xmlFault(part, reader);
        case xml::Reader::Event::Start:
            if (reader.name() == "si" && reader.depth() == 2) inItem = true;
            else if (inItem) item.start(reader.name());
            break;
        case xml::Reader::Event::End:
            if (reader.name() == "si" && reader.depth() == 1) {
                if (strings_.size() >= MaxSharedStrings) return WholeFile(L"工作簿中的共享字符串超过1048576个");
                strings_.push_back(item.take());
                inItem = false;
            } else if (inItem) {
                item.end(reader.name());
            }
            break;
        case xml::Reader::Event::Text:
            if (inItem) item.text(reader.text());
            break;
        case xml::Reader::Event::Done: break;
        }
    }
    return std::nullopt;
}

// "B12" → column 2; 0 when it is no cell reference.
int ColumnOf(std::string_view reference) {
    int column = 0;
    std::size_t i = 0;
    for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i) {
        column = column * 26 + (reference[i] - 'A' + 1);
        if (column > MaxColumn) return 0;
    }
    return i == 0 ? 0 : column;
}

std::optional<int> Integer(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<Fault> WorkbookReader::cellText(int row, std::string_view type, std::string_view value,
                                              std::wstring& inlineText, std::wstring& out) const {
    if (type == "inlineStr") {
        out = std::move(inlineText);
    } else if (type == "s") {
        const auto index = Integer(value);
        if (!index || *index < 0 || static_cast<std::size_t>(*index) >= strings_.size()) {
            return Fault{row, L"引用了不存在的共享字符串"};
        }
        out = strings_[static_cast<std::size_t>(*index)];
    } else if (type == "b") {
        if (value != "0" && value != "1") return Fault{row, L"有无效的逻辑值"};
        out = value == "1" ? L"TRUE" : L"FALSE";
    } else if (type.empty() || type == "n") {
        if (value.empty()) {
            out.clear();
            return std::nullopt;
        }
        double number = 0;
        const auto result = std::from_chars(value.data(), value.data() + value.size(), number);
        if (result.ec != std::errc{} || result.ptr != value.data() + value.size() || !std::isfinite(number)) {
            return Fault{row, L"有无效的数字"};
        }
        out = GeneralNumberText(number);
    } else {
        out = Decoded(value);  // a formula's text ("str"), an error ("e"), a date ("d"): as stored
    }
    return std::nullopt;
}

std::optional<Fault> WorkbookReader::sheet(const std::string& part, std::vector<Row>& rows) {
    std::string text;
    if (auto fault = load(part, text)) return fault;
    xml::Reader reader(text);
    Row row;
    bool inData = false, inRow = false, inCell = false, inValue = false, inInline = false;
    int column = 0;
    std::string type, value;
    StringItem inlineItem;
    std::wstring inlineText;
    for (auto event = reader.next(); event != xml::Reader::Event::Done; event = reader.next()) {
        if (event == xml::Reader::Event::Fault) return xmlFault(part, reader);
        const std::string_view name = reader.name();
        if (event == xml::Reader::Event::Text) {
            if (inValue) value += reader.text();
            else if (inInline) inlineItem.text(reader.text());
        } else if (event == xml::Reader::Event::Start) {
            if (inInline) {
                inlineItem.start(name);
            } else if (name == "sheetData" && reader.depth() == 2) {
                inData = true;
            } else if (inData && !inRow && name == "row") {
                const std::string_view r = reader.attribute("r");
                const auto number = r.empty() ? std::optional<int>(row.number + 1) : Integer(r);
                if (!number || *number <= row.number || *number > MaxRow) {
                    return Fault{row.number + 1, L"的行号无效"};
                }
                row = Row{*number, 0, {}};
                inRow = true;
                column = 0;
            } else if (inRow && !inCell && name == "c") {
                const std::string_view r = reader.attribute("r");
                column = r.empty() ? column + 1 : ColumnOf(r);
                if (column == 0 || column > MaxColumn) return Fault{row.number, L"有无效的单元格位置"};
                type = reader.attribute("t");
                value.clear();
                inlineText.clear();
                inCell = true;
            } else if (inCell && name == "v") {
                inValue = true;
            } else if (inCell && name == "is") {
                inInline = true;
            }
        } else if (event == xml::Reader::Event::End) {
            if (inInline && name == "is") {
                inInline = false;
                inlineText = inlineItem.take();
            } else if (inInline) {
                inlineItem.end(name);
            } else if (inValue && name == "v") {
                inValue = false;
            } else if (inCell && name == "c") {
                inCell = false;
                std::wstring cell;
                if (auto fault = cellText(row.number, type, value, inlineText, cell)) return fault;
                if (cell.empty()) continue;
                characters_ += cell.size();
                if (characters_ > MaxCellCharacters) return WholeFile(L"工作簿中的文字超过33554432个字符");
                if (column <= JobColumnCount) row.cells[static_cast<std::size_t>(column - 1)] = std::move(cell);
                row.columns = std::max(row.columns, column);
            } else if (inRow && name == "row") {
                inRow = false;
                if (row.columns > 0) rows.push_back(std::move(row));
            } else if (inData && name == "sheetData") {
                inData = false;
            }
        }
    }
    return std::nullopt;
}

std::variant<std::vector<RenderJob>, Fault> WorkbookReader::read() {
    // The package names its workbook; the workbook its sheets (the first is read) and strings.
    std::map<std::string, Relationship> packageLinks;
    if (auto fault = relationships("", packageLinks)) return *fault;
    std::string workbookPart = "xl/workbook.xml";
    for (const auto& [id, link] : packageLinks) {
        if (link.type.ends_with("/officeDocument")) workbookPart = link.target;
    }
    std::string workbook;
    if (auto fault = load(workbookPart, workbook)) return *fault;
    std::string firstSheet;
    bool sheetFound = false;
    xml::Reader reader(workbook);
    for (auto event = reader.next(); event != xml::Reader::Event::Done; event = reader.next()) {
        if (event == xml::Reader::Event::Fault) return *xmlFault(workbookPart, reader);
        if (event == xml::Reader::Event::Start && reader.name() == "sheet" && !sheetFound) {
            firstSheet = reader.attribute("id");
            sheetFound = true;
        }
    }
    if (!sheetFound) return WholeFile(L"工作簿中没有工作表");

    std::map<std::string, Relationship> links;
    if (auto fault = relationships(workbookPart, links)) return *fault;
    const auto sheetLink = links.find(firstSheet);
    if (sheetLink == links.end() || !sheetLink->second.type.ends_with("/worksheet")) {
        return WholeFile(L"工作簿的第一张表不是工作表");
    }
    for (const auto& [id, link] : links) {
        if (link.type.ends_with("/sharedStrings")) {
            if (auto fault = sharedStrings(link.target)) return *fault;
            break;
        }
    }
    std::vector<Row> rows;
    if (auto fault = sheet(sheetLink->second.target, rows)) return *fault;

    if (rows.empty()) return Fault{1, L"没有标题行"};
    std::vector<RenderJob> jobs;
    jobs.reserve(rows.size() - 1);
    // The header says whether the sheet has the six columns or all nine.
    const int width = rows.front().columns > JobBaseColumnCount ? JobColumnCount : JobBaseColumnCount;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Row& row = rows[i];
        if (row.columns > width) {
            return Fault{row.number, L"有" + std::to_wstring(row.columns) + L"列，应为" + std::to_wstring(width) + L"列"};
        }
        if (i == 0) {
            for (std::size_t k = 0; k < static_cast<std::size_t>(width); ++k) {
                if (row.cells[k] != JobColumns[k].caption) return Fault{row.number, L"不是任务列表的标题行"};
            }
            continue;
        }
        for (std::size_t k = static_cast<std::size_t>(width); k < row.cells.size(); ++k) row.cells[k] = DefaultMarker;
        jobs.push_back(JobFromCells(std::move(row.cells)));
    }
    return jobs;
}

}  // namespace

std::wstring GeneralNumberText(double value) {
    if (value == 0) return L"0";
    const double magnitude = std::fabs(value);
    std::array<char, 400> buffer{};
    char* const first = buffer.data();
    char* const last = buffer.data() + buffer.size();
    const auto trim = [](std::string text) {
        if (text.find('.') == std::string::npos) return text;
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
        return text;
    };
    if (magnitude >= 1e-5 && magnitude < 1e11) {
        const auto whole = std::to_chars(first, last, magnitude, std::chars_format::fixed, 0);
        const int wholeDigits = static_cast<int>(whole.ptr - first);
        // Eleven places for digits and the point; never more than the 15 digits a cell keeps.
        int decimals = std::max(0, 10 - wholeDigits);
        if (magnitude < 1) decimals = std::min(decimals, 15 - static_cast<int>(std::floor(std::log10(magnitude))) - 1);
        else decimals = std::min(decimals, std::max(0, 15 - wholeDigits));
        const auto fixed = std::to_chars(first, last, value, std::chars_format::fixed, decimals);
        const std::string text = trim(std::string(first, fixed.ptr));
        const std::size_t digits = text.size() - (value < 0 ? 1 : 0);
        if (digits <= 11 && text != "0" && text != "-0") return std::wstring(text.begin(), text.end());
    }
    const auto scientific = std::to_chars(first, last, value, std::chars_format::scientific, 5);
    std::string text(first, scientific.ptr);
    const std::size_t e = text.find('e');
    std::string exponent = text.substr(e + 1);
    std::string mantissa = trim(text.substr(0, e));
    text = mantissa + "E" + exponent;
    return std::wstring(text.begin(), text.end());
}

std::string SaveJobWorkbook(std::span<const RenderJob> rows) {
    auto [sheet, strings] = SheetAndStrings(rows);
    std::string workbook(Declaration);
    workbook += "<workbook xmlns=\"";
    workbook += MainNamespace;
    workbook += "\" xmlns:r=\"";
    workbook += RelationshipTypes;
    workbook += "\"><bookViews><workbookView activeTab=\"0\"/></bookViews><sheets><sheet name=\"";
    workbook += SheetName;
    workbook += "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    std::string app(Declaration);
    app += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
           "<Application>Ravolen</Application></Properties>";

    const std::string types(RelationshipTypes);
    const std::string officeDocument = types + "/officeDocument";
    const std::string extended = types + "/extended-properties";
    const std::string worksheet = types + "/worksheet";
    const std::string styles = types + "/styles";
    const std::string sharedStrings = types + "/sharedStrings";
    const std::array<zip::Part, 8> parts{{
        {"[Content_Types].xml", ContentTypes()},
        {"_rels/.rels", Relationships({{officeDocument, "xl/workbook.xml"}, {extended, "docProps/app.xml"}})},
        {"docProps/app.xml", std::move(app)},
        {"xl/workbook.xml", std::move(workbook)},
        {"xl/_rels/workbook.xml.rels", Relationships({{worksheet, "worksheets/sheet1.xml"},
                                                      {styles, "styles.xml"},
                                                      {sharedStrings, "sharedStrings.xml"}})},
        {"xl/styles.xml", Styles()},
        {"xl/sharedStrings.xml", std::move(strings)},
        {"xl/worksheets/sheet1.xml", std::move(sheet)},
    }};
    return zip::Write(parts);
}

bool LooksLikeWorkbook(std::string_view bytes) { return bytes.starts_with("PK\x03\x04"); }

bool OpensAsWorkbook(std::wstring_view path, std::string_view bytes) {
    return FoldCase(FileNameOf(path)).ends_with(L".xlsx") || LooksLikeWorkbook(bytes);
}

JobListSaveTarget JobListSaveTargetOf(std::wstring_view typed, int filterIndex) {
    const std::wstring name = FoldCase(FileNameOf(typed));
    if (name.ends_with(L".xlsx")) return {std::wstring(typed), true};
    if (name.ends_with(L".csv")) return {std::wstring(typed), false};
    const bool workbook = filterIndex != 2;
    return {std::wstring(typed) + (workbook ? L".xlsx" : L".csv"), workbook};
}

std::variant<std::vector<RenderJob>, JobListFault> OpenJobWorkbook(std::string_view bytes) {
    auto package = zip::Package::Open(bytes);
    if (auto* reason = std::get_if<std::wstring>(&package)) return WholeFile(std::move(*reason));
    WorkbookReader reader(std::move(std::get<zip::Package>(package)));
    return reader.read();
}

}  // namespace ravolen
