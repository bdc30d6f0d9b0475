#include "engine/suggest_detect.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <unordered_set>
#include "engine/text_routines.h"

namespace hsc {
namespace {

// ---- UTF-8 ----

struct CodePoint {
    char32_t c;
    std::size_t length;
};

// The code point at `i`; a byte that does not begin valid UTF-8 stands for itself.
CodePoint decode(std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return {b, 1};
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < n; ++k) {
        const auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) return {b, 1};
        c = (c << 6) | (t & 0x3F);
    }
    return {c, n};
}

std::vector<char32_t> code_points(std::string_view s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const CodePoint cp = decode(s, i);
        out.push_back(cp.c);
        i += cp.length;
    }
    return out;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_kanji(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF) ||
           c == 0x3005 /* 々 */ || c == 0x30F6 /* ヶ */;
}
bool is_hiragana(char32_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E; }
bool is_katakana(char32_t c) {
    return (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FD || c == 0x30FE || (c >= 0xFF66 && c <= 0xFF9D);
}
// Marks that belong to kana words without being letters: ー ・ and the half-width
// voicing marks and prolonged sound mark.
bool is_kana_mark(char32_t c) { return c == 0x30FC || c == 0x30FB || c == 0xFF70 || c == 0xFF9E || c == 0xFF9F; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

std::string lower_ascii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool all_digits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), is_digit); }

int to_int(std::string_view digits) {
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

// ---- header words ----

struct Keyword {
    std::string_view word;
    DataKind kind;
};

// Japanese words found anywhere in the header; the first that matches decides, so
// "メールアドレス" is a mail column and "カナ氏名" a reading.
constexpr Keyword JAPANESE_WORDS[] = {
    {"生年月日", DataKind::birth_date}, {"誕生日", DataKind::birth_date},  {"生年", DataKind::birth_date},
    {"メール", DataKind::email},        {"フリガナ", DataKind::kana},      {"ふりがな", DataKind::kana},
    {"カナ", DataKind::kana},           {"かな", DataKind::kana},          {"ヨミ", DataKind::kana},
    {"よみ", DataKind::kana},           {"読み", DataKind::kana},          {"郵便番号", DataKind::postal_code},
    {"〒", DataKind::postal_code},      {"郵便", DataKind::postal_code},   {"携帯", DataKind::phone},
    {"電話", DataKind::phone},          {"連絡先", DataKind::phone},       {"住所", DataKind::address},
    {"所在地", DataKind::address},      {"番地", DataKind::address},       {"市区町村", DataKind::address},
    {"都道府県", DataKind::address},    {"口座", DataKind::bank_account},  {"カード番号", DataKind::bank_account},
    {"マイナンバー", DataKind::personal_number}, {"個人番号", DataKind::personal_number},
    {"免許証", DataKind::personal_number},       {"保険証", DataKind::personal_number},
    {"パスポート", DataKind::personal_number},   {"氏名", DataKind::name},
    {"名前", DataKind::name},           {"姓名", DataKind::name},          {"宛名", DataKind::name},
    {"者名", DataKind::name},           {"顧客名", DataKind::name},        {"会員名", DataKind::name},
    {"社員名", DataKind::name},         {"従業員名", DataKind::name},      {"患者名", DataKind::name},
    {"生徒名", DataKind::name},         {"学生名", DataKind::name},        {"お客様名", DataKind::name},
};
// Whole headers: a single 姓 or 名, and words for a person ending in 者 (担当者, 契約者).
constexpr Keyword JAPANESE_WHOLE[] = {{"姓", DataKind::name}, {"名", DataKind::name}, {"担当", DataKind::name}};
constexpr std::string_view PERSON_SUFFIX = "者";

// English words, compared with whole words of the header (camelCase and separators split).
constexpr Keyword ENGLISH_WORDS[] = {
    {"birth", DataKind::birth_date},  {"birthday", DataKind::birth_date}, {"birthdate", DataKind::birth_date},
    {"dob", DataKind::birth_date},    {"email", DataKind::email},         {"mail", DataKind::email},
    {"kana", DataKind::kana},         {"furigana", DataKind::kana},       {"zip", DataKind::postal_code},
    {"zipcode", DataKind::postal_code}, {"postal", DataKind::postal_code}, {"postcode", DataKind::postal_code},
    {"phone", DataKind::phone},       {"telephone", DataKind::phone},     {"tel", DataKind::phone},
    {"mobile", DataKind::phone},      {"cellphone", DataKind::phone},     {"fax", DataKind::phone},
    {"address", DataKind::address},   {"addr", DataKind::address},        {"street", DataKind::address},
    {"iban", DataKind::bank_account}, {"ssn", DataKind::personal_number}, {"passport", DataKind::personal_number},
    {"name", DataKind::name},         {"fullname", DataKind::name},       {"firstname", DataKind::name},
    {"lastname", DataKind::name},     {"surname", DataKind::name},        {"givenname", DataKind::name},
    {"familyname", DataKind::name},
};
// Words that make "name" or "address" name something else than a person.
constexpr std::string_view NOT_A_PERSON[] = {
    "company", "product", "item",   "file",  "sheet", "shop",    "store",  "branch", "dept",  "department",
    "project", "brand",   "host",   "domain", "server", "app",   "category", "model", "plan",  "course",
    "organization", "org", "corp",  "vendor", "supplier", "bank", "city",  "town",   "event", "team",
    "group",   "ip",      "mac",    "web",   "url",   "sender",  "field",  "table",  "column", "user",
};

// The words of an ASCII header: letters and digits, split at other characters and where
// a lower-case letter is followed by an upper-case one.
std::vector<std::string> english_words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    char previous = 0;
    for (char c : text) {
        const bool letter = is_alpha(c) || is_digit(c);
        if (!letter || (c >= 'A' && c <= 'Z' && previous >= 'a' && previous <= 'z')) {
            if (!word.empty()) words.push_back(lower_ascii(word));
            word.clear();
        }
        if (letter) word += c;
        previous = c;
    }
    if (!word.empty()) words.push_back(lower_ascii(word));
    return words;
}

