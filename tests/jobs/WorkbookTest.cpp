#include "jobs/Workbook.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "jobs/Zip.h"
#include "support/Fixtures.h"

namespace ravolen {
namespace {

using Rows = std::vector<RenderJob>;

std::string Part(std::string_view workbook, std::string_view name) {
    auto package = zip::Package::Open(workbook);
    auto bytes = std::get<zip::Package>(package).read(name);
    return std::holds_alternative<std::string>(bytes) ? std::get<std::string>(bytes) : std::string();
}

JobListFault FaultOf(std::string_view workbook) {
    const auto opened = OpenJobWorkbook(workbook);
    return std::holds_alternative<JobListFault>(opened) ? std::get<JobListFault>(opened)
                                                        : JobListFault{-1, L"opened"};
}

// A workbook around a sheet's rows (and shared strings), as spreadsheet programs lay it out.
std::string WorkbookOf(std::string_view sheetData, std::string_view strings = "",
                       std::string_view workbookExtra = "") {
    const std::string rels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::array<zip::Part, 5> parts{{
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"rId1\" Type=\"" + rels + "/officeDocument\" Target=\"/xl/workbook.xml\"/>"
                        "</Relationships>"},
        {"xl/workbook.xml", "<?xml version=\"1.0\"?>" + std::string(workbookExtra) +
                            "<workbook xmlns:r=\"" + rels + "\"><sheets><sheet name=\"A\" sheetId=\"2\" r:id=\"rId7\"/>"
                            "<sheet name=\"B\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"" + rels + "/worksheet\" Target=\"worksheets/other.xml\"/>"
         "<Relationship Id=\"rId7\" Type=\"" + rels + "/worksheet\" Target=\"./worksheets/../worksheets/first.xml\"/>"
         "<Relationship Id=\"rId3\" Type=\"" + rels + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/sharedStrings.xml", "<sst>" + std::string(strings) + "</sst>"},
        {"xl/worksheets/first.xml", "<worksheet><sheetData>" + std::string(sheetData) + "</sheetData></worksheet>"},
    }};
    return zip::Write(parts);
}

constexpr std::string_view HeaderRow =
    "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Max文件</t></is></c><c r=\"B1\" t=\"inlineStr\"><is><t>相机</t></is></c>"
    "<c r=\"C1\" t=\"inlineStr\"><is><t>出图路径</t></is></c><c r=\"D1\" t=\"inlineStr\"><is><t>出图文件名</t></is></c>"
    "<c r=\"E1\" t=\"inlineStr\"><is><t>长</t></is></c><c r=\"F1\" t=\"inlineStr\"><is><t>宽</t></is></c></row>";

// Rows full of what spreadsheets and XML like to change.
Rows Awkward() {
    std::wstring controls;
    for (wchar_t c = 1; c < 0x20; ++c) controls += c;
    return {
        {L"D:\\场景\\大堂,夜景.max", L"0012", L"D:\\出图", L"1.10", L"0800", L"  640"},
        {L"  both ends  ", L"3-4", L"1e3", L"=1+1", L"1,920", L"默认"},
        {L"& < > \" ' &amp; ]]>", L"\xD834\xDD1E \xD840\xDC0B"  /* 𝄞 𠀋 as UTF-16, as on Windows */, L"", L"a\r\nb\rc\nd\te.tga", L"", L"TRUE"},
        {controls, L"_x0041_ _X0041_ _x005F_ _x12", L"\xD800 lone \xDFFF", L"\xFFFE\xFFFF", L"_", L"x_x"},
    };
}

TEST(Workbook, RowsComeBackExactlyWhateverSpreadsheetsAndXmlWouldMakeOfThem) {
    Rows rows = Awkward();
    for (int i = 0; i < 10000; ++i) {
        rows.push_back({L"E:\\镜头\\" + std::to_wstring(i) + L".max", L"00" + std::to_wstring(i % 7), L"F:\\out",
                        std::to_wstring(i) + L".10.tga", L"默认", L"0" + std::to_wstring(i)});
    }
    const std::string file = SaveJobWorkbook(rows);
    EXPECT_TRUE(LooksLikeWorkbook(file));
    const auto opened = OpenJobWorkbook(file);
    ASSERT_TRUE(std::holds_alternative<Rows>(opened)) << std::get<JobListFault>(opened).line;
    const Rows& back = std::get<Rows>(opened);
    ASSERT_EQ(back.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto a = JobCells(back[i]), b = JobCells(rows[i]);
        for (std::size_t k = 0; k < a.size(); ++k) {
            ASSERT_TRUE(a[k] == b[k]) << "row " << i << " column " << k + 1 << ": " << a[k].size() << " vs " << b[k].size();
        }
    }
    EXPECT_EQ(SaveJobWorkbook(std::get<Rows>(opened)), file);
    EXPECT_EQ(std::get<Rows>(OpenJobWorkbook(SaveJobWorkbook({}))), Rows{});

    // How the characters XML 1.0 cannot carry are kept: as Excel writes them.
    const std::string strings = Part(file, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("_x0001__x0002_"), std::string::npos);
    EXPECT_NE(strings.find("a_x000D_\nb_x000D_c\nd\te.tga"), std::string::npos);
    EXPECT_NE(strings.find("_x005F_x0041_ _x005F_X0041_ _x005F_x005F_ _x12"), std::string::npos);
    EXPECT_NE(strings.find("_xD800_ lone _xDFFF_"), std::string::npos);
    EXPECT_NE(strings.find("&amp; &lt; &gt; \" ' &amp;amp; ]]&gt;"), std::string::npos);
    EXPECT_NE(strings.find("<t xml:space=\"preserve\">  both ends  </t>"), std::string::npos);
}

// Nine columns when a row uses the optional ones, all text; six otherwise, as today.
TEST(Workbook, TheOptionalColumnsComeBackWhenUsed) {
    Rows rows = Awkward();
    rows[1].frames = L"0-100";
    rows[1].preset = L"D:\\预设\\final.rps";
    const std::string nine = SaveJobWorkbook(rows);
    EXPECT_EQ(OpenJobWorkbook(nine), (std::variant<Rows, JobListFault>(rows)));
    const std::string six = SaveJobWorkbook(Awkward());
    EXPECT_EQ(OpenJobWorkbook(six), (std::variant<Rows, JobListFault>(Awkward())));
    EXPECT_NE(nine.size(), six.size());
}

TEST(Workbook, TheSheetIsOneTextSheetWithABoldFrozenHeaderAndTheTablesWidths) {
    const std::string file = SaveJobWorkbook(Awkward());
    for (const char* name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/styles.xml", "docProps/app.xml"}) {
        EXPECT_FALSE(Part(file, name).empty()) << name;
    }
    const std::string workbook = Part(file, "xl/workbook.xml");
    EXPECT_NE(workbook.find("<sheets><sheet name=\"任务列表\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"),
              std::string::npos);
    const std::string styles = Part(file, "xl/styles.xml");
    EXPECT_NE(styles.find("<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"),
              std::string::npos);
    EXPECT_NE(styles.find("<font><b/>"), std::string::npos);
    EXPECT_NE(styles.find("numFmtId=\"49\" fontId=\"1\""), std::string::npos);

    const std::string sheet = Part(file, "xl/worksheets/sheet1.xml");
    EXPECT_NE(sheet.find("<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"),
              std::string::npos);
    EXPECT_NE(sheet.find("<col min=\"1\" max=\"1\" width=\"36.19\" style=\"1\" customWidth=\"1\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<col min=\"6\" max=\"6\" width=\"5.71\" style=\"1\" customWidth=\"1\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<c r=\"A1\" s=\"2\" t=\"s\"><v>0</v></c>"), std::string::npos);
    EXPECT_NE(sheet.find("<c r=\"B2\" s=\"1\" t=\"s\">"), std::string::npos);
    EXPECT_NE(sheet.find("<c r=\"C4\" s=\"1\"/>"), std::string::npos);  // empty: no value at all
    // Every cell with a value is a string cell.
    std::size_t cells = 0, strings = 0;
    for (std::size_t at = 0; (at = sheet.find("<c r=", at)) != std::string::npos; ++at) ++cells;
    for (std::size_t at = 0; (at = sheet.find("t=\"s\"", at)) != std::string::npos; ++at) ++strings;
    EXPECT_EQ(cells, 30u);
    EXPECT_EQ(strings, 28u);
}

TEST(Workbook, TheFormatFollowsTheNameThenTheBytesOrTheChosenFilter) {
    struct Case {
        const wchar_t* typed;
        int filter;  // 1: workbook, 2: CSV
        JobListSaveTarget target;
    };
    // The name typed with either extension is kept exactly, whatever type was chosen; any other
    // name gets the chosen type's extension.
    for (const Case& c : {
             Case{L"D:\\lists\\j.csv", 1, {L"D:\\lists\\j.csv", false}},
             Case{L"D:\\lists\\j.Csv", 2, {L"D:\\lists\\j.Csv", false}},
             Case{L"D:\\a.xlsx", 2, {L"D:\\a.xlsx", true}},
             Case{L"D:\\a.XLSX", 1, {L"D:\\a.XLSX", true}},
             Case{L"D:\\a", 1, {L"D:\\a.xlsx", true}},
             Case{L"D:\\a", 2, {L"D:\\a.csv", false}},
             Case{L"D:\\a.txt", 1, {L"D:\\a.txt.xlsx", true}},
             Case{L"D:\\a.csv.bak", 2, {L"D:\\a.csv.bak.csv", false}},
             Case{L"D:\\x.xlsx\\a", 2, {L"D:\\x.xlsx\\a.csv", false}},
             Case{L"D:\\夜景.xlsx", 2, {L"D:\\夜景.xlsx", true}},
         }) {
        EXPECT_EQ(JobListSaveTargetOf(c.typed, c.filter), c.target) << c.typed << " " << c.filter;
    }
    EXPECT_TRUE(OpensAsWorkbook(L"D:\\a.xlsx", "Max文件"));
    EXPECT_TRUE(OpensAsWorkbook(L"D:\\a.csv", SaveJobWorkbook({})));
    EXPECT_FALSE(OpensAsWorkbook(L"D:\\a.csv", SaveJobList({})));
}

TEST(Workbook, NumbersReadAsTheGeneralFormatShowsThem) {
    const std::pair<double, std::wstring_view> shown[] = {
        {1920, L"1920"},
        {1.1, L"1.1"},
        {12, L"12"},
        {0.5, L"0.5"},
        {1e21, L"1E+21"},
        {0, L"0"},
        {-1.5, L"-1.5"},
        {0.1 + 0.2, L"0.3"},
        {1.0 / 3, L"0.333333333"},
        {2.0 / 3 * 1000, L"666.6666667"},
        {12345678901, L"12345678901"},
        {123456789012, L"1.23457E+11"},
        {99999999999.9, L"1E+11"},
        {0.000123456789, L"0.000123457"},
        {0.00001, L"0.00001"},
        {0.000001, L"1E-06"},
        {-2.5e-300, L"-2.5E-300"},
    };
    for (const auto& [value, text] : shown) EXPECT_EQ(GeneralNumberText(value), text) << value;
}

TEST(Workbook, CellsReadAsTheSpreadsheetShowsThem) {
    const std::string strings =
        "<si><t>plain&#x1D11E;&#20013;</t></si>"
        "<si><r><rPr><b/></rPr><t>ri</t></r><r><t xml:space=\"preserve\">ch </t></r><rPh sb=\"0\" eb=\"1\"><t>ふり</t></rPh></si>"
        "<si><t>a_x000D_b_x005F_x0041_</t></si>"
        "<si><t><![CDATA[<cdata> &amp;]]></t></si>";
    const std::string file = WorkbookOf(
        std::string(HeaderRow) +
        "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\" t=\"s\"><v>1</v></c><c r=\"C2\" t=\"s\"><v>2</v></c>"
        "<c r=\"D2\" t=\"s\"><v>3</v></c><c r=\"E2\"><v>1920</v></c><c r=\"F2\" t=\"n\"><v>1.1000000000000001</v></c></row>"
        "<row r=\"4\"><c r=\"B4\" t=\"b\"><v>1</v></c><c t=\"b\"><v>0</v></c><c r=\"E4\" t=\"str\"><f>A1</f><v>formula</v></c>"
        "<c r=\"F4\" s=\"3\"/></row>"
        "<row r=\"5\"><c r=\"A5\"><v>1E+21</v></c><c r=\"F5\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r></is></c></row>"
        "<row r=\"6\"/><row r=\"7\"><c r=\"A7\" t=\"inlineStr\"><is><t></t></is></c><c r=\"H7\" s=\"1\"/></row>",
        strings);
    const auto opened = OpenJobWorkbook(file);
    ASSERT_TRUE(std::holds_alternative<Rows>(opened)) << std::get<JobListFault>(opened).line;
    const Rows expected = {
        {L"plain\xD834\xDD1E中", L"rich ", L"a\rb_x0041_", L"<cdata> &amp;", L"1920", L"1.1"},
        {L"", L"TRUE", L"FALSE", L"", L"formula", L""},
        {L"1E+21", L"", L"", L"", L"", L"inline"},
    };
    EXPECT_EQ(std::get<Rows>(opened), expected);
}

TEST(Workbook, AFaultNamesTheRowAndSaysWhatIsWrong) {
    const auto row = [](std::string_view cells) { return std::string(HeaderRow) + "<row r=\"3\">" + std::string(cells) + "</row>"; };
    EXPECT_EQ(FaultOf(WorkbookOf(row("<c r=\"A3\"><v>1</v></c><c r=\"G3\"><v>2</v></c>"))),
              (JobListFault{3, L"有7列，应为6列"}));
    EXPECT_EQ(FaultOf(WorkbookOf(row("<c r=\"A3\" t=\"s\"><v>5</v></c>"))), (JobListFault{3, L"引用了不存在的共享字符串"}));
    EXPECT_EQ(FaultOf(WorkbookOf(row("<c r=\"A3\"><v>12abc</v></c>"))), (JobListFault{3, L"有无效的数字"}));
    EXPECT_EQ(FaultOf(WorkbookOf(row("<c r=\"A3\" t=\"b\"><v>2</v></c>"))), (JobListFault{3, L"有无效的逻辑值"}));
    EXPECT_EQ(FaultOf(WorkbookOf(row("<c r=\"3A\"><v>1</v></c>"))), (JobListFault{3, L"有无效的单元格位置"}));
    EXPECT_EQ(FaultOf(WorkbookOf(std::string(HeaderRow) + "<row r=\"1\"/>")), (JobListFault{2, L"的行号无效"}));
    EXPECT_EQ(FaultOf(WorkbookOf("<row r=\"2\"><c r=\"A2\"><v>1</v></c></row>")), (JobListFault{2, L"不是任务列表的标题行"}));
    EXPECT_EQ(FaultOf(WorkbookOf("")), (JobListFault{1, L"没有标题行"}));
    EXPECT_EQ(JobListFaultMessage(L"D:\\a.xlsx", {0, L"工作簿解压后超过64MB"}),
              L"无法读取任务列表：D:\\a.xlsx（工作簿解压后超过64MB）");
}

// Overwrites the 32-bit field at `offset` of every central directory header.
std::string PatchCentral(std::string file, std::size_t offset, std::uint32_t value) {
    for (std::size_t at = 0; (at = file.find("PK\x01\x02", at)) != std::string::npos; at += 4) {
        for (int i = 0; i < 4; ++i) file[at + offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
    return file;
}

// Overwrites the 32-bit field at `offset` of the end record, the last 22 bytes of a package
// without a comment.
std::string PatchEnd(std::string file, std::size_t offset, std::uint32_t value) {
    const std::size_t end = file.size() - 22;
    for (int i = 0; i < 4; ++i) file[end + offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    return file;
}

std::uint32_t EndField(std::string_view file, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(file[file.size() - 22 + offset + static_cast<std::size_t>(i)]);
    return value;
}

TEST(Workbook, HostileFilesAreRefusedWithTheirReason) {
    const std::string good = SaveJobWorkbook(Awkward());
    // A central directory said to run past the end of the file, or to start there.
    const std::uint32_t size = EndField(good, 12);
    for (const auto& [offset, value] : {std::pair<std::size_t, std::uint32_t>{12, size + 23},
                                        {16, static_cast<std::uint32_t>(good.size())}}) {
        EXPECT_EQ(FaultOf(PatchEnd(good, offset, value)), (JobListFault{0, L"不是有效的xlsx工作簿，压缩包已损坏"}))
            << offset << " " << value;
    }
    // More than 64 MB unpacked, though small packed.
    const std::array<zip::Part, 1> bomb{{{"xl/worksheets/sheet1.xml", std::string(zip::MaxUnpackedBytes + 1, ' ')}}};
    EXPECT_EQ(FaultOf(zip::Write(bomb)), (JobListFault{0, L"工作簿解压后超过64MB"}));
    // A part that inflates past the size its header states.
    const std::string small = PatchCentral(good, 24, 10);
    EXPECT_EQ(FaultOf(small).line, 0);
    EXPECT_TRUE(FaultOf(small).reason.ends_with(L"解压后超出声明的大小")) << FaultOf(small).reason;
    // A damaged zip.
    EXPECT_EQ(FaultOf(good.substr(0, good.size() / 2)), (JobListFault{0, L"不是有效的xlsx工作簿，压缩包已损坏"}));
    EXPECT_EQ(FaultOf(PatchCentral(good, 16, 0x12345678)).reason, L"工作簿中的_rels/.rels校验和不符");
    EXPECT_EQ(FaultOf(PatchCentral(good, 42, 0x7FFFFFF0)).reason, L"工作簿中的_rels/.rels已损坏");
    EXPECT_EQ(FaultOf("PK\x03\x04 nothing else"), (JobListFault{0, L"不是有效的xlsx工作簿，压缩包已损坏"}));
    // XML with a DTD or entities: the billion laughs never get expanded.
    const std::string laughs =
        "<!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]>";
    EXPECT_EQ(FaultOf(WorkbookOf(HeaderRow, "", laughs)),
              (JobListFault{0, L"工作簿中的xl/workbook.xml含有DTD或实体声明，不予读取"}));
    EXPECT_EQ(FaultOf(WorkbookOf(HeaderRow, "<si><t>&lol2;</t></si>")),
              (JobListFault{0, L"工作簿中的xl/sharedStrings.xml含有未定义的实体或无效的字符引用"}));
    EXPECT_EQ(FaultOf(WorkbookOf(HeaderRow, "<si><t>&#0;</t></si>")).line, 0);
    EXPECT_EQ(FaultOf(WorkbookOf(std::string(HeaderRow) + "<row>")),
              (JobListFault{0, L"工作簿中的xl/worksheets/first.xml的XML格式错误"}));
    EXPECT_EQ(FaultOf(WorkbookOf(std::string(20000, '<'))).line, 0);
    // One shared string of a million characters in every cell: not a thousand million copied.
    std::string repeated(HeaderRow);
    for (int row = 2; row <= 12; ++row) {
        repeated += "<row>";
        for (int column = 0; column < 6; ++column) repeated += "<c t=\"s\"><v>0</v></c>";
        repeated += "</row>";
    }
    EXPECT_EQ(FaultOf(WorkbookOf(repeated, "<si><t>" + std::string(1 << 20, 'x') + "</t></si>")),
              (JobListFault{0, L"工作簿中的文字超过33554432个字符"}));
}

TEST(Workbook, WorkbooksASpreadsheetProgramSavedOpenAsExpected) {
    if (!std::filesystem::is_directory(test::SpreadsheetFixtures())) {
        GTEST_SKIP() << "the spreadsheet fixtures are not at " << test::SpreadsheetFixtures().string();
    }
    for (const std::string name : {"job-list-text", "job-list-general"}) {
        const std::string workbook = test::SpreadsheetFixture(name + ".xlsx").value_or("");
        const std::string csv = test::SpreadsheetFixture(name + ".expected.csv").value_or("");
        ASSERT_FALSE(workbook.empty()) << name;
        const auto expected = OpenJobList(csv);
        ASSERT_TRUE(std::holds_alternative<Rows>(expected)) << name;
        const auto opened = OpenJobWorkbook(workbook);
        ASSERT_TRUE(std::holds_alternative<Rows>(opened)) << name << " " << std::get<JobListFault>(opened).line;
        EXPECT_EQ(std::get<Rows>(opened), std::get<Rows>(expected)) << name;
    }
}

TEST(Workbook, DamagedCopiesOfARealWorkbookNeverCrash) {
    // A spreadsheet program's, with data descriptors; ours where the fixtures are missing.
    const std::string original = test::SpreadsheetFixture("job-list-text.xlsx").value_or(SaveJobWorkbook(Awkward()));
    std::uint32_t seed = 12345;
    const auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    // A copy cut short has lost its end record, wherever the cut falls.
    for (std::size_t length = 0; length < original.size(); length += 11) {
        EXPECT_EQ(FaultOf(original.substr(0, length)), (JobListFault{0, L"不是有效的xlsx工作簿，压缩包已损坏"}))
            << length;
    }
    // Flipped bits may leave the rows readable; what is refused says why.
    for (int round = 0; round < 1000; ++round) {
        std::string copy = original;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
            copy[random() % copy.size()] ^= static_cast<char>(1u << (random() % 8));
        }
        const auto opened = OpenJobWorkbook(copy);
        if (const auto* fault = std::get_if<JobListFault>(&opened)) {
            EXPECT_FALSE(fault->reason.empty()) << round;
        }
    }
}

}  // namespace
}  // namespace ravolen
