// What the suggestion says of each proposed column beside its kind: what its cells hold,
// and which of its shared strings other cells use too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/suggest.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

const ColumnSuggestion* find(const SheetSuggestion& sheet, int column) {
    for (const auto& c : sheet.columns)
        if (c.column == column) return &c;
    return nullptr;
}

// 顧客: 氏名 | 電話番号 | 生年月日 | 備考 over four rows: phones as text and as numbers that
// lost their leading zero, dates as date cells, and a remark that repeats a name.
TEST(SuggestCells, CountsWhatTheCellsHoldAndTheStringsUsedElsewhere) {
    const std::vector<test::NamedSheet> sheets = {
        {"顧客", {{"氏名", "電話番号", "生年月日", "備考"},
                  {"高橋 美咲", "03-1234-5678", "", "至急"},
                  {"田中 太郎", "", "", "高橋 美咲"},
                  {"佐藤 花子", "090-1111-2222", "", "至急"},
                  {"鈴木 一郎", "", "", "至急"}}},
        {"注文", {{"品名", "担当"}, {"りんご", "田中 太郎"}}},
    };
    auto entries = test::sheets_workbook(sheets);
    const auto strings = test::sheets_workbook_strings(sheets);
    const auto index = [&](const std::string& text) {
        return std::to_string(std::find(strings.begin(), strings.end(), text) - strings.begin());
    };
    const auto s = [&](const std::string& ref, const std::string& text) {
        return "<c r=\"" + ref + "\" t=\"s\"><v>" + index(text) + "</v></c>";
    };
    const auto date = [](const std::string& ref, const std::string& iso) {
        return "<c r=\"" + ref + "\" t=\"d\"><v>" + iso + "T00:00:00</v></c>";
    };
    const auto number = [](const std::string& ref, const std::string& n) { return "<c r=\"" + ref + "\"><v>" + n + "</v></c>"; };
    const std::string rows =
        "<row r=\"1\">" + s("A1", "氏名") + s("B1", "電話番号") + s("C1", "生年月日") + s("D1", "備考") + "</row>" +
        "<row r=\"2\">" + s("A2", "高橋 美咲") + s("B2", "03-1234-5678") + date("C2", "1961-04-02") + s("D2", "至急") + "</row>" +
        "<row r=\"3\">" + s("A3", "田中 太郎") + number("B3", "312345678") + date("C3", "1978-11-30") + s("D3", "高橋 美咲") + "</row>" +
        "<row r=\"4\">" + s("A4", "佐藤 花子") + s("B4", "090-1111-2222") + date("C4", "1985-07-15") + s("D4", "至急") + "</row>" +
        "<row r=\"5\">" + s("A5", "鈴木 一郎") + number("B5", "9012345678") + date("C5", "1999-01-20") + s("D5", "至急") + "</row>";
    for (auto& e : entries)
        if (e.name == "xl/worksheets/sheet1.xml")
            e.data = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
                     "</sheetData></worksheet>";
    test::TempDir dir;
    test::write_zip(dir / "book.xlsx", entries);
    SuggestLimits limits;
    limits.reference_year = 2026;
    const WorkbookSuggestion w = suggest_columns(dir / "book.xlsx", limits);
    ASSERT_EQ(w.status, SuggestStatus::ok);
    ASSERT_EQ(w.sheets.size(), 2u);
    const SheetSuggestion& customers = w.sheets[0];
    const ColumnSuggestion* names = find(customers, 0);
    const ColumnSuggestion* phones = find(customers, 1);
    ASSERT_TRUE(names && phones);
    EXPECT_EQ(names->texts, 4u);
    EXPECT_EQ(names->numbers + names->dates, 0u);
    EXPECT_EQ(phones->texts, 2u);
    EXPECT_EQ(phones->numbers, 2u);
    if (const ColumnSuggestion* births = find(customers, 2)) {
        EXPECT_EQ(births->dates, 4u);
        EXPECT_EQ(births->texts + births->numbers, 0u);
    }
    // 高橋 美咲 is also a remark (D, not proposed) and 田中 太郎 stands on the other sheet
    // (担当, proposed there or not): whatever the detectors make of those, the header 氏名
    // is the header row, kept, and never counts.
    const bool remarks = find(customers, 3) != nullptr;
    const bool orders = find(w.sheets[1], 1) != nullptr;
    EXPECT_EQ(names->shared_elsewhere, (remarks ? 0u : 1u) + (orders ? 0u : 1u));
    EXPECT_EQ(phones->shared_elsewhere, 0u);
}

}  // namespace
}  // namespace hsc