// ---- values ----

bool is_email(std::string_view s) {
    const auto at = s.find('@');
    if (at == std::string_view::npos || at == 0 || s.find('@', at + 1) != std::string_view::npos) return false;
    const std::string_view local = s.substr(0, at), domain = s.substr(at + 1);
    constexpr std::string_view LOCAL_SIGNS = ".!#$%&'*+/=?^_`{|}~-";
    for (char c : local)
        if (!is_alpha(c) && !is_digit(c) && LOCAL_SIGNS.find(c) == std::string_view::npos) return false;
    // labels of letters, digits and hyphens; the last one at least two letters
    std::size_t labels = 0, start = 0;
    for (;;) {
        const auto dot = domain.find('.', start);
        const std::string_view label = domain.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty()) return false;
        for (char c : label)
            if (!is_alpha(c) && !is_digit(c) && c != '-') return false;
        ++labels;
        if (dot == std::string_view::npos) {
            return labels >= 2 && label.size() >= 2 && std::all_of(label.begin(), label.end(), is_alpha);
        }
        start = dot + 1;
    }
}

bool is_phone(std::string_view s, bool number) {
    if (number) {
        // A mobile number typed into a number cell loses its leading zero: 9012345678.
        return s.size() == 10 && all_digits(s) && (s[0] == '5' || s[0] == '7' || s[0] == '8' || s[0] == '9') &&
               s[1] == '0';
    }
    const std::string low = lower_ascii(std::string(s.substr(0, 4)));
    if (low.starts_with("tel")) {
        s.remove_prefix(3);
        while (!s.empty() && (s.front() == '.' || s.front() == ':' || s.front() == ' ')) s.remove_prefix(1);
    }
    std::string digits;
    bool international = false;
    if (s.starts_with("+81")) {
        international = true;
        s.remove_prefix(3);
    }
    for (char c : s) {
        if (is_digit(c)) digits += c;
        else if (c != '-' && c != ' ' && c != '(' && c != ')') return false;
    }
    if (international) {
        if (digits.starts_with("0")) digits.erase(0, 1);  // +81 (0)3-...
        digits.insert(0, "0");
    }
    // 10 digits for fixed lines, 11 for mobiles and 050; an 11-digit number with a fixed
    // area code is a typing slip that still shows a phone number.
    if (digits.size() < 10 || digits.size() > 11 || digits[0] != '0') return false;
    return digits[1] != '0' || digits.starts_with("0120") || digits.starts_with("0800");
}

