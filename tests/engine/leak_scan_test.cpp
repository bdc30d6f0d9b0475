#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/leak_scan.h"

namespace hsc {
namespace {

MaskedTexts people() {
    MaskedTexts t;
    EXPECT_TRUE(t.add("Yamada Taro"));
    EXPECT_TRUE(t.add("東京都新宿区"));
    EXPECT_TRUE(t.add("user@example.com"));
    EXPECT_TRUE(t.add("AB12"));
    EXPECT_TRUE(t.add("090-1111-2222"));
    return t;
}

struct LeakCase {
    const char* label;
    const char* part;
    std::string xml;
    std::vector<LeakFinding> expected;
};
void PrintTo(const LeakCase& c, std::ostream* os) { *os << c.label; }

std::string sheet(const std::string& body) {
    return "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
           body + "</worksheet>";
}

class LeakScan : public ::testing::TestWithParam<LeakCase> {};

TEST_P(LeakScan, FindsTheTextByKindAndPart) {
    const LeakCase& c = GetParam();
    std::vector<LeakFinding> findings;
    scan_part(c.part, c.xml, people(), findings);
    EXPECT_EQ(findings, c.expected);
}

LeakCase found(const char* label, const char* part, std::string xml, LeakKind kind, std::size_t count = 1) {
    return {label, part, std::move(xml), {{kind, part, count}}};
}
LeakCase none(const char* label, const char* part, std::string xml) { return {label, part, std::move(xml), {}}; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, LeakScan,
    ::testing::Values(
        found("shared_strings", "xl/sharedStrings.xml",
              "<sst><si><t>●●●</t></si><si><r><t>Yamada Taro</t></r></si></sst>", LeakKind::shared_strings),
        found("inline_string", "xl/worksheets/sheet1.xml",
              sheet("<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Yamada Taro</t></is></c></row></sheetData>"),
              LeakKind::inline_strings),
        found("phone_number_as_formula_result", "xl/worksheets/sheet2.xml",
              sheet("<sheetData><row r=\"1\"><c r=\"B1\" t=\"str\"><f>A1</f><v>090-1111-2222</v></c></row></sheetData>"),
              LeakKind::formula_results),
        found("formula_result", "xl/worksheets/sheet2.xml",
              sheet("<sheetData><row r=\"1\"><c r=\"B1\" t=\"str\"><f>A1</f><v>Yamada Taro</v></c></row></sheetData>"),
              LeakKind::formula_results),
        found("formula_literal", "xl/worksheets/sheet1.xml",
              sheet("<sheetData><row><c r=\"B1\"><f>IF(A1=&quot;Yamada Taro&quot;,1,0)</f><v>1</v></c></row></sheetData>"),
              LeakKind::formulas),
        found("comment_after_author_line", "xl/comments1.xml",
              "<comments><commentList><comment ref=\"A1\"><text><r><t>Author:</t></r>"
              "<r><t xml:space=\"preserve\">&#10;Yamada Taro</t></r></text></comment></commentList></comments>",
              LeakKind::comments),
        found("threaded_comment", "xl/threadedComments/threadedComment1.xml",
              "<ThreadedComments><threadedComment ref=\"A1\"><text>Yamada Taro</text></threadedComment></ThreadedComments>",
              LeakKind::comments),
        found("vml_with_escape", "xl/drawings/vmlDrawing1.vml",
              "<xml><v:shape><v:textbox><div><font>Yamada_x0020_Taro</font></div></v:textbox></v:shape></xml>",
              LeakKind::vml),
        found("shape_text", "xl/drawings/drawing1.xml",
              "<xdr:wsDr><xdr:sp><a:p><a:r><a:t>Yamada Taro</a:t></a:r></a:p></xdr:sp></xdr:wsDr>", LeakKind::shapes),
        found("chart_cache_char_ref", "xl/charts/chart1.xml",
              "<c:chartSpace><c:strCache><c:pt idx=\"0\"><c:v>&#x6771;京都新宿区</c:v></c:pt>"
              "<c:pt idx=\"1\"><c:v>東京都新宿区</c:v></c:pt></c:strCache></c:chartSpace>",
              LeakKind::charts, 2),
        found("pivot_cache_item", "xl/pivotCache/pivotCacheDefinition1.xml",
              "<pivotCacheDefinition><cacheFields><cacheField name=\"Name\"><sharedItems>"
              "<s v=\"Yamada Taro\"/></sharedItems></cacheField></cacheFields></pivotCacheDefinition>",
              LeakKind::pivot_cache),
        found("doc_properties", "docProps/core.xml",
              "<cp:coreProperties><dc:creator>Yamada Taro</dc:creator></cp:coreProperties>", LeakKind::doc_properties),
        found("header_codes", "xl/worksheets/sheet1.xml",
              sheet("<headerFooter><oddHeader>&amp;L&amp;\"Arial,Bold\"&amp;12Yamada Taro&amp;R&amp;P</oddHeader>"
                    "</headerFooter>"),
              LeakKind::headers_footers),
        found("defined_name_literal", "xl/workbook.xml",
              "<workbook><definedNames><definedName name=\"who\">\"Yamada Taro\"</definedName></definedNames></workbook>",
              LeakKind::defined_names),
        found("sheet_name", "xl/workbook.xml",
              "<workbook><sheets><sheet name=\"Yamada Taro\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>",
              LeakKind::sheet_names),
        found("mailto_target", "xl/worksheets/_rels/sheet1.xml.rels",
              "<Relationships><Relationship Id=\"rId1\" Target=\"mailto:user@example.com?subject=Hi\" "
              "TargetMode=\"External\"/></Relationships>",
              LeakKind::hyperlinks),
        found("hyperlink_display", "xl/worksheets/sheet1.xml",
              sheet("<hyperlinks><hyperlink ref=\"A1\" r:id=\"rId1\" display=\"user@example.com\"/></hyperlinks>"),
              LeakKind::hyperlinks),
        found("validation_list", "xl/worksheets/sheet1.xml",
              sheet("<dataValidations count=\"1\"><dataValidation type=\"list\" sqref=\"A1\">"
                    "<formula1>\"Osaka,Yamada Taro,Kobe\"</formula1></dataValidation></dataValidations>"),
              LeakKind::data_validation),
        found("external_link_cache", "xl/externalLinks/externalLink1.xml",
              "<externalLink><externalBook><sheetDataSet><sheetData sheetId=\"0\"><row r=\"1\">"
              "<cell r=\"A1\" t=\"str\"><v>Yamada Taro</v></cell></row></sheetData></sheetDataSet></externalBook>"
              "</externalLink>",
              LeakKind::external_links),
        found("cdata", "customXml/item1.xml", "<root><![CDATA[Yamada Taro]]></root>", LeakKind::custom_xml),
        // Values beside the cells: filters, rules, names, formulas, extension lists, scenarios.
        found("autofilter_value", "xl/worksheets/sheet1.xml",
              sheet("<autoFilter ref=\"A1:B9\"><filterColumn colId=\"0\"><filters><filter val=\"Yamada Taro\"/>"
                    "</filters></filterColumn></autoFilter>"),
              LeakKind::filters),
        found("custom_view_custom_filter", "xl/worksheets/sheet1.xml",
              sheet("<customSheetViews><customSheetView guid=\"{0}\"><autoFilter ref=\"A1:B9\"><filterColumn colId=\"1\">"
                    "<customFilters><customFilter operator=\"equal\" val=\"東京都新宿区\"/></customFilters>"
                    "</filterColumn></autoFilter></customSheetView></customSheetViews>"),
              LeakKind::filters),
        found("table_filter", "xl/tables/table1.xml",
              "<table id=\"1\" name=\"T\" ref=\"A1:B9\"><autoFilter ref=\"A1:B9\"><filterColumn colId=\"0\"><filters>"
              "<filter val=\"Yamada Taro\"/></filters></filterColumn></autoFilter></table>",
              LeakKind::filters),
        found("conditional_format_text", "xl/worksheets/sheet1.xml",
              sheet("<conditionalFormatting sqref=\"A1:A9\"><cfRule type=\"containsText\" dxfId=\"0\" priority=\"1\" "
                    "operator=\"containsText\" text=\"Yamada Taro\"><formula>NOT(ISERROR(SEARCH(A1,B1)))</formula>"
                    "</cfRule></conditionalFormatting>"),
              LeakKind::formulas),
        found("conditional_format_formula_literal", "xl/worksheets/sheet1.xml",
              sheet("<conditionalFormatting sqref=\"A1:A9\"><cfRule type=\"expression\" dxfId=\"0\" priority=\"1\">"
                    "<formula>$A1=\"Yamada Taro\"</formula></cfRule></conditionalFormatting>"),
              LeakKind::formulas),
        found("defined_name_called_after_a_value", "xl/workbook.xml",
              "<workbook><definedNames><definedName name=\"東京都新宿区\">Lists!$B$2:$B$9</definedName></definedNames>"
              "</workbook>",
              LeakKind::defined_names),
        found("defined_name_comment", "xl/workbook.xml",
              "<workbook><definedNames><definedName name=\"who\" comment=\"Yamada Taro\">Lists!$A$1</definedName>"
              "</definedNames></workbook>",
              LeakKind::defined_names),
        found("hyperlink_formula_mailto", "xl/worksheets/sheet1.xml",
              sheet("<sheetData><row r=\"1\"><c r=\"B1\" t=\"str\"><f>HYPERLINK(\"mailto:user@example.com?subject=Hi\","
                    "\"Mail\")</f><v>Mail</v></c></row></sheetData>"),
              LeakKind::formulas),
        found("x14_validation_list", "xl/worksheets/sheet1.xml",
              sheet("<extLst><ext uri=\"{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}\"><x14:dataValidations count=\"1\">"
                    "<x14:dataValidation type=\"list\"><x14:formula1><xm:f>\"Osaka,Yamada Taro,Kobe\"</xm:f>"
                    "</x14:formula1><xm:sqref>A1</xm:sqref></x14:dataValidation></x14:dataValidations></ext></extLst>"),
              LeakKind::data_validation),
        found("scenario_input", "xl/worksheets/sheet1.xml",
              sheet("<scenarios current=\"0\"><scenario name=\"s\" count=\"1\"><inputCells r=\"AB12\" "
                    "val=\"090-1111-2222\"/></scenario></scenarios>"),
              LeakKind::scenarios),
        // A text split into runs of one item, comment, title or text box.
        found("rich_text_item_in_runs", "xl/sharedStrings.xml",
              "<sst><si><r><t>Yamada</t></r>\n  <r><rPr><b/></rPr><t xml:space=\"preserve\"> Taro</t></r>"
              "<rPh sb=\"0\" eb=\"1\"><t>ヤマダ</t></rPh></si></sst>",
              LeakKind::shared_strings),
        found("comment_in_runs", "xl/comments1.xml",
              "<comments><commentList><comment ref=\"A1\"><text><r><t>Author:</t></r><r><t xml:space=\"preserve\">"
              "&#10;Yamada </t></r><r><t>Taro</t></r></text></comment></commentList></comments>",
              LeakKind::comments),
        found("chart_title_in_runs", "xl/charts/chart1.xml",
              "<c:chartSpace><c:title><c:tx><c:rich><a:p><a:r><a:t>東京都</a:t></a:r><a:r><a:t>新宿区</a:t></a:r>"
              "</a:p></c:rich></c:tx></c:title></c:chartSpace>",
              LeakKind::charts),
        found("text_box_in_runs", "xl/drawings/drawing1.xml",
              "<xdr:wsDr><xdr:sp><xdr:txBody><a:p><a:r><a:t>user@</a:t></a:r><a:r><a:t>example.com</a:t></a:r></a:p>"
              "</xdr:txBody></xdr:sp></xdr:wsDr>",
              LeakKind::shapes),
        // What is not a finding.
        none("cell_reference_equal_to_a_text", "xl/worksheets/sheet1.xml",
             sheet("<sheetData><row r=\"1\"><c r=\"AB12\" t=\"s\"><v>0</v></c></row></sheetData>")),
        none("longer_text_holding_it", "xl/comments1.xml",
             "<comments><commentList><comment ref=\"A1\"><text><t>Dear Yamada Taro,</t></text></comment></commentList>"
             "</comments>"),
        none("not_xml", "xl/media/image1.png", "\x89PNG\r\n\x1a\nYamada Taro"),
        none("run_font_in_a_comment", "xl/comments1.xml",
             "<comments><commentList><comment ref=\"A1\"><text><r><rPr><rFont val=\"Yamada Taro\"/></rPr>"
             "<t>note</t></r></text></comment></commentList></comments>"),
        none("styles", "xl/styles.xml", "<styleSheet><fonts><font><name val=\"Yamada Taro\"/></font></fonts></styleSheet>"),
        none("theme_font_name", "xl/theme/theme1.xml",
             "<a:theme><a:fontScheme><a:font script=\"Ethi\" typeface=\"Yamada Taro\"/></a:fontScheme></a:theme>"),
        none("runs_of_two_paragraphs", "xl/drawings/drawing1.xml",
             "<xdr:wsDr><xdr:sp><a:p><a:r><a:t>Yamada</a:t></a:r></a:p><a:p><a:r><a:t> Taro</a:t></a:r></a:p></xdr:sp>"
             "</xdr:wsDr>"),
        none("runs_with_a_line_break_between", "xl/drawings/drawing1.xml",
             "<xdr:wsDr><xdr:sp><a:p><a:r><a:t>Yamada</a:t></a:r><a:br/><a:r><a:t>Taro</a:t></a:r></a:p></xdr:sp>"
             "</xdr:wsDr>"),
        none("reading_beside_the_runs", "xl/sharedStrings.xml",
             "<sst><si><r><t>Yamada</t></r><rPh sb=\"0\" eb=\"1\"><t> Taro</t></rPh></si></sst>"),
        none("scenario_cell_reference", "xl/worksheets/sheet1.xml",
             sheet("<scenarios><scenario name=\"s\"><inputCells r=\"AB12\" val=\"1\"/></scenario></scenarios>")),
        none("xml_comment_and_declaration", "docProps/app.xml",
             "<?xml version=\"1.0\"?><!-- Yamada Taro --><Properties/>")),
    [](const auto& info) { return std::string(info.param.label); });

// A masked number of seven digits or more is looked for; the value of a shared-string
// cell is an index into the table (a large table has such indexes everywhere), never a
// value a reader sees.
TEST(LeakScan, AMaskedNumberIsFoundInValuesButNotInSharedStringIndexes) {
    MaskedTexts numbers;
    ASSERT_TRUE(numbers.add("1234567"));
    const char* part = "xl/worksheets/sheet1.xml";
    const std::pair<std::string, std::size_t> cases[] = {
        {"<c r=\"A1\" t=\"s\"><v>1234567</v></c>", 0},
        {"<x:c r='A1' t='s'><x:v>1234567</x:v></x:c>", 0},
        {"<c r=\"A1\" s=\"3\" t=\"s\"><v> 1234567 </v></c><c r=\"B1\"><v>1234567</v></c>", 1},
        {"<c r=\"A1\" t=\"s\"/><c r=\"B1\" t=\"n\"><v>1234567</v></c>", 1},
        {"<c r=\"A1\" t=\"str\"><f>B1</f><v>1234567</v></c>", 1},
    };
    for (const auto& [cells, count] : cases) {
        std::vector<LeakFinding> findings;
        scan_part(part, sheet("<sheetData><row r=\"1\">" + cells + "</row></sheetData>"), numbers, findings);
        const std::vector<LeakFinding> expected =
            count ? std::vector<LeakFinding>{{LeakKind::formula_results, part, count}} : std::vector<LeakFinding>{};
        EXPECT_EQ(findings, expected) << cells;
    }
}

TEST(LeakScan, NothingIsFoundWithAnEmptySet) {
    std::vector<LeakFinding> findings;
    scan_part("docProps/core.xml", "<p>Yamada Taro</p>", MaskedTexts{}, findings);
    EXPECT_TRUE(findings.empty());
}

TEST(LeakScan, FindingsOfSeveralKindsInOnePartComeInKindOrder) {
    const std::string part = sheet(
        "<sheetData><row><c r=\"A1\" t=\"str\"><v>Yamada Taro</v></c><c r=\"A2\" t=\"str\"><v>AB12</v></c></row>"
        "</sheetData><headerFooter><oddFooter>東京都新宿区</oddFooter></headerFooter>");
    const std::vector<PartBytes> parts = {{"xl/worksheets/sheet1.xml", part}, {"docProps/core.xml", "<x>nobody</x>"}};
    const auto findings = scan_for_leaks(parts, people());
    EXPECT_EQ(findings, (std::vector<LeakFinding>{{LeakKind::formula_results, "xl/worksheets/sheet1.xml", 2},
                                                  {LeakKind::headers_footers, "xl/worksheets/sheet1.xml", 1}}));
}

// Markup cut off by the end of the part: read to the end and no further (the sanitizers
// watch the reads), a value that reaches the end still counts.
TEST(LeakScan, UnterminatedMarkupIsReadToTheEndOfThePart) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"<a b=\"Yamada Taro", 1}, {"<![CDATA[Yamada Taro", 1}, {"<x>Yamada Taro", 1}, {"<!-- Yamada Taro", 0},
        {"<a", 0}, {"&", 0}, {"<x>Yamada Taro&#", 0}, {"<x>_x00", 0}, {"<x a='Yamada Taro'/", 1},
    };
    for (const auto& [text, count] : cases) {
        std::vector<LeakFinding> findings;
        scan_part("docProps/core.xml", text, people(), findings);
        EXPECT_EQ(findings.empty() ? 0 : findings[0].count, count) << text;
    }
}

