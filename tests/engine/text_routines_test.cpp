#include "engine/text_routines.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <random>

#include "core/status.h"

namespace hsc {
namespace {

// ---- parse_cell_ref -------------------------------------------------------------------

struct CellRefCase {
    const char* name;
    const char* ref;
    int rc;
    int row;
    int column;
};

void PrintTo(const CellRefCase& c, std::ostream* os) { *os << c.name; }

class ParseCellRef : public testing::TestWithParam<CellRefCase> {};

TEST_P(ParseCellRef, GivesRowAndColumn) {
    const auto& c = GetParam();
    int row = 77, column = 77;
    EXPECT_EQ(parse_cell_ref(c.ref, row, column), c.rc) << c.ref;
    EXPECT_EQ(row, c.row) << c.ref;
    EXPECT_EQ(column, c.column) << c.ref;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCellRef,
    testing::Values(CellRefCase{"A1", "A1", 0, 0, 0}, CellRefCase{"B12", "B12", 0, 11, 1},
                    CellRefCase{"AbsoluteB12", "$B$12", 0, 11, 1}, CellRefCase{"AB7", "AB7", 0, 6, 27},
                    CellRefCase{"Lowercase", "ab7", 0, 6, 27}, CellRefCase{"Z1", "Z1", 0, 0, 25},
                    CellRefCase{"AA1", "AA1", 0, 0, 26}, CellRefCase{"ZZ1", "ZZ1", 0, 0, 701},
                    CellRefCase{"AAA1", "AAA1", 0, 0, 702},
                    CellRefCase{"LastCell", "XFD1048576", 0, 1048575, 16383},
                    CellRefCase{"RowZero", "A0", -1, 0, 0}, CellRefCase{"RowTooBig", "A1048577", -1, 0, 0},
                    CellRefCase{"ColumnTooBig", "XFE1", -1, 0, 0}, CellRefCase{"FourLetters", "AAAA1", -1, 0, 0},
                    CellRefCase{"DigitFirst", "1A", -1, 0, 0}, CellRefCase{"Empty", "", -1, 0, 0},
                    CellRefCase{"NoRow", "AB", -1, 0, 0}, CellRefCase{"StarRow", "A$*", -1, 0, 0},
                    CellRefCase{"DollarOnly", "$", -1, 0, 0}, CellRefCase{"SignedRow", "A$-1", -1, 0, 0},
                    CellRefCase{"CommaRow", "A1,000", -1, 0, 0}, CellRefCase{"NonLetter", "A_1", -1, 0, 0},
                    CellRefCase{"HugeRow", "A99999999999999999999", -1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- is_numeric_text -------------------------------------------------------------------

struct NumericCase {
    const char* name;
    const char* text;
    int rc;
};

void PrintTo(const NumericCase& c, std::ostream* os) { *os << c.name; }

class IsNumericText : public testing::TestWithParam<NumericCase> {};

TEST_P(IsNumericText, Decides) { EXPECT_EQ(is_numeric_text(GetParam().text), GetParam().rc) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Cases, IsNumericText,
    testing::Values(NumericCase{"Integer", "12", 0}, NumericCase{"Negative", "-3", 0},
                    NumericCase{"Grouped", "1,234.5", 0}, NumericCase{"PlusZero", "+0", 0},
                    NumericCase{"LeadingPoint", ".5", 0}, NumericCase{"Empty", "", -1},
                    NumericCase{"TwoPoints", "1.2.3", -1}, NumericCase{"InnerSign", "1-2", -1},
                    NumericCase{"SignAlone", "-", -1}, NumericCase{"TrailingLetter", "12a", -1},
                    NumericCase{"CommasOnly", ",,", -1}, NumericCase{"Space", "1 2", -1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- split_next_item ---------------------------------------------------------------------

std::vector<std::string> all_items(int mode, std::string_view text, int& last_rc) {
    std::vector<std::string> items;
    std::size_t offset = 0;
    std::string item;
    while ((last_rc = split_next_item(mode, text, offset, item)) == RC_OK) {
        items.push_back(item);
        if (items.size() > 100) break;
    }
    return items;
}

struct SplitCase {
    const char* name;
    std::string text;
    std::vector<std::string> items;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitNextItem : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitNextItem, GivesTheItemsThenNotFound) {
    int rc = 0;
    EXPECT_EQ(all_items(ENC_SJIS, GetParam().text, rc), GetParam().items);
    EXPECT_EQ(rc, RC_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitNextItem,
    testing::Values(SplitCase{"EmptyItemsSkipped", "A,,C", {"A", "C"}},
                    SplitCase{"LeadingAndTrailingCommas", ",A,B,", {"A", "B"}},
                    SplitCase{"TrailingSemicolonDropped", "A,BC;", {"A", "BC"}},
                    SplitCase{"OnlyOneSemicolonDropped", "A;;", {"A;"}},
                    SplitCase{"SemicolonAloneIsNoItem", "A,;", {"A"}},
                    SplitCase{"Empty", "", {}},
                    // 0x82 0x2C is one Shift-JIS character whose second byte is a comma.
                    SplitCase{"CommaInsideDoubleByte", "A\x82,B,C", {"A\x82,B", "C"}},
                    SplitCase{"CutDoubleByteAtEnd", "A,\x82", {"A", "\x82"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitNextItem, OffsetStopsAtTheCommaThatEndedTheItem) {
    std::size_t offset = 0;
    std::string item;
    ASSERT_EQ(split_next_item(ENC_SJIS, "AB,C", offset, item), RC_OK);
    EXPECT_EQ(offset, 2u);
}

TEST(SplitNextItem, ItemOfExactly4000BytesPassesOneMoreFails) {
    std::string item;
    std::size_t offset = 0;
    EXPECT_EQ(split_next_item(ENC_SJIS, std::string(4000, 'A') + ",B", offset, item), RC_OK);
    EXPECT_EQ(item.size(), 4000u);
    offset = 0;
    EXPECT_EQ(split_next_item(ENC_SJIS, std::string(4001, 'A'), offset, item), RC_SIZE_LIMIT);
}

// ---- upper_ascii_unquoted ---------------------------------------------------------------

struct UpperCase {
    const char* name;
    std::string text;
    int rc;
    std::string result;
};

void PrintTo(const UpperCase& c, std::ostream* os) { *os << c.name; }

class UpperAsciiUnquoted : public testing::TestWithParam<UpperCase> {};

TEST_P(UpperAsciiUnquoted, ChangesOnlyUnquotedLetters) {
    std::string text = GetParam().text;
    EXPECT_EQ(upper_ascii_unquoted(ENC_SJIS, text), GetParam().rc);
    if (GetParam().rc == 0) {
        EXPECT_EQ(text, GetParam().result);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpperAsciiUnquoted,
    testing::Values(UpperCase{"Plain", "ab1z", 0, "AB1Z"}, UpperCase{"SingleQuoted", "a'bc'd", 0, "A'bc'D"},
                    UpperCase{"DoubledQuoteInside", "a'b''c'd", 0, "A'b''c'D"},
                    UpperCase{"DoubleQuoted", "a\"b'c\"d", 0, "A\"b'c\"D"},
                    // 0x82 0x61 is one Shift-JIS character; its second byte is not the letter a.
                    UpperCase{"DoubleByteSteppedOver", "a\x82" "a", 0, "A\x82" "a"},
                    UpperCase{"OpenSingle", "a'b", -1, ""}, UpperCase{"OpenDouble", "\"b", -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- mb_extra_bytes ----------------------------------------------------------------------

struct MbCase {
    const char* name;
    int mode;
    unsigned char byte;
    int extra;
};

void PrintTo(const MbCase& c, std::ostream* os) { *os << c.name; }

class MbExtraBytes : public testing::TestWithParam<MbCase> {};

TEST_P(MbExtraBytes, CountsAndAdvances) {
    std::size_t position = 10;
    EXPECT_EQ(mb_extra_bytes(GetParam().mode, GetParam().byte, position), GetParam().extra);
    EXPECT_EQ(position, 10u + GetParam().extra);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MbExtraBytes,
    testing::Values(MbCase{"SjisAscii", ENC_SJIS, 'A', 0}, MbCase{"SjisLow", ENC_SJIS, 0x81, 1},
                    MbCase{"Sjis9F", ENC_SJIS, 0x9F, 1}, MbCase{"SjisHalfKana", ENC_SJIS, 0xA0, 0},
                    MbCase{"SjisE0", ENC_SJIS, 0xE0, 1}, MbCase{"SjisFC", ENC_SJIS, 0xFC, 1},
                    MbCase{"SjisFD", ENC_SJIS, 0xFD, 0}, MbCase{"Euc8E", ENC_EUC, 0x8E, 1},
                    MbCase{"EucA1", ENC_EUC, 0xA1, 1}, MbCase{"EucFE", ENC_EUC, 0xFE, 1},
                    MbCase{"EucA0", ENC_EUC, 0xA0, 0}, MbCase{"EucFF", ENC_EUC, 0xFF, 0},
                    MbCase{"Utf8Ascii", ENC_UTF8, 0x7F, 0}, MbCase{"Utf8Continuation", ENC_UTF8, 0x80, 0},
                    MbCase{"Utf8C0", ENC_UTF8, 0xC0, 1}, MbCase{"Utf8DF", ENC_UTF8, 0xDF, 1},
                    MbCase{"Utf8E0", ENC_UTF8, 0xE0, 2}, MbCase{"Utf8EF", ENC_UTF8, 0xEF, 2},
                    MbCase{"Utf8F0", ENC_UTF8, 0xF0, 3}, MbCase{"Utf8F7", ENC_UTF8, 0xF7, 3},
                    MbCase{"Utf8F8", ENC_UTF8, 0xF8, 0}, MbCase{"Utf16HighSurrogate", ENC_UTF16, 0xD8, 3},
                    MbCase{"Utf16DB", ENC_UTF16, 0xDB, 3}, MbCase{"Utf16Other", ENC_UTF16, 0x00, 1},
                    MbCase{"Utf16DC", ENC_UTF16, 0xDC, 1}, MbCase{"UnknownMode", 9, 0x81, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- compare_entry_names -----------------------------------------------------------------

int sign(int v) { return (v > 0) - (v < 0); }

struct CompareCase {
    const char* name;
    const char* a;
    const char* b;
    int expected;  // sign
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.name; }

class CompareEntryNames : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareEntryNames, OrdersAndIsAntisymmetric) {
    const auto& c = GetParam();
    EXPECT_EQ(sign(compare_entry_names(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(compare_entry_names(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareEntryNames,
    testing::Values(
        CompareCase{"Drawing2Before10", "xl/drawings/drawing2.xml", "xl/drawings/drawing10.xml", -1},
        CompareCase{"SameName", "xl/drawings/drawing2.xml", "xl/drawings/drawing2.xml", 0},
        // Different stems: plain byte order ('s' < 'w' after "xl/").
        CompareCase{"SheetVsWorkbook", "xl/worksheets/sheet1.xml", "xl/workbook.xml", 1},
        CompareCase{"DifferentExtension", "a10.xml", "a2.xmm", -1},
        CompareCase{"LongExtensionByteOrder", "a10.abcdefghi", "a2.abcdefghi", -1},
        CompareCase{"EightCharExtensionNatural", "a10.abcdefgh", "a2.abcdefgh", 1},
        CompareCase{"NineDigitsByteOrder", "a900000000.x", "a1000000000.x", 1},
        CompareCase{"EightDigitsNatural", "a9999999.x", "a10000000.x", -1},
        CompareCase{"NoDot", "abc10", "abc2", -1},
        CompareCase{"LeadingZerosTieBroken", "d01.xml", "d1.xml", -1}),
    [](const auto& info) { return std::string(info.param.name); });

struct PrefixCase {
    const char* name;
    const char* xml;
    const char* prefix;
};

void PrintTo(const PrefixCase& c, std::ostream* os) { *os << c.name; }

class RootElementPrefix : public testing::TestWithParam<PrefixCase> {};

TEST_P(RootElementPrefix, FindsThePrefixOfTheRoot) {
    EXPECT_EQ(root_element_prefix(GetParam().xml), GetParam().prefix);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootElementPrefix,
    testing::Values(PrefixCase{"Plain", "<?xml version=\"1.0\"?>\n<sst xmlns=\"m\"><si/></sst>", ""},
                    PrefixCase{"Prefixed", "<?xml version=\"1.0\"?><x:sst xmlns:x=\"m\"/>", "x:"},
                    PrefixCase{"CommentFirst", "<!-- a:b --><x:worksheet>", "x:"},
                    PrefixCase{"PrefixOnlyInAttributes", "<sst xmlns:x=\"m\">", ""},
                    PrefixCase{"NoElement", "text", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SortEntryNames, ListsDrawingsInNumericOrder) {
    std::vector<std::string> names;
    for (int i = 12; i >= 1; --i) names.push_back("xl/drawings/drawing" + std::to_string(i) + ".xml");
    names.push_back("xl/drawings/_rels/drawing1.xml.rels");
    names.push_back("[Content_Types].xml");
    sort_entry_names(names);
    ASSERT_EQ(names.size(), 14u);
    EXPECT_EQ(names[0], "[Content_Types].xml");
    EXPECT_EQ(names[1], "xl/drawings/_rels/drawing1.xml.rels");
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(names[i + 1], "xl/drawings/drawing" + std::to_string(i) + ".xml");
}

TEST(SortEntryNames, SurvivesNamesWithNoConsistentOrder) {
    // a2 < a10 (natural), a10 < a1z and a1z < a2 (bytes): a cycle no comparison sort can
    // honour; the sort must still keep every name and stay in bounds.
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("a" + std::to_string(i) + ".x");
        names.push_back("a" + std::to_string(i) + "z.x");
    }
    std::mt19937 rng(7);
    std::shuffle(names.begin(), names.end(), rng);
    auto expected = names;
    sort_entry_names(names);
    std::sort(expected.begin(), expected.end());
    auto got = names;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);
}

// Names from a package reach a terminal: no control character gets through.
TEST(Printable, ControlCharactersBecomeQuestionMarks) {
    EXPECT_EQ(printable("xl/worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
    EXPECT_EQ(printable("名簿\x1b]0;owned\x07"), "名簿?]0;owned?");
    EXPECT_EQ(printable("a\tb\nc\x7f"), "a?b?c?");
    EXPECT_EQ(printable("\xC2\x9B" "31m \xC2\xA0 \xC2"), "?31m \xC2\xA0 \xC2");  // C1 CSI; NBSP stays
}

}  // namespace
}  // namespace hsc
