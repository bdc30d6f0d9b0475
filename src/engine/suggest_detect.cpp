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

// Japanese words found anywhere in the header (spaces taken out: 氏　名); the first that
// matches decides, so "メールアドレス" is a mail column and "カナ氏名" a reading.
constexpr Keyword JAPANESE_WORDS[] = {
    {"生年月日", DataKind::birth_date}, {"誕生", DataKind::birth_date},    {"生年", DataKind::birth_date},
    {"生まれ", DataKind::birth_date},   {"メール", DataKind::email},       {"フリガナ", DataKind::kana},
    {"ふりがな", DataKind::kana},       {"カナ", DataKind::kana},          {"かな", DataKind::kana},
    {"ヨミ", DataKind::kana},           {"よみ", DataKind::kana},          {"読み", DataKind::kana},
    {"郵便番号", DataKind::postal_code}, {"〒", DataKind::postal_code},    {"郵便", DataKind::postal_code},
    {"携帯", DataKind::phone},          {"電話", DataKind::phone},         {"連絡先", DataKind::phone},
    {"住所", DataKind::address},        {"所在地", DataKind::address},     {"番地", DataKind::address},
    {"市区町村", DataKind::address},    {"建物", DataKind::address},       {"マンション", DataKind::address},
    {"アパート", DataKind::address},    {"部屋番号", DataKind::address},   {"号室", DataKind::address},
    {"口座", DataKind::bank_account},   {"カード番号", DataKind::bank_account},
    {"マイナンバー", DataKind::personal_number}, {"個人番号", DataKind::personal_number},
    {"免許証", DataKind::personal_number},       {"保険証", DataKind::personal_number},
    {"パスポート", DataKind::personal_number},   {"旅券", DataKind::personal_number},
    {"氏名", DataKind::name},           {"名前", DataKind::name},          {"姓名", DataKind::name},
    {"宛名", DataKind::name},           {"者名", DataKind::name},          {"顧客名", DataKind::name},
    {"会員名", DataKind::name},         {"社員名", DataKind::name},        {"従業員名", DataKind::name},
    {"患者名", DataKind::name},         {"生徒名", DataKind::name},        {"学生名", DataKind::name},
    {"お客様名", DataKind::name},       {"受取人", DataKind::name},        {"届け先", DataKind::name},
};
// Whole headers: a single 姓 or 名, and words for a person ending in 者 (担当者, 契約者);
// whether the column holds persons (not 製造者 over companies) its values tell.
constexpr Keyword JAPANESE_WHOLE[] = {{"姓", DataKind::name}, {"名", DataKind::name}, {"担当", DataKind::name}};
constexpr std::string_view PERSON_SUFFIX = "者";
// Headers about a state of the data, not the data: 住所変更 (有/無), 氏名確認 (済/未),
// 口座種別 (普通/当座), ご住所区分 (自宅/勤務先).
constexpr std::string_view STATE_WORDS[] = {"変更", "確認", "区分", "種別", "有無", "要否", "可否", "フラグ",
                                            "希望", "済", "配信", "送付", "登録日", "更新日", "件数", "数"};
// Headers of an organisation or a thing: 会社名カナ, 取引先フリガナ, 委託業者, 商品名.
constexpr std::string_view THING_WORDS[] = {"会社", "社名", "取引先", "法人", "企業", "店舗", "店名", "商品", "製品",
                                            "品名", "部署", "銀行", "支店", "業者", "メーカー", "施設", "団体", "学校"};

