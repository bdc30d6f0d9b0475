#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/suggest_detect.h"

namespace hsc {
namespace {

struct HeaderCase {
    const char* text;
    std::optional<DataKind> kind;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.text; }

class HeaderWords : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderWords, NamePersonalDataAndNothingElse) {
    const HeaderCase& c = GetParam();
    const auto match = match_header(c.text);
    ASSERT_EQ(match.has_value(), c.kind.has_value()) << c.text;
    if (c.kind) EXPECT_EQ(match->kind, *c.kind) << c.text << " matched by " << match->word;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HeaderWords,
    ::testing::Values(
        HeaderCase{"氏名", DataKind::name}, HeaderCase{" お名前 ", DataKind::name}, HeaderCase{"担当者", DataKind::name},
        HeaderCase{"契約者", DataKind::name}, HeaderCase{"姓", DataKind::name}, HeaderCase{"フリガナ", DataKind::kana},
        HeaderCase{"カナ氏名", DataKind::kana}, HeaderCase{"氏名 カナ", DataKind::kana}, HeaderCase{"住所", DataKind::address},
        HeaderCase{"電話番号", DataKind::phone}, HeaderCase{"携帯", DataKind::phone},
        HeaderCase{"メールアドレス", DataKind::email}, HeaderCase{"生年月日", DataKind::birth_date},
        HeaderCase{"口座番号", DataKind::bank_account}, HeaderCase{"郵便番号", DataKind::postal_code},
        HeaderCase{"〒", DataKind::postal_code}, HeaderCase{"Name", DataKind::name},
        HeaderCase{"customerName", DataKind::name}, HeaderCase{"Full Name", DataKind::name},
        HeaderCase{"E-mail", DataKind::email}, HeaderCase{"ｅ－ｍａｉｌ", DataKind::email},
        HeaderCase{"Phone Number", DataKind::phone}, HeaderCase{"TEL", DataKind::phone},
        HeaderCase{"Date of Birth", DataKind::birth_date}, HeaderCase{"Address", DataKind::address},
        HeaderCase{"ZIP code", DataKind::postal_code}, HeaderCase{"Bank Account Number", DataKind::bank_account},
        // names of things, not persons; words inside other words; values; long texts
        HeaderCase{"Company Name", std::nullopt}, HeaderCase{"商品名", std::nullopt},
        HeaderCase{"IP Address", std::nullopt}, HeaderCase{"Hotel", std::nullopt},
        HeaderCase{"Username", std::nullopt}, HeaderCase{"金額", std::nullopt}, HeaderCase{"備考", std::nullopt},
        HeaderCase{"〒209-1606", std::nullopt}, HeaderCase{"東京都新宿区西新宿2-8-1", std::nullopt},
        HeaderCase{"", std::nullopt},
        HeaderCase{"この欄には担当者の氏名を記入してください。記入のない場合は営業部の代表電話番号に連絡します。",
                   std::nullopt}));

struct ValueCase {
    const char* text;
    bool number;
    unsigned flags;  // the flags the value must have
    unsigned absent; // and those it must not have
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.text << (c.number ? " (number)" : ""); }

class Values : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Values, AreClassifiedAsShown) {
    const ValueCase& c = GetParam();
    const unsigned f = classify_value(c.text, c.number);
    EXPECT_EQ(f & c.flags, c.flags) << c.text << " flags " << f;
    EXPECT_EQ(f & c.absent, 0u) << c.text << " flags " << f;
}

constexpr unsigned ANY = ~0u;

