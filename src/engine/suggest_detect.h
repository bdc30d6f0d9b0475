#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hsc {

// What a column of personal data holds.
enum class DataKind : std::uint8_t {
    name,
    kana,
    address,
    postal_code,
    phone,
    email,
    birth_date,
    bank_account,
    personal_number,
};
inline constexpr std::size_t DATA_KIND_COUNT = 9;

// A short English word for the kind ("name", "phone", ...), as the report and JSON show it.
std::string_view data_kind_word(DataKind kind);

// The text with full-width ASCII letters, digits and signs as their half-width forms,
// the ideographic space as a space and dash-like characters as '-'. Bytes that are not
// UTF-8 pass through.
std::string to_halfwidth(std::string_view text);

// A header cell that names personal data: the kind and the word of our list it holds.
struct HeaderWord {
    DataKind kind;
    std::string_view word;
};
std::optional<HeaderWord> match_header(std::string_view header_text);

// What one value looks like, as a set of flags.
enum ValueFlag : unsigned {
    VALUE_EMAIL = 1u << 0,
    VALUE_PHONE = 1u << 1,
    VALUE_POSTAL = 1u << 2,         // 123-4567, 〒1234567
    VALUE_SEVEN_DIGITS = 1u << 3,   // 1234567 alone: a postal code only if the column agrees
    VALUE_KANA = 1u << 4,
    VALUE_DATE = 1u << 5,           // a calendar date (see value_date)
    VALUE_ADDRESS = 1u << 6,
    VALUE_PERSON_NAME = 1u << 7,    // family and given name in kanji, with a space between
    VALUE_SIX_DIGITS = 1u << 8,     // a 6-digit number: a postal code that lost its leading 0?
    VALUE_CARD = 1u << 9,           // a payment card number that passes the Luhn check
    VALUE_PERSONAL_NUMBER = 1u << 10,  // a social security number, a My Number with its check digit
    VALUE_PHONE_IN_TEXT = 1u << 11, // a phone number inside a longer text (a note)
    VALUE_ZIP = 1u << 12,           // ZIP+4, UK and Canadian postcodes
    VALUE_NAME_SHAPE = 1u << 13,    // could be a person's name; only the column can tell
    VALUE_COMPANY = 1u << 14,       // a company, or the reading of one
};
inline constexpr std::size_t VALUE_FLAG_COUNT = 15;

// The flags of one value as a spreadsheet shows it. `number`: the cell holds a number
// (its text as written), so a phone number may have lost its leading zero.
unsigned classify_value(std::string_view shown, bool number = false);

// The year, month and day of a date text (1985/3/12, 1985-03-12, 1985年3月12日,
// 昭和60年3月12日, S60.3.12, 19850312), or nothing.
struct CivilDate {
    int year, month, day;
};
std::optional<CivilDate> value_date(std::string_view shown);

// The date of a spreadsheet day number (1900 date system; day 1 is 1900-01-01).
std::optional<CivilDate> serial_date(double serial);

// The evidence of one column: its header word (if any) and its sampled values.
struct ColumnSample {
    std::optional<HeaderWord> header;
    bool other_header = false;         // the header cell names something else (入会日)
    std::string header_text;           // the header cell as written, when there is one
    std::vector<std::string> values;   // non-empty values as shown
    std::vector<bool> numbers;         // per value: the cell holds a number
};

// A content reason: how many of the sampled values looked like this kind.
struct ContentMatch {
    DataKind kind;
    std::size_t matched;
};

// Why a column is suggested.
struct ColumnVerdict {
    DataKind kind;                        // the header's kind, else the best content kind
    std::optional<HeaderWord> header;
    std::vector<ContentMatch> content;    // every content kind that qualified, best first
    std::size_t values = 0;               // sampled non-empty values
};

// Judges one column; nothing when it does not look like personal data. `reference_year`
// is this year: dates of birth lie well in the past.
std::optional<ColumnVerdict> judge_column(const ColumnSample& sample, int reference_year);

}  // namespace hsc