unsigned postal_flags(std::string_view s, bool number) {
    bool mark = false;
    if (s.starts_with("\xE3\x80\x92")) {  // 〒
        mark = true;
        s = trim(s.substr(3));
    }
    if (s.size() == 8 && s[3] == '-' && all_digits(s.substr(0, 3)) && all_digits(s.substr(4))) return VALUE_POSTAL;
    if (s.size() == 7 && all_digits(s)) return mark ? VALUE_POSTAL : VALUE_SEVEN_DIGITS;
    // A postal code in a number cell loses its leading zero: 600001 for 060-0001.
    if (number && s.size() == 6 && all_digits(s)) return VALUE_SIX_DIGITS;
    return 0;
}

bool is_kana(const std::vector<char32_t>& cps) {
    std::size_t letters = 0;
    for (char32_t c : cps) {
        if (is_katakana(c) || is_hiragana(c)) ++letters;
        else if (!is_kana_mark(c) && c != U' ') return false;
    }
    return letters >= 2;
}

bool is_person_name(const std::vector<char32_t>& cps) {
    const auto space = std::find(cps.begin(), cps.end(), U' ');
    if (space == cps.end() || std::find(space + 1, cps.end(), U' ') != cps.end()) return false;
    const auto family = static_cast<std::size_t>(space - cps.begin());
    const auto given = static_cast<std::size_t>(cps.end() - space - 1);
    if (family < 1 || family > 4 || given < 1 || given > 5) return false;
    if (!std::all_of(cps.begin(), space, is_kanji)) return false;
    return std::all_of(space + 1, cps.end(), [](char32_t c) { return is_kanji(c) || is_hiragana(c) || is_katakana(c); });
}

constexpr std::string_view PREFECTURES[] = {
    "北海道", "青森県", "岩手県", "宮城県", "秋田県", "山形県", "福島県", "茨城県", "栃木県", "群馬県",
    "埼玉県", "千葉県", "東京都", "神奈川県", "新潟県", "富山県", "石川県", "福井県", "山梨県", "長野県",
    "岐阜県", "静岡県", "愛知県", "三重県", "滋賀県", "京都府", "大阪府", "兵庫県", "奈良県", "和歌山県",
    "鳥取県", "島根県", "岡山県", "広島県", "山口県", "徳島県", "香川県", "愛媛県", "高知県", "福岡県",
    "佐賀県", "長崎県", "熊本県", "大分県", "宮崎県", "鹿児島県", "沖縄県",
};

bool is_address(std::string_view s) {
    if (s.starts_with("\xE3\x80\x92")) {  // 〒123-4567 in front of the address
        s = trim(s.substr(3));
        std::size_t i = 0;
        while (i < s.size() && (is_digit(s[i]) || s[i] == '-')) ++i;
        s = trim(s.substr(i));
    }
    for (std::string_view p : PREFECTURES)
        if (s.starts_with(p)) return true;
    // 市, 区, 町, 村 or 郡 after something, then a number: 港区芝公園4-2-8.
    const auto cps = code_points(s);
    for (std::size_t i = 1; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c != U'市' && c != U'区' && c != U'町' && c != U'村' && c != U'郡') continue;
        for (std::size_t k = i + 1; k < cps.size(); ++k)
            if ((cps[k] >= U'0' && cps[k] <= U'9') || cps[k] == U'丁' || cps[k] == U'番') return true;
        return false;
    }
    return false;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int days_in_month(int y, int m) {
    constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : DAYS[m - 1];
}
std::optional<CivilDate> checked(int y, int m, int d) {
    if (y < 1800 || y > 2200 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return std::nullopt;
    return CivilDate{y, m, d};
}

// Splits "1985/3/12", "1985年3月12日" and the like into its numbers; `seps` gives the
// separators met.
bool three_numbers(std::string_view s, std::array<std::string, 3>& numbers, std::array<std::string, 3>& seps) {
    std::size_t k = 0;
    std::size_t i = 0;
    while (k < 3) {
        std::size_t start = i;
        while (i < s.size() && is_digit(s[i])) ++i;
        if (i == start || i - start > 4) return false;
        numbers[k] = std::string(s.substr(start, i - start));
        start = i;
        while (i < s.size() && !is_digit(s[i])) ++i;
        seps[k] = std::string(s.substr(start, i - start));
        ++k;
    }
    return i == s.size();
}

struct Era {
    std::string_view name, letter;
    int first_year;
};
constexpr Era ERAS[] = {{"明治", "m", 1868}, {"大正", "t", 1912}, {"昭和", "s", 1926}, {"平成", "h", 1989}, {"令和", "r", 2019}};

}  // namespace