// English words, compared with whole words of the header (camelCase and separators split).
constexpr Keyword ENGLISH_WORDS[] = {
    {"birth", DataKind::birth_date},  {"birthday", DataKind::birth_date}, {"birthdate", DataKind::birth_date},
    {"dob", DataKind::birth_date},    {"email", DataKind::email},         {"mail", DataKind::email},
    {"kana", DataKind::kana},         {"furigana", DataKind::kana},       {"zip", DataKind::postal_code},
    {"zipcode", DataKind::postal_code}, {"postal", DataKind::postal_code}, {"postcode", DataKind::postal_code},
    {"phone", DataKind::phone},       {"telephone", DataKind::phone},     {"tel", DataKind::phone},
    {"mobile", DataKind::phone},      {"cellphone", DataKind::phone},     {"cell", DataKind::phone},
    {"fax", DataKind::phone},         {"address", DataKind::address},     {"addr", DataKind::address},
    {"street", DataKind::address},    {"apt", DataKind::address},         {"suite", DataKind::address},
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
// The words that may stand before "name" in a header of persons (Customer Name, First
// Name); any other word there names a thing (Vessel name, Kit name, Code name).
constexpr std::string_view PERSON_WORDS[] = {
    "first", "last", "full", "given", "family", "middle", "sur", "maiden", "nick", "legal", "display", "customer",
    "client", "contact", "employee", "staff", "patient", "member", "student", "applicant", "guest", "tenant",
    "owner", "holder", "recipient", "person", "buyer", "parent", "guardian", "beneficiary", "account", "cardholder",
    "your", "my", "his", "her", "emergency", "spouse", "driver", "passenger", "candidate", "teacher", "doctor",
};
// Headers that are only a word for a person: Customer, Employee, Contact, Patient.
constexpr std::string_view PERSON_ONLY[] = {"customer", "client", "contact", "employee", "patient", "member",
                                            "applicant", "guest", "tenant", "recipient", "person", "cardholder"};

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

// The digits of a text written with the signs phone numbers are written with; nothing
// when anything else is in it. `groups` counts the runs of digits.
std::optional<std::string> phone_digits(std::string_view s, int& groups) {
    std::string digits;
    groups = 0;
    bool in_digits = false;
    for (char c : s) {
        if (is_digit(c)) {
            digits += c;
            if (!in_digits) ++groups;
            in_digits = true;
            continue;
        }
        if (c != '-' && c != ' ' && c != '(' && c != ')' && c != '.') return std::nullopt;
        in_digits = false;
    }
    return digits;
}

// A Japanese number from its national digits: 10 for fixed lines, 11 for mobiles and 050
// (an 11-digit number with a fixed area code is a typing slip that still shows a phone
// number); 00 starts an international call, not a number.
bool japanese_phone(std::string_view digits) {
    if (digits.size() < 10 || digits.size() > 11 || digits[0] != '0') return false;
    return digits[1] != '0' || digits.starts_with("0120") || digits.starts_with("0800");
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
    int groups = 0;
    if (s.starts_with("+")) {
        const auto digits = phone_digits(s.substr(1), groups);
        if (!digits || groups < 2) return false;
        if (digits->starts_with("81")) {  // +81 (0)3-...: the national number follows
            std::string national = digits->substr(2);
            if (national.starts_with("0")) national.erase(0, 1);
            return japanese_phone("0" + national);
        }
        if (digits->starts_with("1")) return digits->size() == 11;  // +1 and ten digits
        // other countries: a code of one to three digits and a national number
        return digits->size() >= 9 && digits->size() <= 14 && (*digits)[0] != '0';
    }
    const auto digits = phone_digits(s, groups);
    if (!digits) return false;
    if (japanese_phone(*digits)) return true;
    // UK and other numbers written with a trunk 0: 020 7946 0958, 07700 900123
    if (digits->size() == 11 && (*digits)[0] == '0' && (*digits)[1] != '0' && groups >= 2) return true;
    // North American: (217) 555-0173, 217-555-0173, 217.555.0173; area code and exchange
    // never start with 0 or 1. Ten bare digits are more likely a number of something else.
    return digits->size() == 10 && groups == 3 && (*digits)[0] >= '2' && (*digits)[3] >= '2';
}

// A phone number somewhere inside a text: "平日18時以降 090-1234-5678 に連絡".
bool has_phone_inside(std::string_view s) {
    constexpr std::string_view PHONE_SIGNS = "0123456789-() .+";
    for (std::size_t i = 0; i < s.size();) {
        if (PHONE_SIGNS.find(s[i]) == std::string_view::npos) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && PHONE_SIGNS.find(s[j]) != std::string_view::npos) ++j;
        std::string_view run = trim(s.substr(i, j - i));
        while (!run.empty() && (run.back() == '.' || run.back() == '(')) run.remove_suffix(1);
        while (!run.empty() && (run.front() == '.' || run.front() == ')')) run.remove_prefix(1);
        if (run.size() >= 10 && is_phone(trim(run), false)) return true;
        i = j;
    }
    return false;
}

// Payment cards: 13 to 19 digits (in groups or not) that pass the Luhn check.
bool is_card(std::string_view s) {
    std::string digits;
    for (char c : s) {
        if (is_digit(c)) digits += c;
        else if (c != ' ' && c != '-') return false;
    }
    if (digits.size() < 13 || digits.size() > 19 || digits[0] < '2' || digits[0] > '6') return false;
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        int d = digits[digits.size() - 1 - i] - '0';
        if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return sum % 10 == 0;
}

// A US social security number: 123-45-6789, never area 000, 666 or 9xx, group 00 or
// serial 0000.
bool is_ssn(std::string_view s) {
    if (s.size() != 11 || s[3] != '-' || s[6] != '-') return false;
    const std::string_view area = s.substr(0, 3), group = s.substr(4, 2), serial = s.substr(7);
    if (!all_digits(area) || !all_digits(group) || !all_digits(serial)) return false;
    return area != "000" && area != "666" && area[0] != '9' && group != "00" && serial != "0000";
}

// A My Number: twelve digits, the last a check digit over the other eleven.
bool is_my_number(std::string_view s) {
    std::string digits;
    for (char c : s) {
        if (is_digit(c)) digits += c;
        else if (c != ' ' && c != '-') return false;
    }
    if (digits.size() != 12) return false;
    int sum = 0;
    for (int n = 1; n <= 11; ++n) {  // n-th digit from the right of the eleven
        const int p = digits[static_cast<std::size_t>(11 - n)] - '0';
        sum += p * (n <= 6 ? n + 1 : n - 5);
    }
    const int rest = sum % 11;
    return digits[11] - '0' == (rest <= 1 ? 0 : 11 - rest);
}

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

