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
        // spacing, brackets, units and half-width kana
        HeaderCase{"氏　名", DataKind::name}, HeaderCase{"電話番号（自宅）", DataKind::phone},
        HeaderCase{"ﾌﾘｶﾞﾅ", DataKind::kana}, HeaderCase{"ＴＥＬ（携帯）", DataKind::phone},
        HeaderCase{"生まれ", DataKind::birth_date}, HeaderCase{"誕生", DataKind::birth_date},
        HeaderCase{"建物名", DataKind::address}, HeaderCase{"部屋番号", DataKind::address},
        HeaderCase{"Social Security No.", DataKind::personal_number}, HeaderCase{"SSN", DataKind::personal_number},
        HeaderCase{"Card No.", DataKind::bank_account}, HeaderCase{"Credit Card", DataKind::bank_account},
        HeaderCase{"Post Code", DataKind::postal_code}, HeaderCase{"ZIP+4", DataKind::postal_code},
        HeaderCase{"Cell", DataKind::phone}, HeaderCase{"Apt/Suite", DataKind::address},
        HeaderCase{"Customer", DataKind::name}, HeaderCase{"First Name", DataKind::name},
        HeaderCase{"Contact Number", DataKind::phone},
        // a state of the data, an organisation, a thing, a region
        HeaderCase{"住所変更", std::nullopt}, HeaderCase{"氏名確認", std::nullopt}, HeaderCase{"口座種別", std::nullopt},
        HeaderCase{"ご住所区分", std::nullopt}, HeaderCase{"会社名カナ", std::nullopt},
        HeaderCase{"取引先フリガナ", std::nullopt}, HeaderCase{"委託業者", std::nullopt},
        HeaderCase{"都道府県", std::nullopt}, HeaderCase{"Vessel name", std::nullopt},
        HeaderCase{"Kit name", std::nullopt}, HeaderCase{"Code name", std::nullopt},
        HeaderCase{"Master Name", std::nullopt}, HeaderCase{"Customer ID", std::nullopt},
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
        // names without a space: a known family name and one to three letters more
        ValueCase{"高橋美咲", false, VALUE_PERSON_NAME, 0}, ValueCase{"林蓮", false, VALUE_PERSON_NAME, 0},
        ValueCase{"株式会社高橋", false, VALUE_COMPANY, VALUE_PERSON_NAME},
        ValueCase{"Margaret Holloway", false, VALUE_PERSON_NAME, 0}, ValueCase{"Holloway, Q.", false, VALUE_PERSON_NAME, 0},
        ValueCase{"Ocean Pioneer", false, VALUE_NAME_SHAPE, VALUE_PERSON_NAME},
        // phones of other countries, and phones inside notes
        ValueCase{"(217) 555-0173", false, VALUE_PHONE, 0}, ValueCase{"217.555.0142", false, VALUE_PHONE, 0},
        ValueCase{"+1 217 555 0173", false, VALUE_PHONE, 0}, ValueCase{"+44 20 7946 0958", false, VALUE_PHONE, 0},
        ValueCase{"020 7946 0311", false, VALUE_PHONE, 0}, ValueCase{"07700 900123", false, VALUE_PHONE, 0},
        ValueCase{"+49 30 1234567", false, VALUE_PHONE, 0}, ValueCase{"2175550173", false, 0, VALUE_PHONE},
        ValueCase{"(117) 555-0173", false, 0, VALUE_PHONE}, ValueCase{"+44 20", false, 0, VALUE_PHONE},
        ValueCase{"平日18時以降 090-1234-5678 に連絡", false, VALUE_PHONE_IN_TEXT, VALUE_PHONE},
        ValueCase{"call after 5pm 217-555-0173", false, VALUE_PHONE_IN_TEXT, 0},
        ValueCase{"2026年度 第3四半期 10:00", false, 0, VALUE_PHONE_IN_TEXT},
        // postal codes of other countries
        ValueCase{"62704-1234", false, VALUE_ZIP, 0}, ValueCase{"SW1A 1AA", false, VALUE_ZIP, 0},
        ValueCase{"LS1 4AB", false, VALUE_ZIP, 0}, ValueCase{"K1A 0B1", false, VALUE_ZIP, 0},
        ValueCase{"ABC DEF", false, 0, VALUE_ZIP}, ValueCase{"6270-41234", false, 0, VALUE_ZIP},
        // card numbers pass the Luhn check; social security numbers and My Numbers their rules
        ValueCase{"4111 1111 1111 1111", false, VALUE_CARD, 0}, ValueCase{"378282246310005", false, VALUE_CARD, 0},
        ValueCase{"4111 1111 1111 1112", false, 0, VALUE_CARD}, ValueCase{"1111 1111 1111 1117", false, 0, VALUE_CARD},
        ValueCase{"123-45-6789", false, VALUE_PERSONAL_NUMBER, 0}, ValueCase{"000-45-6789", false, 0, VALUE_PERSONAL_NUMBER},
        ValueCase{"666-45-6789", false, 0, VALUE_PERSONAL_NUMBER}, ValueCase{"912-45-6789", false, 0, VALUE_PERSONAL_NUMBER},
        ValueCase{"123456789018", false, VALUE_PERSONAL_NUMBER, 0}, ValueCase{"1234 5678 9018", false, VALUE_PERSONAL_NUMBER, 0},
        ValueCase{"123456789017", false, 0, VALUE_PERSONAL_NUMBER},
        // streets; a prefecture alone is no address
        ValueCase{"1234 Maple Ave", false, VALUE_ADDRESS, 0}, ValueCase{"221B Baker Street, London", false, VALUE_ADDRESS, 0},
        ValueCase{"12 Monkeys", false, 0, VALUE_ADDRESS}, ValueCase{"東京都", false, 0, VALUE_ADDRESS},
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