std::string_view data_kind_word(DataKind kind) {
    switch (kind) {
        case DataKind::name: return "name";
        case DataKind::kana: return "kana";
        case DataKind::address: return "address";
        case DataKind::postal_code: return "postal_code";
        case DataKind::phone: return "phone";
        case DataKind::email: return "email";
        case DataKind::birth_date: return "birth_date";
        case DataKind::bank_account: return "bank_account";
        case DataKind::personal_number: return "personal_number";
    }
    return "?";
}

std::string to_halfwidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint cp = decode(text, i);
        char32_t c = cp.c;
        if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
        else if (c == 0x3000) c = U' ';
        else if ((c >= 0x2010 && c <= 0x2015) || c == 0x2212 || c == 0xFE63) c = U'-';
        if (cp.length == 1 || c != cp.c) append_utf8(out, c);
        else out.append(text.substr(i, cp.length));
        i += cp.length;
    }
    return out;
}

std::optional<HeaderWord> match_header(std::string_view header_text) {
    const std::string h = to_halfwidth(trim(header_text));
    const std::string_view t = trim(h);
    // Long texts are notes or data, not headers.
    if (t.empty() || t.size() > 60) return std::nullopt;
    // A value is no header, whatever words it holds: 〒209-1606, 東京都…電話局前. Kana
    // alone is no value: メールアドレス and フリガナ are headers written in kana.
    constexpr unsigned VALUE_FORMS = VALUE_EMAIL | VALUE_PHONE | VALUE_POSTAL | VALUE_SEVEN_DIGITS | VALUE_DATE |
                                     VALUE_ADDRESS;
    if ((classify_value(t) & VALUE_FORMS) != 0) return std::nullopt;
    for (const Keyword& k : JAPANESE_WORDS)
        if (t.find(k.word) != std::string_view::npos) return HeaderWord{k.kind, k.word};
    for (const Keyword& k : JAPANESE_WHOLE)
        if (t == k.word) return HeaderWord{k.kind, k.word};
    if (t.size() > PERSON_SUFFIX.size() && t.ends_with(PERSON_SUFFIX)) return HeaderWord{DataKind::name, PERSON_SUFFIX};

    const auto words = english_words(t);
    const bool other = std::any_of(words.begin(), words.end(), [](const std::string& w) {
        return std::find(std::begin(NOT_A_PERSON), std::end(NOT_A_PERSON), w) != std::end(NOT_A_PERSON);
    });
    for (const Keyword& k : ENGLISH_WORDS) {
        if (std::find(words.begin(), words.end(), k.word) == words.end()) continue;
        if (other && (k.kind == DataKind::name || k.kind == DataKind::address)) continue;
        return HeaderWord{k.kind, k.word};
    }
    // "account number" of a bank
    const auto has = [&](std::string_view w) { return std::find(words.begin(), words.end(), w) != words.end(); };
    if (has("account") && (has("bank") || has("number") || has("no")))
        return HeaderWord{DataKind::bank_account, "account"};
    return std::nullopt;
}

