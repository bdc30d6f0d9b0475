#include "engine/text_mask.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

namespace hsc {
namespace {

MaskSettings settings(int step, int mchar = MCHAR_CIRCLE, int letter = CHAR_STAR, int number = NUMBER_NINE,
                      int wchar = WCHAR_TIMES) {
    MaskSettings s;
    s.mask_wchar = wchar;
    s.mask_step = step;
    s.mask_mchar = mchar;
    s.mask_char = letter;
    s.mask_number = number;
    return s;
}

std::string masked(std::string run, const MaskSettings& s, bool preserve = false,
                   RunEscapes escapes = RunEscapes::none) {
    EXPECT_EQ(mask_text_run(std::span<char>(run.data(), run.size()), preserve, s, escapes), 0);
    return run;
}

struct RunCase {
    const char* name;
    std::string run;
    MaskSettings s;
    bool preserve;
    std::string expected;
    RunEscapes escapes = RunEscapes::none;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class MaskTextRun : public testing::TestWithParam<RunCase> {};

TEST_P(MaskTextRun, MasksInPlaceKeepingTheLength) {
    const auto& c = GetParam();
    const std::string got = masked(c.run, c.s, c.preserve, c.escapes);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(got.size(), c.run.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskTextRun,
    testing::Values(
        RunCase{"StrongCircleStarNine", "東京都ABC123", settings(1), false, "●●●***999"},
        RunCase{"StrongSquareXZero", "東京都ABC123", settings(1, MCHAR_SQUARE, CHAR_X, NUMBER_ZERO), false,
                "■■■XXX000"},
        RunCase{"Kome", "東京", settings(1, MCHAR_KOME), false, "※※"},
        RunCase{"MediumEachClassCountsAlone", "東京都ABC123", settings(2), false, "東●都A*C929"},
        RunCase{"WeakHyphensTakeTheirTurn", "A-B-C", settings(3), false, "A-*-C"},
        RunCase{"MediumHyphensHideEveryLetter", "A-B-C-D", settings(2), false, "A-B-C-D"},
        RunCase{"NoneStillCounts", "東京都ABC123", settings(2, MCHAR_NONE, CHAR_NONE, NUMBER_NINE), false,
                "東京都ABC929"},
        RunCase{"UnknownIndexesAreNone", "東A1", settings(1, 7, -1, 5), false, "東A1"},
        RunCase{"StepBelowOneActsLikeOne", "AB1", settings(0), false, "**9"},
        RunCase{"EntityKeptWhole", "Tom &amp; Jerry", settings(1), false, "*** &amp; *****"},
        // A numeric reference is the character it names: masked in reference form, with
        // the byte length kept by leading zeros.
        RunCase{"ReferenceToKanaMasked", "&#12354;B", settings(1), false, "&#09679;*"},
        RunCase{"ReferenceToCyrillicMasked", "&#1048;&#x432;", settings(1), false, "&#0215;&#0215;"},
        RunCase{"ReferenceToLetterAndDigit", "&#65;&#x31;", settings(1), false, "&#42;&#057;"},
        // A character of four bytes is two UTF-16 units: masked as two mask characters,
        // the second written as UTF-8 to keep the length.
        RunCase{"ReferenceToEmojiMasked", "&#x1F600;", settings(1), false, "&#0215;×"},
        RunCase{"ShortestReferenceToEmoji", "&#65536;", settings(1), false, "&#215;×"},
        RunCase{"ReferenceTakesItsTurn", "&#1048;&#1074;&#1072;", settings(2), false, "&#1048;&#0215;&#1072;"},
        RunCase{"ReferenceWithNoneStays", "&#1048;", settings(1, MCHAR_CIRCLE, CHAR_STAR, NUMBER_NINE, WCHAR_NONE),
                false, "&#1048;"},
        RunCase{"ReferenceToPunctuationStays", "&#44;&#x20;", settings(1), false, "&#44;&#x20;"},
        RunCase{"NotAReference", "&#12a;&#;B", settings(1), false, "&#12a;&#;*"},
        RunCase{"SpacesCountWithoutPreserve", " AB CD ", settings(2), false, " *B C* "},
        RunCase{"PreservedSpacesDoNotCount", " AB CD ", settings(2), true, " A* C* "},
        // Two-byte characters of every script, and four-byte ones, are masked too.
        RunCase{"Cyrillic", "Приморский край, Владивосток", settings(1), false,
                "×××××××××× ××××, ×××××××××××"},
        RunCase{"Greek", "Αθήνα 10558", settings(1), false, "××××× 99999"},
        RunCase{"Accented", "Männer Café", settings(1), false, "*×**** ***×"},
        RunCase{"HebrewArabic", "שלום سلام", settings(1), false, "×××× ××××"},
        RunCase{"CurrencySign", "Ωé", settings(1, MCHAR_CIRCLE, CHAR_STAR, NUMBER_NINE, WCHAR_CURRENCY), false,
                "¤¤"},
        RunCase{"EmojiBecomesTwoMasks", "A😀B", settings(1), false, "*××*"},
        RunCase{"RareKanjiOfFourBytes", "𠮷田", settings(1), false, "××●"},
        RunCase{"WcharNoneKeepsTwoAndFourByte", "é😀東A", settings(1, MCHAR_CIRCLE, CHAR_STAR, NUMBER_NINE, WCHAR_NONE),
                false, "é😀●*"},
        RunCase{"AllMultiByteClassesShareOneCount", "éé東😀ü", settings(2), false, "é×東××ü"},
        RunCase{"TwoByteTakesItsTurn", "éé東", settings(3), false, "éé●"},
        // An _xHHHH_ escape of cell text is one character: masked like it in the same
        // form; a control character stays.
        RunCase{"EscapeOfControlStays", "A_x000D_B", settings(1), false, "*_x000D_*", RunEscapes::cell_text},
        RunCase{"EscapeLowerHex", "_x00e9_1", settings(1), false, "_x00D7_9", RunEscapes::cell_text},
        RunCase{"EscapeTakesItsTurn", "AB_x0041_CD", settings(2), false, "A*_x0041_*D", RunEscapes::cell_text},
        RunCase{"EscapesOfLetterDigitAndKana", "_x0041__x0031__x3042_", settings(1), false,
                "_x002A__x0039__x25CF_", RunEscapes::cell_text},
        RunCase{"EscapedSurrogatePairIsTwoMasks", "_xD83D__xDE00_", settings(1), false, "_x00D7__x00D7_",
                RunEscapes::cell_text},
        RunCase{"EscapeBesideEntity", "&amp;_x0009_Ж", settings(1), false, "&amp;_x0009_×", RunEscapes::cell_text},
        RunCase{"NotAnEscapeTooShort", "_x12_", settings(1), false, "_*99_", RunEscapes::cell_text},
        RunCase{"NotAnEscapeBadHex", "_x12G4_", settings(1), false, "_*99*9_", RunEscapes::cell_text},
        RunCase{"EscapeCutByRunEnd", "_x004", settings(1), false, "_*999", RunEscapes::cell_text},
        // An escaped underscore is one character; what follows it is ordinary text.
        RunCase{"EscapedUnderscore", "_x005F_x0041_", settings(1), false, "_x005F_*9999_", RunEscapes::cell_text},
        RunCase{"DrawingTextHasNoEscapes", "_x000D_", settings(1), false, "_*999*_"},
        RunCase{"HalfWidthKanaAndFullWidthDigit", "ｱ１", settings(1), false, "●●"},
        RunCase{"PunctuationStays", "a.b,c", settings(1), false, "*.*,*"},
        // A lead byte without its continuation bytes is a single byte that is never
        // replaced; the letters after it are masked as letters.
        RunCase{"BrokenLeadByte", "\xE6" "AB", settings(1), false, "\xE6**"},
        RunCase{"Empty", "", settings(1), false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A run may end inside a character or an entity reference: the bytes beyond the run
// must stay untouched (they are the next part of the document).
struct CutCase {
    const char* name;
    std::string run;
    std::string beyond;
    std::string expected_run;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class MaskTextRunCut : public testing::TestWithParam<CutCase> {};

TEST_P(MaskTextRunCut, NeverTouchesBytesBeyondTheRun) {
    const auto& c = GetParam();
    std::string buffer = c.run + c.beyond;
    mask_text_run(std::span<char>(buffer.data(), c.run.size()), false, settings(1));
    EXPECT_EQ(buffer.substr(0, c.run.size()), c.expected_run);
    EXPECT_EQ(buffer.substr(c.run.size()), c.beyond);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskTextRunCut,
    testing::Values(CutCase{"ThreeByteCutAfterOne", "A\xE6", "\x9D\xB1" "BC", "*\xE6"},
                    CutCase{"ThreeByteCutAfterTwo", "A\xE6\x9D", "\xB1" "BC", "*\xE6\x9D"},
                    CutCase{"FourByteCut", "A\xF0\x9F\x98", "\x80Z", "*\xF0\x9F\x98"},
                    CutCase{"EntityCut", "A&am", "p;B", "*&am"},
                    CutCase{"AmpersandLast", "AB&", "amp;C", "**&"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the shared-string pass -----------------------------------------------------------

const std::string kHead = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                          "\n<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" "
                          "uniqueCount=\"3\">";

std::string sst(const std::string& items) { return kHead + items + "</sst>"; }

TEST(MaskSharedStrings, MasksOnlyFlaggedItemsWhenColumnsAreChosen) {
    std::string text = sst("<si><t>Alice</t></si><si><t>Bob</t></si><si><t>東京 12</t></si>");
    const std::size_t length = text.size();
    mask_shared_strings_text(text, {1, 0, 1}, 1, settings(1));
    EXPECT_EQ(text, sst("<si><t>*****</t></si><si><t>Bob</t></si><si><t>●● 99</t></si>"));
    EXPECT_EQ(text.size(), length);
}

TEST(MaskSharedStrings, MasksEveryItemWithoutChosenColumns) {
    std::string text = sst("<si><t>Alice</t></si><si><t>Bob</t></si>");
    mask_shared_strings_text(text, {0, 0}, 0, settings(1));
    EXPECT_EQ(text, sst("<si><t>*****</t></si><si><t>***</t></si>"));
}

TEST(MaskSharedStrings, MasksRichRunsAndPhoneticReadingsButNoMarkup) {
    const std::string item =
        "<si><r><rPr><b/><sz val=\"11\"/><rFont val=\"Arial\"/></rPr><t>Ab</t></r>"
        "<r><t xml:space=\"preserve\"> Cd</t></r><rPh sb=\"0\" eb=\"1\"><t>トウ</t></rPh>"
        "<phoneticPr fontId=\"1\"/></si>";
    std::string text = sst(item);
    mask_shared_strings_text(text, {1}, 1, settings(1));
    EXPECT_EQ(text, sst("<si><r><rPr><b/><sz val=\"11\"/><rFont val=\"Arial\"/></rPr><t>**</t></r>"
                        "<r><t xml:space=\"preserve\"> **</t></r><rPh sb=\"0\" eb=\"1\"><t>●●</t></rPh>"
                        "<phoneticPr fontId=\"1\"/></si>"));
}

TEST(MaskSharedStrings, PreserveFlagOnlyForTheElementThatCarriesIt) {
    std::string text = sst("<si><t xml:space=\"preserve\"> AB </t></si><si><t> AB </t></si>");
    mask_shared_strings_text(text, {}, 0, settings(2));
    EXPECT_EQ(text, sst("<si><t xml:space=\"preserve\"> A* </t></si><si><t> *B </t></si>"));
}

// Text elements with other attribute spellings still hold cell text: they are masked too.
TEST(MaskSharedStrings, OtherTextElementSpellingsAreMasked) {
    std::string text = sst("<si><t xml:space='preserve'> AB</t></si><si><t\txml:space=\"default\">CD</t></si>"
                           "<si><t/></si><si><t xml:space=\"preserve\"/></si><si><tx>EF</tx></si>");
    mask_shared_strings_text(text, {}, 0, settings(2));
    EXPECT_EQ(text, sst("<si><t xml:space='preserve'> A*</t></si><si><t\txml:space=\"default\">C*</t></si>"
                        "<si><t/></si><si><t xml:space=\"preserve\"/></si><si><tx>EF</tx></si>"));
}

TEST(MaskSharedStrings, UnterminatedRunIsMaskedToTheEndOfTheText) {
    std::string text = "<si><t>AB";
    mask_shared_strings_text(text, {1}, 1, settings(1));
    EXPECT_EQ(text, "<si><t>**");
}

TEST(MaskSharedStrings, MoreItemsThanFlagsLeavesTheRestUnmasked) {
    std::string text = sst("<si><t>A</t></si><si><t>B</t></si>");
    mask_shared_strings_text(text, {1}, 1, settings(1));
    EXPECT_EQ(text, sst("<si><t>*</t></si><si><t>B</t></si>"));
}

// The pass jumps from one '<' to the next: tags after a byte-order mark, line breaks,
// a stray '<' right before a tag, and trailing text without tags must all still be seen.
TEST(MaskSharedStrings, FindsTagsWhateverBytesStandBetweenThem) {
    std::string text = "\xEF\xBB\xBF" + kHead + "\r\n  <si>\n <t>AB</t>\n</si> <<si><t>CD</t></si>\t"
                       "<si><t>EF</t></si>tail 12";
    mask_shared_strings_text(text, {1, 1, 0}, 1, settings(1));
    EXPECT_EQ(text, "\xEF\xBB\xBF" + kHead + "\r\n  <si>\n <t>**</t>\n</si> <<si><t>**</t></si>\t"
                    "<si><t>EF</t></si>tail 12");

    std::string no_tags = "AB 12";
    mask_shared_strings_text(no_tags, {}, 0, settings(1));
    EXPECT_EQ(no_tags, "AB 12");
}

// Some producers write the main namespace with a prefix (<x:sst><x:si><x:t>): their cell
// text must be masked all the same.
TEST(MaskSharedStrings, PrefixedElementsAreMasked) {
    const std::string head = "<?xml version=\"1.0\"?><x:sst xmlns:x=\"http://schemas.openxmlformats.org/"
                             "spreadsheetml/2006/main\">";
    std::string text = head + "<x:si><x:t>Ab</x:t></x:si><x:si><x:t xml:space=\"preserve\"> Cd</x:t></x:si>"
                              "<x:si><x:t>Ef</x:t></x:si></x:sst>";
    mask_shared_strings_text(text, {1, 1, 0}, 1, settings(1));
    EXPECT_EQ(text, head + "<x:si><x:t>**</x:t></x:si><x:si><x:t xml:space=\"preserve\"> **</x:t></x:si>"
                           "<x:si><x:t>Ef</x:t></x:si></x:sst>");
}

// Every item takes an index, whatever its start tag: a flag must fall on the item the
// cell refers to, after empty items and items with attributes too.
struct ItemCase {
    const char* name;
    std::string items;
    std::vector<std::uint8_t> flags;
    std::string expected;
};

void PrintTo(const ItemCase& c, std::ostream* os) { *os << c.name; }

class MaskSharedStringItems : public testing::TestWithParam<ItemCase> {};

TEST_P(MaskSharedStringItems, FlagsFallOnTheItemsCellsReferTo) {
    const auto& c = GetParam();
    std::string text = sst(c.items);
    mask_shared_strings_text(text, c.flags, 1, settings(1));
    EXPECT_EQ(text, sst(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskSharedStringItems,
    testing::Values(
        ItemCase{"AfterAnEmptyItem", "<si><t>Pub</t></si><si/><si><t>Secret</t></si><si><t>Pub</t></si>",
                 {0, 0, 1, 0}, "<si><t>Pub</t></si><si/><si><t>******</t></si><si><t>Pub</t></si>"},
        ItemCase{"EmptyItemWithSpace", "<si /><si><t>Ab</t></si>", {0, 1}, "<si /><si><t>**</t></si>"},
        ItemCase{"ItemWithAttributes", "<si a=\"x>y\"><t>Ab</t></si><si\n><t>Cd</t></si><si><t>Ef</t></si>",
                 {1, 1, 0}, "<si a=\"x>y\"><t>**</t></si><si\n><t>**</t></si><si><t>Ef</t></si>"},
        ItemCase{"FlaggedEmptyItemThenUnflagged", "<si/><si><t>Ab</t></si>", {1, 0}, "<si/><si><t>Ab</t></si>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MaskSharedStrings, PrefixedEmptyItemsCount) {
    const std::string head = "<x:sst xmlns:x=\"m\">";
    std::string text = head + "<x:si/><x:si><x:t>Ab</x:t></x:si><x:si><x:t>Cd</x:t></x:si></x:sst>";
    mask_shared_strings_text(text, {0, 0, 1}, 1, settings(1));
    EXPECT_EQ(text, head + "<x:si/><x:si><x:t>Ab</x:t></x:si><x:si><x:t>**</x:t></x:si></x:sst>");
}

// The preview says what masking the table changes without changing it: the items it
// changes, as they were, and the selected items left with text the settings mask (text
// in elements the masker does not know, here a run with a prefix the table's root does
// not use).
TEST(PreviewMaskedItems, AgreesWithTheMaskerAndCountsWhatItLeaves) {
    const std::string original =
        sst("<si><t>Ab</t></si><si><y:t>Secret</y:t></si><si><y:t>Other</y:t></si><si><t>12</t></si><si/>");
    const std::vector<std::uint8_t> flags = {1, 1, 0, 1, 1};
    std::vector<std::string> changed;
    const auto keep = [&](std::string_view item) { changed.emplace_back(item); };
    EXPECT_EQ(preview_masked_items(original, flags, 1, settings(1), keep), 1u);  // Secret, not Other
    EXPECT_EQ(changed, (std::vector<std::string>{"<t>Ab</t>", "<t>12</t>"}));

    // Digits the settings keep are no text left unmasked.
    const MaskSettings keep_digits = settings(1, MCHAR_CIRCLE, CHAR_STAR, NUMBER_NONE);
    changed.clear();
    EXPECT_EQ(preview_masked_items(original, {0, 0, 0, 1, 0}, 1, keep_digits, keep), 0u);
    EXPECT_TRUE(changed.empty());
    // Without a column list every item is selected.
    changed.clear();
    EXPECT_EQ(preview_masked_items(original, {}, 0, settings(1), keep), 2u);
    EXPECT_EQ(changed.size(), 2u);
}

// An item masks the same alone as in its table: a run whose end tag is missing stops at
// the end of its item, and the next item's markup is never touched.
TEST(PreviewMaskedItems, ARunNeverReachesIntoTheNextItem) {
    const std::string original = sst("<si><t>Ab</si><si><t>Cd</t></si>");
    std::string text = original;
    mask_shared_strings_text(text, {1, 0}, 1, settings(1));
    EXPECT_EQ(text, sst("<si><t>**</si><si><t>Cd</t></si>"));
    std::vector<std::string> changed;
    preview_masked_items(original, {1, 0}, 1, settings(1), [&](std::string_view item) { changed.emplace_back(item); });
    EXPECT_EQ(changed, std::vector<std::string>{"<t>Ab"});
}

// ---- the drawing pass -------------------------------------------------------------------

TEST(MaskDrawingText, MasksOnlyTheTextOfATElements) {
    const std::string shape =
        "<xdr:sp><xdr:nvSpPr><xdr:cNvPr id=\"2\" name=\"TextBox 1\"/></xdr:nvSpPr><xdr:txBody><a:p>"
        "<a:r><a:rPr lang=\"en-US\" sz=\"1100\"/><a:t>Total 2015</a:t></a:r><a:r><a:t>東京</a:t></a:r>"
        "</a:p></xdr:txBody></xdr:sp>";
    std::string text = shape;
    mask_drawing_text(text, settings(1));
    std::string expected = shape;
    expected.replace(expected.find("Total 2015"), 10, "***** 9999");
    expected.replace(expected.find("東京"), 6, "●●");
    EXPECT_EQ(text, expected);
}

TEST(MaskDrawingText, OtherElementsStartingWithATAreLeftAlone) {
    const std::string table = "<a:tbl><a:tr h=\"1\"><a:tc><a:txBody><a:p><a:r><a:t xml:space=\"preserve\">Ab 1</a:t>"
                              "</a:r><a:tab/></a:p></a:txBody></a:tc></a:tr></a:tbl><a:t/>";
    std::string text = table;
    mask_drawing_text(text, settings(1));
    std::string expected = table;
    expected.replace(expected.find("Ab 1"), 4, "** 9");
    EXPECT_EQ(text, expected);
}

TEST(MaskDrawingText, DrawingWithoutTextStaysAsItIs) {
    const std::string chart_anchor =
        "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"Chart 1\"/>"
        "</xdr:nvGraphicFramePr></xdr:graphicFrame>";
    std::string text = chart_anchor;
    mask_drawing_text(text, settings(1));
    EXPECT_EQ(text, chart_anchor);
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// Numbers keep their signs, point and exponent: the masked value is a number of the
// same length. Dates become a fixed moment of the same form.
struct ValueCase {
    const char* label;
    std::string value;
    std::string masked;
    int step = STEP_STRONG;
    int digit = NUMBER_NINE;
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.label; }
class MaskNumber : public ::testing::TestWithParam<ValueCase> {};

TEST_P(MaskNumber, DigitsOfTheMantissaOnly) {
    MaskSettings s;
    s.mask_step = GetParam().step;
    s.mask_number = GetParam().digit;
    std::string value = GetParam().value;
    EXPECT_EQ(mask_number_text(value, s), GetParam().value != GetParam().masked);
    EXPECT_EQ(value, GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MaskNumber,
    ::testing::Values(ValueCase{"integer", "1500001", "9999999"},
                      ValueCase{"negative_decimal", "-1234.5", "-9999.9"},
                      ValueCase{"exponent_stays", "1.2345E+21", "9.9999E+21"},
                      ValueCase{"small_exponent", "3.5e-7", "9.9e-7"},
                      ValueCase{"zero_mask", "45123.75", "00000.00", STEP_STRONG, NUMBER_ZERO},
                      ValueCase{"medium_every_second_digit", "123456", "193959", STEP_MEDIUM},
                      ValueCase{"none_leaves_it", "9012345678", "9012345678", STEP_STRONG, NUMBER_NONE}),
    [](const auto& info) { return std::string(info.param.label); });

class MaskIsoDate : public ::testing::TestWithParam<ValueCase> {};

TEST_P(MaskIsoDate, FixedMomentOfTheSameForm) {
    std::string value = GetParam().value;
    mask_iso_date(value);
    EXPECT_EQ(value, GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MaskIsoDate,
    ::testing::Values(ValueCase{"date", "1985-03-12", "1900-01-01"},
                      ValueCase{"date_time", "1990-12-01T08:30:00", "1900-01-01T00:00:00"},
                      ValueCase{"fraction_and_zone", "2001-02-03T04:05:06.789Z", "1900-01-01T00:00:00.000Z"},
                      ValueCase{"time_only", "T09:30:15", "T00:00:00"},
                      ValueCase{"five_digit_year", "12001-02-03", "01900-01-01"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// Text literals of a formula are masked like cell text, so a recalculation shows masked
// text; everything that makes the formula work stays.
struct FormulaCase {
    const char* label;
    std::string formula;  // as <f> stores it
    std::string masked;
};
void PrintTo(const FormulaCase& c, std::ostream* os) { *os << c.label; }
class MaskFormula : public ::testing::TestWithParam<FormulaCase> {};

TEST_P(MaskFormula, LiteralsOnly) {
    std::string f = GetParam().formula;
    EXPECT_EQ(mask_formula_literals(f, settings(1)), GetParam().formula != GetParam().masked);
    EXPECT_EQ(f, GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Formulas, MaskFormula,
    ::testing::Values(FormulaCase{"joined_name", "\"佐藤\"&amp;\" 花子\"", "\"●●\"&amp;\" ●●\""},
                      FormulaCase{"escaped_quotes", "&quot;Sato&quot;&amp;B2", "&quot;****&quot;&amp;B2"},
                      FormulaCase{"hyperlink", "HYPERLINK(\"tel:0312345678\",\"Call\")",
                                  "HYPERLINK(\"***:9999999999\",\"****\")"},
                      FormulaCase{"doubled_quote_stays", "\"Say \"\"hi\"\"\"&amp;A1", "\"*** \"\"**\"\"\"&amp;A1"},
                      FormulaCase{"sheet_name_stays", "'Sato list'!A1&amp;\"x\"", "'Sato list'!A1&amp;\"*\""},
                      FormulaCase{"sheet_name_with_quote", "&apos;Sato&apos;&apos;s&apos;!B2", "&apos;Sato&apos;&apos;s&apos;!B2"},
                      FormulaCase{"no_literal", "SUM(A1:A3)*2+LEN(B1)", "SUM(A1:A3)*2+LEN(B1)"},
                      FormulaCase{"unterminated_masked_to_the_end", "\"Sato", "\"****"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
