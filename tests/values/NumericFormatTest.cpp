#include "values/NumericFormat.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

TEST(NumericFormat, ATextReadsAsTheNumberItBeginsWith) {
    EXPECT_EQ(LeadingNumber(L"12.50kg"), 12.5);
    EXPECT_EQ(LeadingNumber(L"abc"), 0);
    EXPECT_EQ(LeadingNumber(L""), 0);
    EXPECT_EQ(LeadingNumber(L"  -3.5e2x"), -350);
    EXPECT_EQ(LeadingNumber(L"1 2 3"), 123);
    EXPECT_EQ(LeadingNumber(L"7e"), 7);
    EXPECT_EQ(LeadingNumber(L".5"), 0.5);
    EXPECT_EQ(LeadingNumber(L"1..2"), 1);
    EXPECT_EQ(LeadingNumber(L"-"), 0);
    EXPECT_EQ(LeadingNumber(L"1e999"), 0);  // no number a cell can show
}

TEST(NumericFormat, NumbersPrintShortAndPatternsAsWritten) {
    EXPECT_EQ(NumberText(12.5), L"12.5");
    EXPECT_EQ(NumberText(-0.0), L"0");
    EXPECT_EQ(NumberText(1e20), L"1E+20");
    EXPECT_EQ(NumberText(1920), L"1920");
    EXPECT_EQ(FormatNumber(12.5, L"0.00"), L"12.50");
    EXPECT_EQ(FormatNumber(1234.5, L"#,##0.00"), L"1,234.50");
    EXPECT_EQ(FormatNumber(1234567, L"#,##0"), L"1,234,567");
    EXPECT_EQ(FormatNumber(0.5, L"#.##"), L".5");
    EXPECT_EQ(FormatNumber(7, L"000"), L"007");
    EXPECT_EQ(FormatNumber(-2.345, L"0.0 px"), L"-2.3 px");
    EXPECT_EQ(FormatNumber(-0.01, L"0.0"), L"0.0");
    EXPECT_EQ(FormatNumber(3, L"no digits"), L"no digits");
}

}  // namespace
}  // namespace ravolen