std::optional<CivilDate> value_date(std::string_view shown) {
    const std::string h = to_halfwidth(trim(shown));
    std::string_view s = trim(h);
    // a time after the date is not part of it
    if (auto sp = s.find(' '); sp != std::string_view::npos) s = s.substr(0, sp);
    if (s.size() == 8 && all_digits(s)) return checked(to_int(s.substr(0, 4)), to_int(s.substr(4, 2)), to_int(s.substr(6)));

    int era_first = 0;
    for (const Era& e : ERAS) {
        if (s.starts_with(e.name)) {
            era_first = e.first_year;
            s.remove_prefix(e.name.size());
        } else if (!s.empty() && (s[0] == e.letter[0] || s[0] == e.letter[0] - 'a' + 'A') && s.size() > 1 &&
                   (is_digit(s[1]) || s.substr(1).starts_with("元"))) {
            era_first = e.first_year;
            s.remove_prefix(1);
        }
        if (era_first) break;
    }
    std::string first_year_one;
    if (era_first && s.starts_with("元")) {  // 元年, the first year of an era
        first_year_one = "1" + std::string(s.substr(3));
        s = first_year_one;
    }
    std::array<std::string, 3> n, sep;
    if (!three_numbers(s, n, sep)) return std::nullopt;
    const bool kanji_form = sep[0] == "年" && sep[1] == "月" && (sep[2] == "日" || sep[2].empty());
    const bool sign_form = sep[0].size() == 1 && sep[0] == sep[1] && sep[2].empty() &&
                           (sep[0] == "/" || sep[0] == "-" || sep[0] == ".");
    if (!kanji_form && !sign_form) return std::nullopt;
    if (era_first) {
        if (n[0].size() > 2) return std::nullopt;
        return checked(era_first + to_int(n[0]) - 1, to_int(n[1]), to_int(n[2]));
    }
    if (n[0].size() != 4 || n[1].size() > 2 || n[2].size() > 2) return std::nullopt;
    return checked(to_int(n[0]), to_int(n[1]), to_int(n[2]));
}

std::optional<CivilDate> serial_date(double serial) {
    if (!(serial >= 1 && serial < 2958466)) return std::nullopt;
    long days = static_cast<long>(std::floor(serial));
    // The 1900 system counts a 29 February 1900 that never was: day 60.
    if (days == 60) return CivilDate{1900, 2, 29};
    if (days > 60) --days;
    // days since 1899-12-31 (day -25568 of 1970), then the civil date of that day
    long z = days - 25568 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    return CivilDate{y, m, d};
}

unsigned classify_value(std::string_view shown, bool number) {
    const std::string h = to_halfwidth(trim(shown));
    const std::string_view s = trim(h);
    if (s.empty()) return 0;
    unsigned flags = 0;
    if (is_email(s)) flags |= VALUE_EMAIL;
    if (is_phone(s, number)) flags |= VALUE_PHONE;
    flags |= postal_flags(s, number);
    if (value_date(s)) flags |= VALUE_DATE;
    if (is_address(s)) flags |= VALUE_ADDRESS;
    const auto cps = code_points(s);
    if (is_kana(cps)) flags |= VALUE_KANA;
    if (is_person_name(cps)) flags |= VALUE_PERSON_NAME;
    return flags;
}