// ---- long parts, scanned by two scanners at once ------------------------------------------

// A worksheet long enough to be scanned in two pieces: `rows` padded rows, with `insert`
// put into the rows whose number is a key (before the row's end tag).
std::string long_sheet(const std::vector<std::pair<int, std::string>>& insert, int rows = 70000) {
    std::string body = "<sheetData>";
    const std::string padding(150, ' ');
    std::size_t next = 0;
    for (int r = 1; r <= rows; ++r) {
        body += "<row r=\"" + std::to_string(r) + "\">" + padding;
        for (; next < insert.size() && insert[next].first == r; ++next) body += insert[next].second;
        body += "</row>";
    }
    return sheet(body + "</sheetData>");
}

const std::string RESULT = "<c t=\"str\"><f>A1</f><v>Yamada Taro</v></c>";

// Findings in both pieces add up; text that one scan would read as inside an unclosed
// comment or element is read so by the pieces as well.
TEST(LeakScan, ALongPartFindsWhatOneScanWould) {
    struct Case {
        const char* label;
        std::vector<std::pair<int, std::string>> insert;
        std::vector<LeakFinding> expected;
    };
    const char* part = "xl/worksheets/sheet1.xml";
    const Case cases[] = {
        {"results in both halves", {{5, RESULT}, {20000, RESULT}, {60000, RESULT}, {69999, RESULT}},
         {{LeakKind::formula_results, part, 4}}},
        {"the middle inside a comment", {{5, RESULT}, {10, "<!--"}, {60000, RESULT}, {65000, "-->"}, {69000, RESULT}},
         {{LeakKind::formula_results, part, 2}}},
        {"the middle inside an unclosed element", {{5, "<hyperlink ref=\"A1\"><x>"}, {60000, "Yamada Taro"}},
         {{LeakKind::hyperlinks, part, 1}}},
    };
    for (const Case& c : cases) {
        const std::string xml = long_sheet(c.insert);
        ASSERT_GT(xml.size(), std::size_t{8} << 20) << "long enough to be scanned in two pieces";
        std::vector<LeakFinding> findings;
        scan_part(part, xml, people(), findings);
        EXPECT_EQ(findings, c.expected) << c.label;
    }
}