// ZIP+4 (62704-1234), UK postcodes (SW1A 1AA, LS1 4AB) and Canadian ones (K1A 0B1).
bool is_zip(std::string_view s) {
    if (s.size() == 10 && s[5] == '-' && all_digits(s.substr(0, 5)) && all_digits(s.substr(6))) return true;
    const auto space = s.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view out = s.substr(0, space), in = s.substr(space + 1);
    if (in.size() == 3 && is_digit(in[0]) && is_upper(in[1]) && is_upper(in[2]) && out.size() >= 2 && out.size() <= 4) {
        std::size_t i = 0;
        while (i < out.size() && is_upper(out[i])) ++i;
        if (i >= 1 && i <= 2 && i < out.size() && is_digit(out[i]) &&
            std::all_of(out.begin() + static_cast<long>(i), out.end(), [](char c) { return is_digit(c) || is_upper(c); }))
            return true;
    }
    return out.size() == 3 && in.size() == 3 && is_upper(out[0]) && is_digit(out[1]) && is_upper(out[2]) &&
           is_digit(in[0]) && is_upper(in[1]) && is_digit(in[2]);
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

// Half-width katakana as full-width, the voicing marks joined to their letter: ﾌﾘｶﾞﾅ -> フリガナ.
std::string full_width_kana(std::string_view text) {
    static constexpr char32_t FULL[] = U"ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン";
    std::vector<char32_t> out;
    for (char32_t c : code_points(text)) {
        if (c >= 0xFF66 && c <= 0xFF9D) {
            out.push_back(FULL[c - 0xFF66]);
        } else if ((c == 0xFF9E || c == 0xFF9F) && !out.empty()) {
            char32_t& last = out.back();
            const bool voiced = c == 0xFF9E;
            if (voiced && last == U'ウ') last = U'ヴ';
            else if (voiced && last >= U'カ' && last <= U'ト' && last != U'ッ') ++last;
            else if (last >= U'ハ' && last <= U'ホ' && (last - U'ハ') % 3 == 0) last += voiced ? 1 : 2;
            else out.push_back(c);
        } else {
            out.push_back(c);
        }
    }
    std::string s;
    for (char32_t c : out) append_utf8(s, c);
    return s;
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

// Common family names, to know a name written without a space (高橋美咲) by its start.
constexpr std::string_view FAMILY_NAMES[] = {
    "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤", "吉田", "山田", "佐々木", "山口",
    "松本", "井上", "木村", "林", "斎藤", "清水", "山崎", "森", "池田", "橋本", "阿部", "石川", "山下", "中島", "石井",
    "小川", "前田", "岡田", "長谷川", "藤田", "後藤", "近藤", "村上", "遠藤", "青木", "坂本", "斉藤", "福田", "太田",
    "西村", "藤井", "金子", "岡本", "藤原", "中野", "三浦", "原田", "中川", "松田", "竹内", "小野", "田村", "中山",
    "和田", "石田", "森田", "上田", "原", "内田", "柴田", "酒井", "宮崎", "横山", "高木", "安藤", "宮本", "大野",
    "小島", "工藤", "谷口", "今井", "高田", "増田", "丸山", "杉山", "村田", "大塚", "新井", "小山", "平野", "藤本",
    "河野", "上野", "野口", "武田", "松井", "千葉", "岩崎", "菅原", "木下", "久保", "佐野", "野村", "松尾", "市川",
    "菊地", "杉本", "古川", "大西", "島田", "水野", "桜井", "高野", "渡部", "吉川", "山内", "西田", "飯田", "菊池",
    "西川", "小松", "北村", "安田", "五十嵐", "川口", "平田", "関", "中田", "久保田", "服部", "東", "岩田", "土屋",
    "川崎", "福島", "本田", "辻", "樋口", "秋山", "田口", "永井", "山中", "中西", "吉村", "川上", "石原", "大橋",
    "松岡", "馬場", "浜田", "森本", "星野", "矢野", "浅野", "大久保", "松下", "小池", "野田", "荒木", "大谷", "内藤",
    "松浦", "熊谷", "黒田", "尾崎", "永田", "川村", "望月", "田辺", "松村", "荒井", "堀", "大島", "平井", "早川",
    "菅野", "栗原", "西山", "広瀬", "横田", "石橋", "萩原", "岩本", "片山", "関口", "宮田", "大石", "高山", "本間",
    "吉岡", "小西", "宮下", "小田", "奥村", "三宅", "沢田", "上原", "今村", "須藤", "神田",
};

// A name in kanji without a space: a known family name, then one to three kanji or kana.
bool is_joined_name(const std::vector<char32_t>& cps) {
    if (cps.size() < 2 || cps.size() > 7) return false;
    if (!std::all_of(cps.begin(), cps.end(), [](char32_t c) { return is_kanji(c) || is_hiragana(c); })) return false;
    if (!is_kanji(cps[0])) return false;
    std::string text;
    for (char32_t c : cps) append_utf8(text, c);
    for (std::string_view family : FAMILY_NAMES) {
        if (!text.starts_with(family)) continue;
        // after a one-letter family name (林, 東) at most two more: 東京本社 is a place
        const std::size_t letters = code_points(family).size();
        const std::size_t rest = cps.size() - letters;
        if (rest >= 1 && rest <= (letters == 1 ? 2u : 3u)) return true;
    }
    return false;
}

// Given names common in English-speaking countries; a list of our own, enough to tell a
// column of people from a column of ships or kits written the same way.
constexpr std::string_view GIVEN_NAMES[] = {
    "james", "john", "robert", "michael", "william", "david", "richard", "joseph", "thomas", "charles", "christopher",
    "daniel", "matthew", "anthony", "mark", "donald", "steven", "paul", "andrew", "joshua", "kenneth", "kevin",
    "brian", "george", "timothy", "ronald", "edward", "jason", "jeffrey", "ryan", "jacob", "gary", "nicholas", "eric",
    "jonathan", "stephen", "larry", "justin", "scott", "brandon", "benjamin", "samuel", "gregory", "alexander",
    "frank", "patrick", "raymond", "jack", "dennis", "jerry", "tyler", "aaron", "jose", "adam", "nathan", "henry",
    "douglas", "zachary", "peter", "kyle", "noah", "ethan", "jeremy", "walter", "christian", "keith", "roger",
    "terry", "austin", "sean", "gerald", "carl", "harold", "dylan", "arthur", "lawrence", "jordan", "jesse", "bryan",
    "bruce", "gabriel", "logan", "albert", "alan", "eugene", "russell", "vincent", "philip", "bradley", "oliver",
    "lucas", "liam", "mason", "elijah", "owen", "leo", "luke", "isaac", "wesley", "derek", "spencer", "preston",
    "leonard", "franklin", "nathaniel", "martin", "howard", "fred", "victor", "hugo", "ian", "max", "simon", "tom",
    "mary", "patricia", "jennifer", "linda", "elizabeth", "barbara", "susan", "jessica", "sarah", "karen", "lisa",
    "nancy", "betty", "sandra", "margaret", "ashley", "kimberly", "emily", "donna", "michelle", "carol", "amanda",
    "melissa", "deborah", "stephanie", "dorothy", "rebecca", "sharon", "laura", "cynthia", "amy", "kathleen",
    "angela", "shirley", "brenda", "emma", "anna", "pamela", "nicole", "samantha", "katherine", "christine", "helen",
    "rachel", "carolyn", "janet", "maria", "catherine", "heather", "diane", "olivia", "julie", "joyce", "victoria",
    "ruth", "virginia", "lauren", "kelly", "christina", "joan", "evelyn", "judith", "andrea", "hannah", "megan",
    "cheryl", "jacqueline", "martha", "madison", "teresa", "gloria", "sara", "janice", "ann", "kathryn", "abigail",
    "sophia", "frances", "jean", "alice", "judy", "isabella", "julia", "grace", "amber", "denise", "danielle",
    "marilyn", "beverly", "charlotte", "natalie", "theresa", "diana", "brittany", "doris", "kayla", "alexis", "marie",
    "irene", "elena", "vanessa", "tamara", "caroline", "avery", "quinn", "chloe", "sophie", "lily", "ava", "mia",
    "ella", "zoe", "rose", "claire", "lucy", "eva", "bob", "tim", "sam", "kate", "ellen", "carmen", "rosa", "ana",
};

bool is_given_name(std::string_view word) {
    const std::string w = lower_ascii(std::string(word));
    return std::find(std::begin(GIVEN_NAMES), std::end(GIVEN_NAMES), w) != std::end(GIVEN_NAMES);
}

// A name written in Latin letters: one to three capitalised words (O'Brien, Mary-Jane,
// J.), or "Family, Given". Returns 2 when it is a person's name for certain (a known given
// name, or the comma form), 1 when only its shape says so, 0 otherwise.
int latin_name(std::string_view s) {
    if (s.empty() || s.size() > 40) return 0;
    std::vector<std::string_view> words;
    bool comma = false;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        if (s[i] == ',') {
            if (comma || words.empty()) return 0;
            comma = true;
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && (is_alpha(s[j]) || s[j] == '\'' || s[j] == '-' || s[j] == '.')) ++j;
        if (j == i || (j < s.size() && s[j] != ' ' && s[j] != ',')) return 0;
        const std::string_view w = s.substr(i, j - i);
        if (!is_upper(w[0]) || w.size() < 2 || (w.size() > 3 && std::all_of(w.begin(), w.end(), is_upper))) return 0;
        words.push_back(w);
        i = j;
    }
    if (words.empty() || words.size() > 3) return 0;
    if (comma && words.size() >= 2) return 2;
    for (std::string_view w : words) {
        std::string_view core = w;
        while (!core.empty() && core.back() == '.') core.remove_suffix(1);
        if (is_given_name(core)) return 2;
    }
    return 1;
}

// Words that make a text a company, a shop or its reading rather than a person.
constexpr std::string_view COMPANY_MARKS[] = {
    "株式会社", "有限会社", "合同会社", "合資会社", "(株)", "(有)", "㈱", "㈲", "商店", "工業", "製作所", "物産",
    "運輸", "食品", "電機", "企画", "物流", "商事", "産業", "建設", "工務店", "協会", "組合", "法人", "事務所",
    "カブシキガイシャ", "ユウゲンガイシャ", "ゴウドウガイシャ", "(カ)", "ｶﾌﾞｼｷｶﾞｲｼｬ", "ﾕｳｹﾞﾝｶﾞｲｼｬ", "(ｶ)", "ｶ)",
    " Inc", " LLC", " Ltd", " Corp", " Co.", " GmbH", "Company", " Group", " Partners",
};

bool is_company(std::string_view s) {
    return std::any_of(std::begin(COMPANY_MARKS), std::end(COMPANY_MARKS),
                       [&](std::string_view m) { return s.find(m) != std::string_view::npos; });
}

// The last word of a street: "1234 Maple Ave", "221B Baker Street, Springfield, IL 62704".
constexpr std::string_view STREET_WORDS[] = {
    "st", "street", "ave", "avenue", "rd", "road", "dr", "drive", "ln", "lane", "blvd", "boulevard", "ct", "court",
    "way", "pl", "place", "ter", "terrace", "pkwy", "parkway", "hwy", "highway", "cir", "circle", "sq", "square",
    "trl", "trail", "row", "close", "crescent", "grove", "gardens", "hill",
};

bool is_street_address(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == 0 || i > 6) return false;
    if (i < s.size() && is_alpha(s[i])) ++i;  // 221B
    if (i >= s.size() || s[i] != ' ') return false;
    // a street word among the next words, before any comma
    const std::string_view rest = s.substr(i + 1, s.find(',', i) == std::string_view::npos ? std::string_view::npos
                                                                                           : s.find(',', i) - i - 1);
    std::size_t words = 0;
    for (std::size_t k = 0; k < rest.size();) {
        std::size_t e = rest.find(' ', k);
        if (e == std::string_view::npos) e = rest.size();
        std::string w = lower_ascii(std::string(rest.substr(k, e - k)));
        while (!w.empty() && w.back() == '.') w.pop_back();
        ++words;
        if (words >= 2 && std::find(std::begin(STREET_WORDS), std::end(STREET_WORDS), w) != std::end(STREET_WORDS))
            return true;
        k = e + 1;
    }
    return false;
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
    // A prefecture alone is a region, not where someone lives.
    for (std::string_view p : PREFECTURES)
        if (s.starts_with(p)) return s.size() > p.size() + 3;
    if (is_street_address(s)) return true;
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
                                     VALUE_ADDRESS | VALUE_PHONE_IN_TEXT;
    if ((classify_value(t) & VALUE_FORMS) != 0) return std::nullopt;
    // Japanese words are matched without spaces and with half-width kana made full: 氏　名, ﾌﾘｶﾞﾅ.
    std::string joined;
    for (char32_t c : code_points(full_width_kana(t)))
        if (c != U' ' && c != U'\t') append_utf8(joined, c);
    const auto holds = [&](std::string_view w) { return joined.find(w) != std::string::npos; };
    const bool state = std::any_of(std::begin(STATE_WORDS), std::end(STATE_WORDS), holds);
    const bool thing = std::any_of(std::begin(THING_WORDS), std::end(THING_WORDS), holds);
    for (const Keyword& k : JAPANESE_WORDS) {
        if (!holds(k.word)) continue;
        if (state) return std::nullopt;
        if (thing && (k.kind == DataKind::name || k.kind == DataKind::kana || k.kind == DataKind::address))
            return std::nullopt;
        return HeaderWord{k.kind, k.word};
    }
    for (const Keyword& k : JAPANESE_WHOLE)
        if (joined == k.word) return HeaderWord{k.kind, k.word};
    if (joined.size() > PERSON_SUFFIX.size() && joined.ends_with(PERSON_SUFFIX) && !state && !thing)
        return HeaderWord{DataKind::name, PERSON_SUFFIX};

    const auto words = english_words(t);
    const auto has = [&](std::string_view w) { return std::find(words.begin(), words.end(), w) != words.end(); };
    const auto listed = [](const auto& list, const std::string& w) {
        return std::find(std::begin(list), std::end(list), w) != std::end(list);
    };
    const bool other = std::any_of(words.begin(), words.end(), [&](const std::string& w) { return listed(NOT_A_PERSON, w); });
    if (has("social") && has("security")) return HeaderWord{DataKind::personal_number, "social security"};
    if (has("card") && (has("credit") || has("number") || has("no") || has("debit")))
        return HeaderWord{DataKind::bank_account, "card"};
    if (has("post") && has("code")) return HeaderWord{DataKind::postal_code, "post code"};
    if (has("contact") && (has("number") || has("no") || has("phone") || has("tel")))
        return HeaderWord{DataKind::phone, "contact number"};
    for (const Keyword& k : ENGLISH_WORDS) {
        if (!has(k.word)) continue;
        if (other && (k.kind == DataKind::name || k.kind == DataKind::address)) continue;
        // "X name" names a person only when X is a word for one.
        if (k.word == "name") {
            const auto at = std::find(words.begin(), words.end(), "name");
            if (at != words.begin() && !listed(PERSON_WORDS, *(at - 1))) continue;
        }
        return HeaderWord{k.kind, k.word};
    }
    if (!words.empty() && words.size() <= 2 && std::all_of(words.begin(), words.end(), [&](const std::string& w) {
            return listed(PERSON_ONLY, w);
        }))
        return HeaderWord{DataKind::name, "person"};
    // "account number" of a bank
    if (has("account") && (has("bank") || has("number") || has("no")))
        return HeaderWord{DataKind::bank_account, "account"};
    return std::nullopt;
}

