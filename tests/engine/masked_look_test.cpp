// How a workbook that lost its footer and backups is told from a real list: the fit of
// one text to a masking, and the judgement over cells, name and write reservation.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/status.h"
#include "engine/driver.h"
#include "engine/masked_look.h"
#include "support/quick_kdf.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/workbook_fixture.h"
#include "support/zip_builder.h"

namespace hsc {
namespace {

struct FitCase {
    const char* label;
    std::string shown;
    int step;
    MaskFit fit;
};
void PrintTo(const FitCase& c, std::ostream* os) { *os << c.label; }

const FitCase FIT_CASES[] = {
    {"kanji_strong", "●● ●●", 1, MaskFit::fits},
    {"mail_strong", "****.***99@*******.**", 1, MaskFit::fits},
    {"x_and_zero", "XXX-0000", 1, MaskFit::fits},
    {"other_mask_characters", "■■※※××¤¤", 1, MaskFit::fits},
    {"kanji_medium", "山●太●", 2, MaskFit::fits},
    {"letters_weak", "Ta*o *at*", 3, MaskFit::fits},  // "Taro Sato", spaces counted
    {"real_name", "山田 太郎", 1, MaskFit::contradicts},
    {"one_letter_left", "****a", 1, MaskFit::contradicts},
    {"real_name_medium", "山田太郎", 2, MaskFit::contradicts},
    {"circle_is_no_mask", "○○○", 1, MaskFit::contradicts},
    // Digits alone: "999-9999" is as often a real code as a masked one.
    {"digits_only", "999-9999-9999", 1, MaskFit::neutral},
    {"punctuation_only", "-- / --", 1, MaskFit::neutral},
    {"too_short_for_weak", "山田", 3, MaskFit::neutral},
    {"empty", "", 1, MaskFit::neutral},
};

class MaskFitTable : public ::testing::TestWithParam<FitCase> {};
TEST_P(MaskFitTable, TellsMaskedTextFromWritten) {
    EXPECT_EQ(mask_fit(GetParam().shown, GetParam().step), GetParam().fit);
}
INSTANTIATE_TEST_SUITE_P(Texts, MaskFitTable, ::testing::ValuesIn(FIT_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// A sheet of `rows` data rows under a header: column A an id, B names as `name(i)` gives them.
SheetStrings sheet_of(std::size_t rows, const std::function<std::string(std::size_t)>& name) {
    SheetStrings s{"Sheet1", {}};
    s.cells.push_back({1, 0, "ID"});
    s.cells.push_back({1, 1, "Name"});
    for (std::size_t i = 0; i < rows; ++i) {
        s.cells.push_back({static_cast<long>(i + 2), 0, "C" + std::to_string(1000 + i)});
        s.cells.push_back({static_cast<long>(i + 2), 1, name(i)});
    }
    return s;
}
std::string masked_name(std::size_t i) { return std::string(2 + i % 3, '*') + " " + std::string(3 + i % 4, '*'); }
std::string real_name(std::size_t i) { return i % 10 == 0 ? "●●●" : "Name" + std::to_string(i); }
std::string medium_name(std::size_t i) {
    const char* names[] = {"山●太●", "佐●花●", "鈴●一●", "高●健", "田●美●"};
    return names[i % 5];
}
std::string rating(std::size_t i) { return std::string(1 + i % 5, '*'); }
std::string unspaced_name(std::size_t i) {  // 高橋美咲 masked strong
    std::string text;
    for (std::size_t k = 0; k < 2 + i % 4; ++k) text += "●";
    return text;
}
std::string hidden_password(std::size_t i) { return std::string(8 + i % 4, '*'); }

const std::string RESERVED = R"(<workbook><fileSharing reservationPassword="EDE2" userName="Hushcel"/></workbook>)";
const std::string PLAIN_WORKBOOK = "<workbook><workbookPr/></workbook>";

struct LookCase {
    const char* label;
    std::string file_name;
    std::string workbook;
    std::size_t rows;
    std::string (*name)(std::size_t);
    bool looks_masked;
};
void PrintTo(const LookCase& c, std::ostream* os) { *os << c.label; }

const LookCase LOOK_CASES[] = {
    // A long masked column is evidence enough whatever the name.
    {"long_masked_column", "returned.xlsx", PLAIN_WORKBOOK, 60, masked_name, true},
    // A short one needs the name or the reservation beside it,
    {"short_column_and_name", "●list.xlsx", PLAIN_WORKBOOK, 8, unspaced_name, true},
    {"short_column_and_reservation", "list.xlsx", RESERVED, 8, unspaced_name, true},
    {"short_column_alone", "list.xlsx", PLAIN_WORKBOOK, 8, unspaced_name, false},
    // Ratings and hidden passwords are mask characters only, of few different texts.
    {"long_rating_column", "list.xlsx", PLAIN_WORKBOOK, 60, rating, false},
    {"long_password_column", "list.xlsx", PLAIN_WORKBOOK, 60, hidden_password, false},
    // unless its texts keep the spaces and the unmasked characters of what was masked.
    {"short_spaced_column_alone", "list.xlsx", PLAIN_WORKBOOK, 8, masked_name, true},
    {"short_medium_strength_column_alone", "list.xlsx", PLAIN_WORKBOOK, 8, medium_name, true},
    // A real list with a few ●●● cells is no masked one, also with the ● name.
    {"few_mask_cells", "list.xlsx", PLAIN_WORKBOOK, 60, real_name, false},
    {"few_mask_cells_and_name", "●list.xlsx", PLAIN_WORKBOOK, 60, real_name, false},
    // Name and reservation without masked cells: nothing masked to lose.
    {"signs_without_cells", "●list.xlsx", RESERVED, 60, [](std::size_t i) { return "Name" + std::to_string(i); }, false},
};

class MaskedLookTable : public ::testing::TestWithParam<LookCase> {};
TEST_P(MaskedLookTable, NeedsMoreThanOneWeakSign) {
    const LookCase& c = GetParam();
    WorkbookStrings strings;
    strings.workbook = c.workbook;
    strings.sheets.push_back(sheet_of(c.rows, c.name));
    const MaskedLook look = judge_masked_look(c.file_name, strings);
    EXPECT_EQ(look.looks_masked(), c.looks_masked) << masked_look_text(look, Lang::en);
}
INSTANTIATE_TEST_SUITE_P(Workbooks, MaskedLookTable, ::testing::ValuesIn(LOOK_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// Numbers and dates of chosen columns are masked too, and a spreadsheet program keeps
// them as numbers: a returned list whose names have little variety is still told by its
// columns of nines and its dates of one moment. Real numbers and dates are not.
struct ValueCase {
    const char* label;
    std::string (*number)(std::size_t);  // column C, as written in the cell
    std::string (*date)(std::size_t);    // column D, a date cell's date
    bool looks_masked;
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.label; }

const ValueCase VALUE_CASES[] = {
    {"phones_and_birth_dates_masked", [](std::size_t) { return std::string("999999999"); },
     [](std::size_t) { return std::string("1900-01-01"); }, true},
    {"medium_strength_numbers", [](std::size_t i) { return std::to_string(1 + i % 9) + "9" + std::to_string(i % 7) + "9" + std::to_string(i % 3) + "9"; },
     [](std::size_t) { return std::string("1900-01-01"); }, true},
    {"numbers_written_with_zeros", [](std::size_t) { return std::string("0000000"); },
     [](std::size_t) { return std::string("1900-01-01"); }, true},
    {"real_phones_and_dates", [](std::size_t i) { return std::to_string(312345678 + 7919 * i); },
     [](std::size_t i) { return "19" + std::to_string(50 + i % 40) + "-0" + std::to_string(1 + i % 9) + "-15"; }, false},
    // Codes of 99 and 999 placeholders among real amounts: no masked column.
    {"placeholders_among_amounts", [](std::size_t i) { return i % 3 ? std::to_string(1200 + 37 * i) : std::string("999"); },
     [](std::size_t i) { return "2020-0" + std::to_string(1 + i % 9) + "-01"; }, false},
    {"zeros_as_spreadsheets_write_them", [](std::size_t) { return std::string("0"); },
     [](std::size_t i) { return "2020-0" + std::to_string(1 + i % 9) + "-01"; }, false},
};

class MaskedValueTable : public ::testing::TestWithParam<ValueCase> {};
TEST_P(MaskedValueTable, TellsMaskedNumbersAndDates) {
    const ValueCase& c = GetParam();
    WorkbookStrings strings;
    strings.workbook = PLAIN_WORKBOOK;
    // Two-character masked names: too little variety to count as a column by themselves.
    SheetStrings sheet = sheet_of(40, [](std::size_t i) { return std::string(i % 2 ? "●● ●" : "●● ●●"); });
    for (std::size_t i = 0; i < 40; ++i) {
        const long row = static_cast<long>(i + 2);
        sheet.cells.push_back({row, 2, c.number(i), StringCell::Kind::number});
        sheet.cells.push_back({row, 3, c.date(i), StringCell::Kind::date});
    }
    strings.sheets.push_back(std::move(sheet));
    const MaskedLook look = judge_masked_look("returned.xlsx", strings);
    EXPECT_EQ(look.looks_masked(), c.looks_masked) << masked_look_text(look, Lang::en);
}
INSTANTIATE_TEST_SUITE_P(Values, MaskedValueTable, ::testing::ValuesIn(VALUE_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// Read from a workbook as a spreadsheet program writes it: the numbers as <v> values, the
// dates as ISO date cells, the names as plain-text cells of little variety.
TEST(MaskedLook, ReadsNumbersDatesAndPlainTextCellsFromTheWorkbook) {
    test::TempDir dir;
    for (const bool masked : {true, false}) {
        SCOPED_TRACE(masked ? "masked" : "real");
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < 30; ++i) texts.push_back("ID" + std::to_string(i));
        std::vector<test::ZipEntry> entries = test::small_workbook(texts);
        for (test::ZipEntry& e : entries) {
            if (e.name != "xl/worksheets/sheet1.xml") continue;
            std::string rows;
            for (std::size_t at = 0, r = 1; (at = e.data.find("</row>", at)) != std::string::npos; ++r) {
                const std::string n = std::to_string(r);
                const std::string phone = masked ? "999999999" : std::to_string(312345678 + 7919 * r);
                const std::string born = masked ? "1900-01-01" : "19" + std::to_string(50 + r) + "-04-12";
                const char* const names[2][3] = {{"山田 太郎", "佐藤 花子", "鈴木 一郎"}, {"●● ●●", "●● ●●", "●● ●"}};
                const std::string name = r % 3 == 0 && masked ? "●●● ●●" : names[masked][r % 3];
                const std::string cells = "<c r=\"D" + n + "\"><v>" + phone + "</v></c><c r=\"E" + n + "\" t=\"d\"><v>" +
                                          born + "T00:00:00</v></c><c r=\"F" + n + "\" t=\"str\"><v>" + name + "</v></c>";
                e.data.insert(at, cells);
                at += cells.size() + 6;
            }
        }
        const auto book = dir / (masked ? "returned.xlsx" : "list.xlsx");
        test::write_zip(book, entries);
        const MaskedLook look = masked_look_of_file(book);
        EXPECT_EQ(look.looks_masked(), masked) << masked_look_text(look, Lang::en);
        if (masked) EXPECT_EQ(look.column_list(), "名簿!D, 名簿!E, 名簿!F");
    }
}

TEST(MaskedLook, NamesTheColumnsAndSigns) {
    WorkbookStrings strings;
    strings.workbook = R"(<x:workbook><x:fileSharing userName='Hushcel' reservationPassword='1'/></x:workbook>)";
    strings.sheets.push_back(sheet_of(8, masked_name));
    const MaskedLook look = judge_masked_look("●a.xlsx", strings);
    EXPECT_TRUE(look.reservation);
    EXPECT_TRUE(look.masked_name);
    EXPECT_EQ(look.column_list(), "Sheet1!B");
    EXPECT_EQ(masked_look_text(look, Lang::en),
              "columns of mask characters only: Sheet1!B; its name begins with ●; the write reservation of Hushcel");
}

// Through the driver: a returned workbook (no footer, no backups, three columns of masked
// texts) is masked again only when the user says so, and restoring it names --from.
TEST(MaskedLookDriver, AsksBeforeMaskingAndNamesFromWhenRestoring) {
    test::TempDir dir;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < 24; ++i) texts.push_back(masked_name(i));
    const auto book = dir / "returned.xlsx";
    test::write_zip(book, test::small_workbook(texts));
    const std::string before = test::read_file(book);
    MaskSettings settings;
    settings.password = "a password of its own";
    struct Case {
        const char* label;
        std::optional<Direction> only;
        bool force;
        std::deque<bool> answers;
        int rc;
        FailReason failure;
        std::size_t questions;
    };
    const Case cases[] = {
        {"automatic, nobody to answer", std::nullopt, false, {}, RC_FAIL, FailReason::backups_lost, 1},
        {"restore", Direction::unmask, false, {}, RC_FAIL, FailReason::backups_lost, 0},
        {"automatic, No", std::nullopt, false, {false}, RC_FAIL, FailReason::backups_lost, 1},
        {"automatic, Yes", std::nullopt, false, {true}, RC_OK, FailReason::none, 1},
        {"mask, forced", Direction::mask, true, {}, RC_OK, FailReason::none, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(dir / "●returned.xlsx");
        ProcessOptions options = test::quick_kdf();
        options.lang = Lang::en;
        options.only_direction = c.only;
        options.force = c.force;
        test::RecordingReporter rep;
        rep.answers = c.answers;
        FileContext ctx;
        std::filesystem::path output;
        EXPECT_EQ(hsc_process_file(book, output, settings, ctx, rep, options), c.rc);
        EXPECT_EQ(ctx.failure, c.failure);
        EXPECT_EQ(rep.questions.size(), c.questions);
        EXPECT_EQ(std::filesystem::exists(dir / "●returned.xlsx"), c.rc == RC_OK);
        if (c.rc != RC_OK) {
            ASSERT_EQ(rep.errors.size(), 1u);
            EXPECT_NE(rep.errors[0].find("restore --from"), std::string::npos) << rep.errors[0];
            EXPECT_NE(rep.errors[0].find("名簿!A"), std::string::npos) << rep.errors[0];
        }
        EXPECT_EQ(test::read_file(book), before);
    }
}

}  // namespace
}  // namespace hsc