TEST(LeakScan, ALongTableFindsItsItemsInBothHalves) {
    std::string table = "<sst>";
    for (int i = 0; i < 300000; ++i) table += i % 100000 == 7 ? "<si><t>Yamada Taro</t></si>" : "<si><t>some other text</t></si>";
    table += "</sst>";
    ASSERT_GT(table.size(), std::size_t{8} << 20);
    std::vector<LeakFinding> findings;
    scan_part("xl/sharedStrings.xml", table, people(), findings);
    EXPECT_EQ(findings, (std::vector<LeakFinding>{{LeakKind::shared_strings, "xl/sharedStrings.xml", 3}}));
}

struct DecodeCase {
    const char* raw;
    const char* decoded;
};

TEST(DecodeXmlText, EntitiesCharacterReferencesAndEscapes) {
    const DecodeCase cases[] = {
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"&#26481;&#x4EAC;", "東京"},
        {"a_x000D_b", "a\rb"},
        {"_x005F_x0041_", "_x0041_"},  // the escaped underscore keeps what follows literal
        {"_xD83D__xDE00_", "\xF0\x9F\x98\x80"},
        {"_xD83D_ alone", "_xD83D_ alone"},  // a lone surrogate stays as written
        {"&unknown; &#0; &#xZZ; &", "&unknown; &#0; &#xZZ; &"},
        {"_x12_ _x12345_", "_x12_ _x12345_"},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_xml_text(c.raw), c.decoded) << c.raw;
}