namespace {

// An identifier or code header (品番, 会員番号, Part No.): its values are numbers of things
// even when they are shaped like phone numbers or postal codes.
bool names_identifier(std::string_view header_text) {
    const std::string h = to_halfwidth(trim(header_text));
    constexpr std::string_view JAPANESE[] = {"品番", "型番", "番号", "コード", "会員", "管理", "伝票", "注文", "部品"};
    for (std::string_view w : JAPANESE)
        if (h.find(w) != std::string::npos) return true;
    constexpr std::string_view ENGLISH[] = {"id", "no", "code", "sku", "part", "model", "serial", "item", "order",
                                            "number", "ref", "reference", "invoice", "ticket", "lot", "batch"};
    for (const std::string& w : english_words(h))
        if (std::find(std::begin(ENGLISH), std::end(ENGLISH), w) != std::end(ENGLISH)) return true;
    return false;
}

// A header of another date (入会日, Restock Date): its dates are no dates of birth.
bool names_other_date(std::string_view header_text) {
    const std::string h = to_halfwidth(trim(header_text));
    constexpr std::string_view JAPANESE[] = {"日", "年月", "期限", "満了", "時刻", "期間"};
    for (std::string_view w : JAPANESE)
        if (h.find(w) != std::string::npos) return true;
    constexpr std::string_view ENGLISH[] = {"date", "since", "joined", "created", "updated", "modified", "time",
                                            "day", "expiry", "expires", "due", "start", "end", "restock", "year"};
    for (const std::string& w : english_words(h))
        if (std::find(std::begin(ENGLISH), std::end(ENGLISH), w) != std::end(ENGLISH)) return true;
    return false;
}

}  // namespace

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

