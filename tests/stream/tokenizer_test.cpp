#include "stream/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/status.h"
#include "support/status_print.h"

namespace hsc {
namespace {

// Every token of the text, then the code that ended the scan.
struct Scan {
    std::vector<std::string> tokens;
    Status last = Status::ok;
};

Scan scan(std::string_view text, int charset = CHARSET_SJIS) {
    Scan s;
    std::size_t pos = 0;
    std::string token;
    for (int guard = 0; guard < 10000; ++guard) {
        std::size_t before = pos;
        Status rc = next_token(charset, text, pos, token);
        if (rc != Status::ok) {
            s.last = rc;
            EXPECT_EQ(pos, before) << "a failed scan moved the position";
            if (rc == Status::not_found) {
                EXPECT_EQ(token, "");
            }
            return s;
        }
        EXPECT_GT(pos, before) << "no progress";
        s.tokens.push_back(token);
    }
    ADD_FAILURE() << "endless scan";
    return s;
}

struct TokenCase {
    const char* name;
    std::string text;
    std::vector<std::string> tokens;
    int charset = CHARSET_SJIS;
};

std::ostream& operator<<(std::ostream& os, const TokenCase& c) { return os << c.name; }

class TokenizerCases : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenizerCases, YieldsTheTokensThenNotFound) {
    const auto& c = GetParam();
    Scan s = scan(c.text, c.charset);
    EXPECT_EQ(s.tokens, c.tokens);
    EXPECT_EQ(s.last, Status::not_found);
}

const std::string kSjisSpace = "a\x81\x20z";  // 0x81 0x20 is one double-byte character

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, TokenizerCases,
    ::testing::Values(
        TokenCase{"Footer", "COMPANY=KESTRIL PRODUCT=Hushcel",
                  {"COMPANY", "=", "KESTRIL", "PRODUCT", "=", "Hushcel"}},
        TokenCase{"QuotedValueKeepsQuotesAndInnerSpaceAndEquals", "HINT=\"a b=c\"",
                  {"HINT", "=", "\"a b=c\""}},
        TokenCase{"QuoteEndsAPlainToken", "abc\"def\"", {"abc", "\"def\""}},
        TokenCase{"SemicolonAtTheEndIsDropped", "x=abc;", {"x", "=", "abc"}},
        TokenCase{"SemicolonBeforeSpaceIsKept", "x=abc; ", {"x", "=", "abc;"}},
        TokenCase{"OnlyOneSemicolonIsDropped", "abc;;", {"abc;"}},
        TokenCase{"LoneSemicolonBecomesEmptyToken", "a ;", {"a", ""}},
        TokenCase{"SjisLeadByteTakesTheSpace", kSjisSpace, {kSjisSpace}},
        TokenCase{"SjisLeadByteTakesEqualsAndQuote", "\x81=\x9F\"k", {"\x81=\x9F\"k"}},
        TokenCase{"SjisLeadByteAtTheEnd", "ab\xE0", {"ab\xE0"}},
        TokenCase{"NonLeadHighByteIsOrdinary", "a\xA0 b", {"a\xA0", "b"}},
        TokenCase{"Utf8LeadTakesThreeBytes", "a\xE3\x20\x20 b", {"a\xE3\x20\x20", "b"},
                  CHARSET_UTF8},
        TokenCase{"EucLeadTakesTwoBytes", "\x8E\x20x y", {"\x8E\x20x", "y"}, CHARSET_EUC},
        TokenCase{"OtherCharsetHasNoLeadBytes", "\x81 x", {"\x81", "x"}, 0},
        TokenCase{"AllFourWhiteSpaces", "\ta\nb\rc d", {"a", "b", "c", "d"}},
        TokenCase{"VerticalTabAndFormFeedAreTokenBytes", "a\vb\fc", {"a\vb\fc"}},
        TokenCase{"EqualsBetweenEquals", "a==b", {"a", "=", "=", "b"}},
        TokenCase{"UnterminatedDoubleQuoteTakesTheRest", "k=\"a b", {"k", "=", "\"a b"}},
        TokenCase{"DoubledDoubleQuoteCloses", "\"\"x\"", {"\"\"", "x", "\""}},
        TokenCase{"SingleQuotedKeepsSpaces", "'a b' c", {"'a b'", "c"}},
        // a quote inside closes the token; only right after the opening one is a pair kept
        TokenCase{"SingleQuoteClosesAtTheNextQuote", "'it''s' x", {"'it'", "'s'", "x"}},
        TokenCase{"TwoSingleQuotesAreNoEmptyToken", "'' x'", {"'' x'"}},
        TokenCase{"UnterminatedSingleQuote", "'abc", {"'abc"}},
        TokenCase{"TextEndsAtZeroByte", std::string("ab\0cd", 5), {"ab"}},
        TokenCase{"Empty", "", {}},
        TokenCase{"OnlyWhiteSpace", " \t\r\n ", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tokenizer, PositionsFollowTheRules) {
    std::string text = "ab =cd";
    std::size_t pos = 0;
    std::string token;
    ASSERT_EQ(next_token(CHARSET_SJIS, text, pos, token), Status::ok);
    EXPECT_EQ(pos, 2u);  // at the white space that ended it
    ASSERT_EQ(next_token(CHARSET_SJIS, text, pos, token), Status::ok);
    EXPECT_EQ(token, "=");
    EXPECT_EQ(pos, 4u);  // just after the "="
    ASSERT_EQ(next_token(CHARSET_SJIS, text, pos, token), Status::ok);
    EXPECT_EQ(pos, 6u);  // the end of the text
    EXPECT_EQ(next_token(CHARSET_SJIS, text, pos, token), Status::not_found);
    EXPECT_EQ(pos, 6u);
}

struct LimitCase {
    const char* name;
    std::string text;
    Status rc;
    std::size_t token_size;
};

std::ostream& operator<<(std::ostream& os, const LimitCase& c) { return os << c.name; }

class TokenizerLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(TokenizerLimit, LongestTokenIs4000Bytes) {
    const auto& c = GetParam();
    std::size_t pos = 0;
    std::string token;
    EXPECT_EQ(next_token(CHARSET_SJIS, c.text, pos, token), c.rc);
    if (c.rc == Status::ok) {
        EXPECT_EQ(token.size(), c.token_size);
    } else {
        EXPECT_EQ(pos, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, TokenizerLimit,
    ::testing::Values(
        LimitCase{"Plain4000", std::string(4000, 'a'), Status::ok, 4000},
        LimitCase{"Plain4001", std::string(4001, 'a'), Status::size_limit, 0},
        LimitCase{"Plain4000ThenSpace", std::string(4000, 'a') + " b", Status::ok, 4000},
        // the ";" counts while the token is built
        LimitCase{"Plain4000AndSemicolon", std::string(4000, 'a') + ";", Status::size_limit, 0},
        LimitCase{"Quoted4000", "\"" + std::string(3998, 'a') + "\"", Status::ok, 4000},
        LimitCase{"Quoted4001", "\"" + std::string(3999, 'a') + "\"", Status::size_limit, 0},
        LimitCase{"UnterminatedQuote4001", "\"" + std::string(4000, 'a'), Status::size_limit, 0},
        LimitCase{"SingleQuoted4001", "'" + std::string(3999, 'a') + "'", Status::size_limit, 0},
        LimitCase{"DoubleByteOverTheEdge", std::string(3999, 'a') + "\x81\x40", Status::size_limit,
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tokenizer, LongTokenFailsButEarlierTokensCame) {
    std::string text = "k = " + std::string(5000, 'v');
    Scan s = scan(text);
    EXPECT_EQ(s.tokens, (std::vector<std::string>{"k", "="}));
    EXPECT_EQ(s.last, Status::size_limit);
}

TEST(Tokenizer, PositionBeyondTheTextFindsNothing) {
    std::size_t pos = 10;
    std::string token = "old";
    EXPECT_EQ(next_token(CHARSET_SJIS, "abc", pos, token), Status::not_found);
    EXPECT_EQ(token, "");
    EXPECT_EQ(pos, 10u);
}

struct StripCase {
    const char* name;
    std::string in;
    std::string out;
};

std::ostream& operator<<(std::ostream& os, const StripCase& c) { return os << c.name; }

class StripQuotes : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripQuotes, RemovesOneEnclosingPair) {
    std::string text = GetParam().in;
    strip_quotes(text);
    EXPECT_EQ(text, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Tokenizer, StripQuotes,
                         ::testing::Values(StripCase{"Quoted", "\"a b=c\"", "a b=c"},
                                           StripCase{"TwoQuotes", "\"\"", ""},
                                           StripCase{"OneQuote", "\"", "\""},
                                           StripCase{"OnlyLeading", "\"abc", "\"abc"},
                                           StripCase{"OnlyTrailing", "abc\"", "abc\""},
                                           StripCase{"OnePairOnly", "\"\"x\"\"", "\"x\""},
                                           StripCase{"SingleQuotesStay", "'x'", "'x'"},
                                           StripCase{"Empty", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hsc