// The set keeps exactly what the scan looks at: a text the scan would pass over as a
// number (03-1234, six digits) is not kept, a phone number (ten digits) is.
TEST(MaskedTexts, KeepsNeitherShortTextsNorPlainNumbers) {
    MaskedTexts t;
    EXPECT_FALSE(t.add("A"));
    EXPECT_FALSE(t.add("東"));
    EXPECT_FALSE(t.add("  x  "));
    EXPECT_FALSE(t.add("12"));
    EXPECT_FALSE(t.add("-3.5"));
    EXPECT_FALSE(t.add("1,234"));
    EXPECT_TRUE(t.add("山田"));
    EXPECT_FALSE(t.add(" 03-1234 "));
    EXPECT_FALSE(t.add("--"));
    EXPECT_TRUE(t.add(" 090-1111-2222 "));
    EXPECT_TRUE(t.add_raw("Tom &amp; Jerry"));
    EXPECT_EQ(t.size(), 3u);
    EXPECT_TRUE(t.contains("山田"));
    EXPECT_TRUE(t.contains("090-1111-2222"));
    EXPECT_TRUE(t.contains("Tom & Jerry"));
    EXPECT_FALSE(t.contains("Tom &amp; Jerry"));
}

// A set as large as a masked table: its texts fill many storage blocks, one is longer
// than a block, and the set is moved (as a function returns it). Every text is found,
// a duplicate counts once, and texts that share their length and their first and last
// bytes with a member (what the lookup checks before it hashes) are told apart by the rest.
TEST(MaskedTexts, LargeSetsFindEveryMemberAndNothingElse) {
    MaskedTexts built;
    std::vector<std::string> members;
    for (int i = 0; i < 60000; ++i) members.push_back("氏名" + std::to_string(i) + "さん" + std::string(i % 40, 'x') + "様");
    const std::string long_text = "住所" + std::string((std::size_t{1} << 20) + 17, 'y') + "末";
    members.push_back(long_text);
    for (const std::string& m : members) EXPECT_TRUE(built.add(m));
    EXPECT_TRUE(built.add(members.front()));
    const MaskedTexts texts = std::move(built);
    EXPECT_EQ(texts.size(), members.size());
    // The moved-from set starts anew and writes over nothing of the other's.
    EXPECT_TRUE(built.empty());
    EXPECT_TRUE(built.add("別の名前です"));
    EXPECT_TRUE(built.contains("別の名前です"));
    EXPECT_FALSE(texts.contains("別の名前です"));
    for (const std::string& m : members) ASSERT_TRUE(texts.contains(m)) << m.substr(0, 40);
    for (int i = 0; i < 60000; i += 97) {
        std::string near = members[static_cast<std::size_t>(i)];
        near[6] = near[6] == '9' ? '8' : '9';  // a digit of the middle, same length and ends
        if (std::find(members.begin(), members.end(), near) == members.end()) {
            EXPECT_FALSE(texts.contains(near)) << near;
        }
    }
    std::string near_long = long_text;
    near_long[long_text.size() / 2] = 'z';
    EXPECT_FALSE(texts.contains(near_long));
    EXPECT_FALSE(texts.contains("氏名"));
}