namespace {

bool is_prefecture(std::string_view s) {
    return std::find(std::begin(PREFECTURES), std::end(PREFECTURES), s) != std::end(PREFECTURES);
}

// Kanji, kana and spaces only, two to eight letters: what a Japanese name looks like,
// and also many words; only a column of varied values makes it a name.
bool japanese_name_shape(const std::vector<char32_t>& cps) {
    std::size_t letters = 0;
    for (char32_t c : cps) {
        if (is_kanji(c) || is_hiragana(c) || is_katakana(c) || is_kana_mark(c)) ++letters;
        else if (c != U' ') return false;
    }
    return letters >= 2 && letters <= 8;
}

std::size_t digit_count(std::string_view s) { return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), is_digit)); }

// Digits with at most spaces and hyphens between them: an account or member number.
bool digits_only(std::string_view s) {
    return digit_count(s) > 0 && std::all_of(s.begin(), s.end(), [](char c) { return is_digit(c) || c == '-' || c == ' '; });
}

bool has_non_ascii(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

}  // namespace

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
    if (!number) {
        if (is_card(s)) flags |= VALUE_CARD;
        if (is_ssn(s) || is_my_number(s)) flags |= VALUE_PERSONAL_NUMBER;
        if (is_zip(s)) flags |= VALUE_ZIP;
        if (!(flags & VALUE_PHONE) && has_phone_inside(s)) flags |= VALUE_PHONE_IN_TEXT;
    }
    const auto cps = code_points(s);
    if (is_company(s)) flags |= VALUE_COMPANY;
    if (is_kana(cps)) flags |= VALUE_KANA;
    if (!(flags & VALUE_COMPANY) && !number) {
        const int latin = latin_name(s);
        if (is_person_name(cps) || is_joined_name(cps) || latin == 2) flags |= VALUE_PERSON_NAME;
        else if (latin == 1 || japanese_name_shape(cps)) flags |= VALUE_NAME_SHAPE;
    }
    return flags;
}