INSTANTIATE_TEST_SUITE_P(
    Table, Values,
    ::testing::Values(
        // mail addresses
        ValueCase{"taro.yamada@example.co.jp", false, VALUE_EMAIL, 0},
        ValueCase{"ｔａｒｏ＠ｅｘａｍｐｌｅ．ｊｐ", false, VALUE_EMAIL, 0},
        ValueCase{"taro@localhost", false, 0, VALUE_EMAIL}, ValueCase{"a@b@example.jp", false, 0, VALUE_EMAIL},
        ValueCase{"@example.jp", false, 0, VALUE_EMAIL}, ValueCase{"taro@example.j1", false, 0, VALUE_EMAIL},
        // phone numbers, also in full-width digits and with the country code
        ValueCase{"03-1234-5678", false, VALUE_PHONE, 0}, ValueCase{"090-1234-5678", false, VALUE_PHONE, 0},
        ValueCase{"０９０－１２３４－５６７８", false, VALUE_PHONE, 0}, ValueCase{"(03)1234-5678", false, VALUE_PHONE, 0},
        ValueCase{"+81-90-1234-5678", false, VALUE_PHONE, 0}, ValueCase{"TEL:0120-123-456", false, VALUE_PHONE, 0},
        ValueCase{"09012345678", false, VALUE_PHONE, 0},
        ValueCase{"9012345678", true, VALUE_PHONE, 0},     // a number cell lost the zero
        ValueCase{"9012345678", false, 0, VALUE_PHONE},    // a text keeps what was typed
        ValueCase{"1234567890", true, 0, VALUE_PHONE}, ValueCase{"1234-5678", false, 0, VALUE_PHONE},
        ValueCase{"2023-01-15", false, VALUE_DATE, VALUE_PHONE}, ValueCase{"00-1234-5678", false, 0, VALUE_PHONE},
        // postal codes
        ValueCase{"〒123-4567", false, VALUE_POSTAL, 0}, ValueCase{"123-4567", false, VALUE_POSTAL, 0},
        ValueCase{"１２３－４５６７", false, VALUE_POSTAL, 0}, ValueCase{"〒1234567", false, VALUE_POSTAL, 0},
        ValueCase{"1234567", false, VALUE_SEVEN_DIGITS, VALUE_POSTAL}, ValueCase{"600001", true, VALUE_SIX_DIGITS, 0},
        ValueCase{"600001", false, 0, VALUE_SIX_DIGITS}, ValueCase{"12-34567", false, 0, VALUE_POSTAL | VALUE_SEVEN_DIGITS},
        // kana readings
        ValueCase{"ヤマダ タロウ", false, VALUE_KANA, 0}, ValueCase{"ﾔﾏﾀﾞ ﾀﾛｳ", false, VALUE_KANA, 0},
        ValueCase{"やまだ　たろう", false, VALUE_KANA, 0}, ValueCase{"ササキ・ユウマ", false, VALUE_KANA, 0},
        ValueCase{"ヤマダ1", false, 0, VALUE_KANA}, ValueCase{"山田", false, 0, VALUE_KANA},
        ValueCase{"ー", false, 0, VALUE_KANA},
        // dates, addresses and names
        ValueCase{"昭和60年3月12日", false, VALUE_DATE, 0}, ValueCase{"1985/2/30", false, 0, VALUE_DATE},
        ValueCase{"東京都新宿区西新宿2-8-1", false, VALUE_ADDRESS, 0},
        ValueCase{"〒160-0023 東京都新宿区西新宿2-8-1", false, VALUE_ADDRESS, 0},
        ValueCase{"港区芝公園4-2-8", false, VALUE_ADDRESS, 0}, ValueCase{"区分", false, 0, VALUE_ADDRESS},
        ValueCase{"山田 太郎", false, VALUE_PERSON_NAME, 0}, ValueCase{"佐々木　さくら", false, VALUE_PERSON_NAME, 0},
        ValueCase{"営業部 第2課", false, 0, VALUE_PERSON_NAME}, ValueCase{"山田太郎", false, VALUE_PERSON_NAME, 0},
        ValueCase{"東京本社", false, 0, VALUE_PERSON_NAME},
        ValueCase{"", false, 0, ANY}, ValueCase{"   ", false, 0, ANY}, ValueCase{"\xff\xfe", false, 0, ANY}));

struct DateCase {
    const char* text;
    int year, month, day;  // year 0: no date
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.text; }