std::optional<ColumnVerdict> judge_column(const ColumnSample& sample, int reference_year) {
    constexpr std::size_t MIN_VALUES = 3;       // fewer values say nothing by themselves
    constexpr double SHARE = 0.6;               // of the values, for a content reason
    constexpr double SEVEN_DIGIT_SHARE = 0.9;   // bare 7-digit numbers need more
    constexpr double DISTINCT = 0.2;            // names and readings repeat less than categories
    constexpr int BIRTH_SPAN_YEARS = 15;        // birth dates spread over many years
    constexpr int BIRTH_MIN_AGE = 15;
    constexpr double HEADER_VETO = 0.2;         // a mail/phone/postal/date header over other data

    const std::size_t n = sample.values.size();
    std::array<std::size_t, 9> count{};
    std::vector<int> birth_years;
    std::size_t seven_rising = 0, seven_pairs = 0;
    long long previous_seven = -1;
    std::unordered_set<std::string_view> distinct;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& v = sample.values[i];
        const bool number = i < sample.numbers.size() && sample.numbers[i];
        const unsigned f = classify_value(v, number);
        for (std::size_t b = 0; b < count.size(); ++b)
            if (f & (1u << b)) ++count[b];
        if (f & VALUE_DATE) {
            const auto d = value_date(v);
            if (d && d->year >= 1900 && d->year <= reference_year) birth_years.push_back(d->year);
        }
        if (f & (VALUE_SEVEN_DIGITS | VALUE_SIX_DIGITS)) {
            const std::string digits = to_halfwidth(trim(v));
            const long long value = std::stoll(std::string(trim(digits)));
            if (previous_seven >= 0) {
                ++seven_pairs;
                if (value > previous_seven) ++seven_rising;
            }
            previous_seven = value;
        }
        distinct.insert(v);
    }
    auto at = [&](unsigned flag) { return count[static_cast<std::size_t>(std::countr_zero(flag))]; };
    const auto share = [&](std::size_t k) { return n == 0 ? 0.0 : static_cast<double>(k) / static_cast<double>(n); };
    const bool varied = n < 10 || share(distinct.size()) >= DISTINCT;

    std::vector<ContentMatch> content;
    auto consider = [&](DataKind kind, std::size_t matched, bool extra) {
        if (n >= MIN_VALUES && share(matched) >= SHARE && extra) content.push_back({kind, matched});
    };
    consider(DataKind::email, at(VALUE_EMAIL), true);
    consider(DataKind::phone, at(VALUE_PHONE), true);
    consider(DataKind::kana, at(VALUE_KANA), varied);
    consider(DataKind::name, at(VALUE_PERSON_NAME), varied);
    consider(DataKind::address, at(VALUE_ADDRESS), true);
    {
        const std::size_t strong = at(VALUE_POSTAL), seven = at(VALUE_SEVEN_DIGITS), six = at(VALUE_SIX_DIGITS);
        // Running numbers (order numbers, IDs) rise row by row; postal codes do not. Bare
        // numbers count only in a column mostly of seven digits: amounts spread over sizes.
        const bool running = seven_pairs >= 5 && seven_rising * 10 >= seven_pairs * 9;
        if (n >= MIN_VALUES && share(strong) >= SHARE) content.push_back({DataKind::postal_code, strong});
        else if (n >= MIN_VALUES && share(strong + seven) >= SHARE &&
                 share(strong + seven + six) >= SEVEN_DIGIT_SHARE && !running)
            content.push_back({DataKind::postal_code, strong + seven + six});
    }
    if (!birth_years.empty()) {
        std::sort(birth_years.begin(), birth_years.end());
        const int span = birth_years.back() - birth_years.front();
        const int median = birth_years[birth_years.size() / 2];
        // Dates are the least telling values: under a header that names them otherwise
        // (入会日, Member Since) they are taken at its word.
        consider(DataKind::birth_date, birth_years.size(),
                 !sample.other_header && (n < 10 || span >= BIRTH_SPAN_YEARS) &&
                     median <= reference_year - BIRTH_MIN_AGE);
    }
    std::stable_sort(content.begin(), content.end(),
                     [](const ContentMatch& a, const ContentMatch& b) { return a.matched > b.matched; });

    std::optional<HeaderWord> header = sample.header;
    if (header) {
        const DataKind k = header->kind;
        const bool checkable = k == DataKind::email || k == DataKind::phone || k == DataKind::postal_code ||
                               k == DataKind::birth_date;
        std::size_t personal = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const bool number = i < sample.numbers.size() && sample.numbers[i];
            if (classify_value(sample.values[i], number) &
                (VALUE_EMAIL | VALUE_PHONE | VALUE_POSTAL | VALUE_SEVEN_DIGITS | VALUE_SIX_DIGITS | VALUE_DATE))
                ++personal;
        }
        // "メール配信" over 可/否: the header speaks of mail, the values are not addresses.
        if (checkable && n >= 10 && share(personal) < HEADER_VETO) header.reset();
    }
    if (!header && content.empty()) return std::nullopt;

    ColumnVerdict verdict;
    verdict.header = header;
    verdict.kind = header ? header->kind : content.front().kind;
    verdict.values = n;
    // The share of the header's own kind is shown too, when the values can tell it.
    if (header && std::none_of(content.begin(), content.end(),
                               [&](const ContentMatch& c) { return c.kind == header->kind; })) {
        std::size_t own = 0;
        switch (header->kind) {
            case DataKind::email: own = at(VALUE_EMAIL); break;
            case DataKind::phone: own = at(VALUE_PHONE); break;
            case DataKind::postal_code: own = at(VALUE_POSTAL) + at(VALUE_SEVEN_DIGITS) + at(VALUE_SIX_DIGITS); break;
            case DataKind::kana: own = at(VALUE_KANA); break;
            case DataKind::address: own = at(VALUE_ADDRESS); break;
            case DataKind::birth_date: own = birth_years.size(); break;
            case DataKind::name: own = at(VALUE_PERSON_NAME); break;
            default: break;
        }
        if (own > 0) content.push_back({header->kind, own});
    }
    verdict.content = std::move(content);
    return verdict;
}

}  // namespace hsc