std::optional<ColumnVerdict> judge_column(const ColumnSample& sample, int reference_year) {
    constexpr std::size_t MIN_VALUES = 3;       // fewer values say nothing by themselves
    constexpr double SHARE = 0.6;               // of the values, for a content reason
    constexpr double NOTE_SHARE = 0.3;          // notes: some hold a phone number, the rest say other things
    constexpr double SEVEN_DIGIT_SHARE = 0.9;   // bare 7-digit numbers need more
    constexpr double FIT = 0.5;                 // of the values, for a header word to be taken
    constexpr std::size_t VARIED_COUNT = 6;     // names and readings repeat less than flags and categories
    constexpr double VARIED_SHARE = 0.5;
    constexpr double VARIED_MIN_SHARE = 0.05;
    constexpr int BIRTH_SPAN_YEARS = 15;        // birth dates spread over many years
    constexpr int BIRTH_MIN_AGE = 18;           // most of them 18 to 100 years ago
    constexpr int BIRTH_MAX_AGE = 100;
    constexpr double BIRTH_AGE_SHARE = 0.8;
    constexpr int OLDEST = 110;
    constexpr double CERTAIN_NAMES = 0.2;       // under a header that may name anything                 // under a birth header: nobody older, nobody unborn

    const std::size_t n = sample.values.size();
    std::array<std::size_t, VALUE_FLAG_COUNT> count{};
    std::vector<int> years;   // of every date
    std::size_t seven_rising = 0, seven_pairs = 0;
    long long previous_seven = -1;
    std::unordered_set<std::string_view> distinct;
    std::vector<unsigned> flags(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& v = sample.values[i];
        const bool number = i < sample.numbers.size() && sample.numbers[i];
        const unsigned f = flags[i] = classify_value(v, number);
        for (std::size_t b = 0; b < count.size(); ++b)
            if (f & (1u << b)) ++count[b];
        if (f & VALUE_DATE)
            if (const auto d = value_date(v)) years.push_back(d->year);
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
    const bool varied = (distinct.size() >= VARIED_COUNT && share(distinct.size()) >= VARIED_MIN_SHARE) ||
                        share(distinct.size()) >= VARIED_SHARE;
    const bool mostly_distinct = share(distinct.size()) >= VARIED_SHARE;
    // Values counted one by one with the text as shown.
    const auto values_where = [&](auto&& test) {
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string h = to_halfwidth(trim(sample.values[i]));
            const bool number = i < sample.numbers.size() && sample.numbers[i];
            if (test(std::string_view(trim(h)), flags[i], number)) ++k;
        }
        return k;
    };
    // Readings of persons: family and given name apart (ヤマダ タロウ), or readings that
    // seldom repeat (a few katakana words over many rows are products); not companies.
    const auto kana_where = [&](bool distinct_enough) {
        return values_where([&](std::string_view s, unsigned f, bool) {
            return (f & VALUE_KANA) && !(f & VALUE_COMPANY) && (distinct_enough || s.find(' ') != std::string_view::npos);
        });
    };
    const std::size_t kana = kana_where(mostly_distinct);
    const std::size_t future = static_cast<std::size_t>(
        std::count_if(years.begin(), years.end(), [&](int y) { return y > reference_year; }));
    const std::size_t adult = static_cast<std::size_t>(std::count_if(years.begin(), years.end(), [&](int y) {
        return y <= reference_year - BIRTH_MIN_AGE && y >= reference_year - BIRTH_MAX_AGE;
    }));

    std::vector<ContentMatch> content;
    auto consider = [&](DataKind kind, std::size_t matched, bool extra) {
        if (n >= MIN_VALUES && share(matched) >= SHARE && extra) content.push_back({kind, matched});
    };
    consider(DataKind::email, at(VALUE_EMAIL), true);
    if (share(at(VALUE_PHONE)) >= SHARE) consider(DataKind::phone, at(VALUE_PHONE), true);
    else if (n >= MIN_VALUES && share(at(VALUE_PHONE) + at(VALUE_PHONE_IN_TEXT)) >= NOTE_SHARE)
        content.push_back({DataKind::phone, at(VALUE_PHONE) + at(VALUE_PHONE_IN_TEXT)});
    consider(DataKind::kana, kana, true);
    consider(DataKind::name, at(VALUE_PERSON_NAME), varied);
    consider(DataKind::address, at(VALUE_ADDRESS), true);
    consider(DataKind::bank_account, at(VALUE_CARD), true);
    consider(DataKind::personal_number, at(VALUE_PERSONAL_NUMBER), true);
    {
        const std::size_t strong = at(VALUE_POSTAL) + at(VALUE_ZIP), seven = at(VALUE_SEVEN_DIGITS),
                          six = at(VALUE_SIX_DIGITS);
        // Running numbers (order numbers, IDs) rise row by row; postal codes do not. Bare
        // numbers count only in a column mostly of seven digits: amounts spread over sizes.
        const bool running = seven_pairs >= 5 && seven_rising * 10 >= seven_pairs * 9;
        if (n >= MIN_VALUES && share(strong) >= SHARE) content.push_back({DataKind::postal_code, strong});
        else if (n >= MIN_VALUES && share(strong + seven) >= SHARE &&
                 share(strong + seven + six) >= SEVEN_DIGIT_SHARE && !running)
            content.push_back({DataKind::postal_code, strong + seven + six});
    }
    if (!years.empty()) {
        std::sort(years.begin(), years.end());
        const int span = years.back() - years.front();
        // Dates of birth: spread over decades, none in the future, mostly 18 to 100 years ago.
        consider(DataKind::birth_date, years.size(),
                 future == 0 && (n < 10 || span >= BIRTH_SPAN_YEARS) &&
                     static_cast<double>(adult) >= BIRTH_AGE_SHARE * static_cast<double>(years.size()));
    }
    // A header that names something else says what the shapes mean: 品番 03-1234-5678 is a
    // part, 会員番号 1234567 a member, 入荷日 a delivery.
    if (!sample.header && !sample.header_text.empty()) {
        const bool identifier = names_identifier(sample.header_text);
        const bool other_date = names_other_date(sample.header_text);
        std::erase_if(content, [&](const ContentMatch& c) {
            if (c.kind == DataKind::birth_date) return identifier || other_date;
            return identifier && (c.kind == DataKind::phone || c.kind == DataKind::postal_code ||
                                  c.kind == DataKind::bank_account || c.kind == DataKind::personal_number);
        });
    } else if (sample.other_header) {
        std::erase_if(content, [](const ContentMatch& c) { return c.kind == DataKind::birth_date; });
    }
    std::stable_sort(content.begin(), content.end(),
                     [](const ContentMatch& a, const ContentMatch& b) { return a.matched > b.matched; });

    const bool generic_name_header = sample.header && sample.header->kind == DataKind::name &&
                                     (sample.header->word == PERSON_SUFFIX || sample.header->word == "person" ||
                                      english_words(to_halfwidth(sample.header_text)) == std::vector<std::string>{"name"});
    // How many values fit the header's kind. A header word is evidence only together with
    // values that fit it: 住所変更 over 有/無 is no address, Name over ships no person.
    const auto fitting = [&](DataKind kind) -> std::size_t {
        switch (kind) {
            case DataKind::email: return at(VALUE_EMAIL);
            case DataKind::phone:
                return values_where([](std::string_view s, unsigned f, bool number) {
                    // a landline typed into a number cell lost its 0: 312345678
                    return (f & (VALUE_PHONE | VALUE_PHONE_IN_TEXT)) ||
                           (number && all_digits(s) && s.size() >= 9 && s.size() <= 11);
                });
            case DataKind::postal_code:
                return values_where([](std::string_view s, unsigned f, bool) {
                    return (f & (VALUE_POSTAL | VALUE_SEVEN_DIGITS | VALUE_SIX_DIGITS | VALUE_ZIP)) ||
                           (all_digits(s) && s.size() >= 3 && s.size() <= 5);  // ZIP codes, also without their 0
                });
            case DataKind::kana: return kana_where(varied);
            case DataKind::name: {
                // Under a header that may name anything (Name, 対象者) some values must be
                // names for certain; under 氏名 or Last Name their shape is enough.
                if (generic_name_header && share(at(VALUE_PERSON_NAME)) < CERTAIN_NAMES) return 0;
                return values_where([&](std::string_view, unsigned f, bool) {
                    if (f & VALUE_COMPANY) return false;
                    return (f & VALUE_PERSON_NAME) != 0 || (varied && (f & (VALUE_NAME_SHAPE | VALUE_KANA)));
                });
            }
            case DataKind::address:
                return values_where([&](std::string_view s, unsigned f, bool) {
                    if (f & VALUE_ADDRESS) return true;
                    // buildings, rooms and second lines: varied, with a number or in Japanese
                    return varied && !is_prefecture(s) && !(f & VALUE_DATE) &&
                           (digit_count(s) > 0 || has_non_ascii(s));
                });
            case DataKind::birth_date: {
                if (future > 0) return 0;
                return static_cast<std::size_t>(std::count_if(years.begin(), years.end(), [&](int y) {
                    return y >= reference_year - OLDEST;
                }));
            }
            case DataKind::bank_account:
                return values_where([](std::string_view s, unsigned f, bool) {
                    const std::size_t d = digit_count(s);
                    return (f & VALUE_CARD) || (digits_only(s) && d >= 4 && d <= 20) ||
                           (s.size() >= 15 && s.size() <= 34 && is_upper(s[0]) && is_upper(s[1]) && d >= 10);  // IBAN
                });
            case DataKind::personal_number:
                return values_where([](std::string_view s, unsigned f, bool) {
                    return (f & VALUE_PERSONAL_NUMBER) || digit_count(s) >= 6;
                });
        }
        return 0;
    };

    std::optional<HeaderWord> header = sample.header;
    if (header && n >= MIN_VALUES && share(fitting(header->kind)) < FIT) header.reset();
    if (!header && content.empty()) return std::nullopt;

    ColumnVerdict verdict;
    verdict.header = header;
    verdict.kind = header ? header->kind : content.front().kind;
    verdict.values = n;
    // The share of the header's own kind is shown too, when the values can tell it.
    if (header && std::none_of(content.begin(), content.end(),
                               [&](const ContentMatch& c) { return c.kind == header->kind; })) {
        if (const std::size_t own = fitting(header->kind); own > 0) content.push_back({header->kind, own});
    }
    verdict.content = std::move(content);
    return verdict;
}

}  // namespace hsc