class Dates : public ::testing::TestWithParam<DateCase> {};

TEST_P(Dates, AreReadInTheirJapaneseAndWesternForms) {
    const DateCase& c = GetParam();
    const auto d = value_date(c.text);
    if (c.year == 0) {
        EXPECT_FALSE(d) << c.text;
        return;
    }
    ASSERT_TRUE(d) << c.text;
    EXPECT_EQ(d->year, c.year) << c.text;
    EXPECT_EQ(d->month, c.month) << c.text;
    EXPECT_EQ(d->day, c.day) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Dates,
    ::testing::Values(DateCase{"1985/3/12", 1985, 3, 12}, DateCase{"1985-03-12", 1985, 3, 12},
                      DateCase{"1985.03.12", 1985, 3, 12}, DateCase{"1985年3月12日", 1985, 3, 12},
                      DateCase{"１９８５年３月１２日", 1985, 3, 12}, DateCase{"昭和60年3月12日", 1985, 3, 12},
                      DateCase{"S60.3.12", 1985, 3, 12}, DateCase{"H2/4/1", 1990, 4, 1},
                      DateCase{"平成元年1月8日", 1989, 1, 8}, DateCase{"令和5年5月1日", 2023, 5, 1},
                      DateCase{"19850312", 1985, 3, 12}, DateCase{"2023-01-15 10:00:00", 2023, 1, 15},
                      DateCase{"2000/2/29", 2000, 2, 29}, DateCase{"1900/2/29", 0, 0, 0},
                      DateCase{"1985/13/1", 0, 0, 0}, DateCase{"1985/3-12", 0, 0, 0}, DateCase{"12/3/1985", 0, 0, 0},
                      DateCase{"19851312", 0, 0, 0}, DateCase{"昭和123年1月1日", 0, 0, 0}, DateCase{"", 0, 0, 0}));

TEST(SerialDate, FollowsTheSpreadsheetDayNumbers) {
    // 1900-02-29 does not exist, but the 1900 date system counts it as day 60.
    const std::vector<std::pair<double, CivilDate>> cases = {
        {1, {1900, 1, 1}},      {59, {1900, 2, 28}},   {60, {1900, 2, 29}},
        {61, {1900, 3, 1}},     {31118, {1985, 3, 12}}, {45000.75, {2023, 3, 15}},
        {2958465, {9999, 12, 31}}};
    for (const auto& [serial, want] : cases) {
        const auto d = serial_date(serial);
        ASSERT_TRUE(d) << serial;
        EXPECT_EQ(d->year, want.year) << serial;
        EXPECT_EQ(d->month, want.month) << serial;
        EXPECT_EQ(d->day, want.day) << serial;
    }
    EXPECT_FALSE(serial_date(0));
    EXPECT_FALSE(serial_date(-5));
    EXPECT_FALSE(serial_date(2958466));
}

ColumnSample sample(std::vector<std::string> values, std::optional<const char*> header = std::nullopt,
                    bool numbers = false) {
    ColumnSample s;
    if (header) {
        s.header = match_header(*header);
        s.other_header = !s.header;
        s.header_text = *header;
    }
    s.numbers.assign(values.size(), numbers);
    s.values = std::move(values);
    return s;
}

std::vector<std::string> repeat(std::vector<std::string> pattern, std::size_t n) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back(pattern[i % pattern.size()]);
    return out;
}

std::vector<std::string> numbered(const std::string& format_prefix, int first, int count, int step = 1) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(format_prefix + std::to_string(first + i * step));
    return out;
}

constexpr int YEAR = 2026;

TEST(JudgeColumn, AHeaderWordSuggestsAColumnWhoseValuesCannotTell) {
    const auto v = judge_column(sample(repeat({"Alice", "Bob", "Carol"}, 20), "氏名"), YEAR);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, DataKind::name);
    ASSERT_TRUE(v->header);
    EXPECT_EQ(v->header->word, "氏名");
    EXPECT_EQ(v->values, 20u);
}