TEST(CollectMasked, ItemsThatDifferGiveTheirVisibleTextAndReading) {
    const std::string original =
        "<sst><si><t>Yamada Taro</t></si><si><t>kept</t></si>"
        "<si><r><t>山</t></r><r><t>田</t></r><rPh sb=\"0\" eb=\"2\"><t>ヤマダ</t></rPh></si><si/></sst>";
    const std::string masked =
        "<sst><si><t>****** ****</t></si><si><t>kept</t></si>"
        "<si><r><t>●</t></r><r><t>●</t></r><rPh sb=\"0\" eb=\"2\"><t>●●●</t></rPh></si><si/></sst>";
    MaskedTexts texts;
    EXPECT_EQ(collect_masked_items(original, masked, texts), 2u);
    EXPECT_TRUE(texts.contains("Yamada Taro"));
    EXPECT_TRUE(texts.contains("山田"));
    EXPECT_TRUE(texts.contains("ヤマダ"));
    EXPECT_FALSE(texts.contains("kept"));
    EXPECT_FALSE(texts.contains("山田ヤマダ"));
    EXPECT_EQ(texts.size(), 3u);
}

TEST(CollectMasked, PrefixedTablesAndAddedItems) {
    // A table written with a prefix; a masked table with an item more than the original
    // (an edited workbook) pairs items by position.
    const std::string original = "<x:sst xmlns:x=\"m\"><x:si><x:t>Yamada Taro</x:t></x:si></x:sst>";
    const std::string masked = "<x:sst xmlns:x=\"m\"><x:si><x:t>****** ****</x:t></x:si><x:si><x:t>new</x:t></x:si></x:sst>";
    MaskedTexts texts;
    EXPECT_EQ(collect_masked_items(original, masked, texts), 1u);
    EXPECT_TRUE(texts.contains("Yamada Taro"));
}

TEST(CollectMasked, DrawingRunsThatDiffer) {
    const std::string original = "<xdr:wsDr><a:t>Total 2015</a:t><a:tab/><a:t>-</a:t><a:t xml:space=\"preserve\">Yamada</a:t></xdr:wsDr>";
    const std::string masked = "<xdr:wsDr><a:t>***** 9999</a:t><a:tab/><a:t>-</a:t><a:t xml:space=\"preserve\">******</a:t></xdr:wsDr>";
    MaskedTexts texts;
    EXPECT_EQ(collect_masked_runs(original, masked, texts), 2u);
    EXPECT_TRUE(texts.contains("Total 2015"));
    EXPECT_TRUE(texts.contains("Yamada"));
    EXPECT_EQ(texts.size(), 2u);
}

}  // namespace
}  // namespace hsc