// One small column per detection kind, found and rightly not found.
struct ColumnCase {
    const char* what;
    const char* header;  // nullptr: no header row
    std::vector<std::string> values;
    bool numbers;
    std::optional<DataKind> kind;
};

void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.what; }

class ColumnKinds : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(ColumnKinds, AreFoundByHeaderAndValuesTogether) {
    const ColumnCase& c = GetParam();
    const auto v = judge_column(c.header ? sample(c.values, c.header, c.numbers) : sample(c.values, std::nullopt, c.numbers),
                                YEAR);
    ASSERT_EQ(v.has_value(), c.kind.has_value()) << c.what;
    if (c.kind) EXPECT_EQ(v->kind, *c.kind) << c.what;
}

const std::vector<std::string> JOINED_NAMES = {"高橋美咲", "佐藤健一", "中村翼", "小林さやか", "渡辺隆", "伊藤裕子",
                                               "山口湊", "松本千尋", "井上聡", "木村奈々"};
const std::vector<std::string> COMPANIES = {"株式会社青葉製作所", "北斗運輸株式会社", "有限会社丸三商店",
                                            "東和電機株式会社", "合同会社ひかり企画", "日進工業株式会社"};

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnKinds,
    ::testing::Values(
        // found
        ColumnCase{"names without a space", nullptr, JOINED_NAMES, false, DataKind::name},
        ColumnCase{"names under a spaced header", "氏　名", JOINED_NAMES, false, DataKind::name},
        ColumnCase{"names under a person word", "担当者", JOINED_NAMES, false, DataKind::name},
        ColumnCase{"English names", "Name", {"Margaret Holloway", "Thomas Reed", "Olivia Grant", "Kevin Marsh",
                                             "Irene Castle", "Derek Stone"}, false, DataKind::name},
        ColumnCase{"surnames under Last Name", "Last Name", {"Abernathy", "Bellamy", "Castillo", "Donnelly",
                                                             "Eastwood", "Fitzgerald", "Garrison"}, false, DataKind::name},
        ColumnCase{"family, given", nullptr, {"Holloway, Ulysses", "Reed, Marisol", "Grant, Jasper", "Marsh, Kendra",
                                              "Castle, Rosalind"}, false, DataKind::name},
        ColumnCase{"landlines that lost their zero", "自宅電話", {"312345678", "452223344", "662221111", "929998888",
                                                                "112223333", "453334444"}, true, DataKind::phone},
        ColumnCase{"phones under a bracketed header", "電話番号（自宅）", {"03-1111-2222", "06-3333-4444", "052-555-6666",
                                                                        "011-777-8888"}, false, DataKind::phone},
        ColumnCase{"US phones", nullptr, {"(217) 555-0173", "217-555-0199", "217.555.0142", "(312) 555-0110",
                                          "(608) 555-0123"}, false, DataKind::phone},
        ColumnCase{"UK and other phones", nullptr, {"+44 20 7946 0958", "020 7946 0311", "07700 900123",
                                                    "+49 30 1234567", "+33 1 23 45 67 89"}, false, DataKind::phone},
        ColumnCase{"notes holding phone numbers", "備考", {"平日18時以降 090-1234-5678 に連絡", "特になし",
                                                         "不在時は03-1111-2222（勤務先）", "携帯 080-2222-3333", "DM希望",
                                                         "留守電あり 06-4444-5555"}, false, DataKind::phone},
        ColumnCase{"ZIP codes as numbers", "ZIP", {"62704", "45402", "83702", "74103", "2134", "93721"}, true,
                   DataKind::postal_code},
        ColumnCase{"ZIP+4 and postcodes", nullptr, {"62704-1234", "SW1A 1AA", "LS1 4AB", "45402-0001", "K1A 0B1"},
                   false, DataKind::postal_code},
        ColumnCase{"card numbers", nullptr, {"4111 1111 1111 1111", "5555 5555 5555 4444", "378282246310005",
                                             "6011111111111117"}, false, DataKind::bank_account},
        ColumnCase{"social security numbers", nullptr, {"123-45-6789", "234-56-7890", "345-67-8901", "456-78-9012"},
                   false, DataKind::personal_number},
        ColumnCase{"My Numbers", nullptr, {"123456789018", "987654321093", "314159265352", "271828182840"}, false,
                   DataKind::personal_number},
        ColumnCase{"birth dates under 生まれ", "生まれ", {"1950/1/2", "1962/5/3", "2019/7/30", "1985/3/12",
                                                          "1990/12/1", "1948/8/8"}, false, DataKind::birth_date},
        ColumnCase{"buildings", "建物名", {"グリーンハイツ 305号室", "メゾン桜A棟", "コーポ松風 201号室",
                                            "パークサイド 1102号室", "ハイム若葉", "ロイヤルコート 703号室"}, false,
                   DataKind::address},
        ColumnCase{"rooms", "部屋番号", {"101", "203", "305", "1102", "707", "402"}, true, DataKind::address},
        ColumnCase{"second address lines", "Address Line 2", {"Apt 4B", "Suite 210", "Unit 12", "Apt 22A", "Suite 560",
                                                              "Unit 7"}, false, DataKind::address},
        ColumnCase{"streets", nullptr, {"1234 Maple Ave", "56 Oak Street", "789 Pine Ridge Rd", "12 Harbor Way",
                                        "4410 Cedar Lane"}, false, DataKind::address},
        // rightly not found
        ColumnCase{"companies under a 者 header", "製造者", COMPANIES, false, std::nullopt},
        ColumnCase{"groups under 対象者", "対象者", repeat({"全員", "新入社員", "管理職", "一般", "パート"}, 20), false,
                   std::nullopt},
        ColumnCase{"a flag under an address word", "住所変更", repeat({"有", "無"}, 20), false, std::nullopt},
        ColumnCase{"a check under a name word", "氏名確認", repeat({"済", "未"}, 20), false, std::nullopt},
        ColumnCase{"account types", "口座種別", repeat({"普通", "当座"}, 20), false, std::nullopt},
        ColumnCase{"address classes", "ご住所区分", repeat({"自宅", "勤務先", "その他"}, 20), false, std::nullopt},
        ColumnCase{"part numbers shaped like phones", "品番", {"03-1234-5678", "06-2345-6789", "045-123-4567",
                                                            "011-222-3333", "092-444-5555"}, false, std::nullopt},
        ColumnCase{"prefectures alone", "都道府県", repeat({"東京都", "大阪府", "北海道", "福岡県", "沖縄県", "京都府",
                                                           "愛知県"}, 21), false, std::nullopt},
        ColumnCase{"prefectures alone, no header", nullptr, repeat({"東京都", "大阪府", "北海道", "福岡県"}, 20), false,
                   std::nullopt},
        ColumnCase{"company readings", nullptr, {"カブシキガイシャアオバセイサクショ", "ユウゲンガイシャマルサンショウテン",
                                                 "ホクトウンユカブシキガイシャ", "ｶﾌﾞｼｷｶﾞｲｼｬﾐﾄﾞﾘｼｮｸﾋﾝ"}, false, std::nullopt},
        ColumnCase{"company readings under a reading word", "フリガナ", {"カブシキガイシャアオバ", "ユウゲンガイシャマルサン",
                                                                       "ホクトウンユカブシキガイシャ"}, false, std::nullopt},
        ColumnCase{"member numbers of seven digits", "会員番号", {"4827361", "1938475", "7261849", "3058172", "9182736",
                                                                "2746150", "6605918", "5120394", "8473625", "1029384"},
                   true, std::nullopt},
        ColumnCase{"ship names", "Vessel name", {"Ocean Pioneer", "Northern Star", "Blue Marlin", "Silver Arrow",
                                                 "Coral Queen", "Iron Eagle"}, false, std::nullopt},
        ColumnCase{"words under Name", "Name", {"豊田", "日本オラクル", "システム", "ジャパン", "たいへん", "本部", "事業"},
                   false, std::nullopt},
        ColumnCase{"restock dates", "入荷日", {"2003/9/22", "2004/5/17", "2004/1/27", "2003/1/19", "2004/11/8"}, false,
                   std::nullopt},
        ColumnCase{"restock dates, no header", nullptr, {"2003/9/22", "2004/5/17", "2004/1/27", "2003/1/19",
                                                         "2004/11/8", "2003/7/9", "2004/6/28", "2003/2/15",
                                                         "2004/9/17", "2003/3/23"}, false, std::nullopt},
        ColumnCase{"dates over decades reaching into the future", nullptr,
                   {"1998/1/2", "2005/5/3", "2031/7/30", "1999/3/12", "2012/12/1", "2029/8/8", "2001/2/14",
                    "2034/6/6", "1997/9/9", "2008/4/4"}, false, std::nullopt},
        ColumnCase{"birth header over future dates", "生年月日", {"2031/7/30", "2029/8/8", "2034/6/6"}, false,
                   std::nullopt},
        ColumnCase{"product names in katakana", nullptr, repeat({"コーヒー", "ノート", "ボールペン", "プリンター",
                                                                 "マウス", "キーボード", "モニター", "ケーブル"}, 64),
                   false, std::nullopt},
        ColumnCase{"cards that fail the Luhn check", nullptr, {"4111 1111 1111 1112", "5555 5555 5555 4440",
                                                               "3782 8224 6310 006", "6011 1111 1111 1110"}, false,
                   std::nullopt},
        ColumnCase{"twelve digits with wrong check digits", nullptr, {"123456789017", "987654321092", "314159265351",
                                                                      "271828182841"}, false, std::nullopt}));

}  // namespace
}  // namespace hsc