TEST(JudgeColumn, ContentAloneSuggestsWhenMostValuesMatch) {
    auto mails = numbered("user", 1, 10);
    for (auto& m : mails) m += "@example.jp";
    mails[0] = "unknown";  // 9 of 10
    const auto v = judge_column(sample(mails), YEAR);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, DataKind::email);
    ASSERT_FALSE(v->content.empty());
    EXPECT_EQ(v->content.front().kind, DataKind::email);
    EXPECT_EQ(v->content.front().matched, 9u);

    mails.resize(10, "unknown");
    for (int i = 0; i < 5; ++i) mails[static_cast<std::size_t>(i)] = "unknown";  // 5 of 10
    EXPECT_FALSE(judge_column(sample(mails), YEAR));
}

TEST(JudgeColumn, AMailHeaderOverOtherValuesIsNotTakenAtItsWord) {
    EXPECT_FALSE(judge_column(sample(repeat({"可", "否"}, 20), "メール配信"), YEAR));
    // nor over a few of them; fewer values than that cannot tell, and the header decides
    EXPECT_FALSE(judge_column(sample(repeat({"可", "否"}, 4), "メール"), YEAR));
    EXPECT_TRUE(judge_column(sample(repeat({"可", "否"}, 2), "メール"), YEAR));
}

TEST(JudgeColumn, SevenDigitNumbersArePostalCodesUnlessTheyRun) {
    std::vector<std::string> postal = {"1600023", "5300001", "600001", "4600008", "8120011", "1540024",
                                       "2200012", "9800811", "6008216", "7300011", "6500021", "3300063"};
    const auto v = judge_column(sample(postal, std::nullopt, true), YEAR);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, DataKind::postal_code);
    EXPECT_FALSE(judge_column(sample(numbered("", 1000001, 12, 3), std::nullopt, true), YEAR));
    // amounts of every size are not postal codes, however many of six digits they hold
    EXPECT_FALSE(judge_column(sample(repeat({"123456", "654321", "99000", "250000"}, 12), std::nullopt, true), YEAR));
}

TEST(JudgeColumn, BirthDatesSpreadOverDecadesInThePast) {
    const std::vector<std::string> births = {"1950/1/2", "1962/5/3", "1971/7/30", "1985/3/12", "1990/12/1",
                                             "1948/8/8", "1977/2/14", "2001/6/6",  "1968/9/9",  "1959/4/4"};
    const auto v = judge_column(sample(births), YEAR);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, DataKind::birth_date);
    // order dates of the last years are not
    EXPECT_FALSE(judge_column(sample(repeat({"2024/1/5", "2025/3/1", "2023/7/7", "2025/11/30"}, 12)), YEAR));
    // and dates under a header that names them otherwise are taken at its word
    EXPECT_FALSE(judge_column(sample(births, "入会日"), YEAR));
    const auto headed = judge_column(sample(births, "生年月日"), YEAR);
    ASSERT_TRUE(headed);
    EXPECT_TRUE(headed->header);
}

TEST(JudgeColumn, KanaOfAFewRepeatedWordsIsACategoryNotAReading) {
    EXPECT_FALSE(judge_column(sample(repeat({"コーヒー", "ノート", "ペン"}, 30)), YEAR));
    const auto v = judge_column(sample(repeat({"ヤマダ タロウ", "サトウ ハナコ", "スズキ イチロウ", "タナカ ユイ",
                                               "イトウ ケンタ", "ワタナベ アオイ", "コバヤシ メイ"}, 30)),
                                YEAR);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->kind, DataKind::kana);
}

TEST(JudgeColumn, FewerThanThreeValuesSayNothingWithoutAHeader) {
    EXPECT_FALSE(judge_column(sample({"a@example.jp", "b@example.jp"}), YEAR));
    EXPECT_TRUE(judge_column(sample({"a@example.jp", "b@example.jp", "c@example.jp"}), YEAR));
    EXPECT_FALSE(judge_column(sample({}), YEAR));
}

}  // namespace
}  // namespace hsc
