#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/catalog.h"

namespace hsc {
namespace {

// The fillers of a template, in order: "%s", "%d", "%e".
std::vector<std::string> fillers(std::string_view templ) {
    std::vector<std::string> out;
    for (std::size_t at = templ.find('%'); at != std::string_view::npos && at + 1 < templ.size();
         at = templ.find('%', at + 1)) {
        const char kind = templ[at + 1];
        if (kind == 's' || kind == 'd' || kind == 'e') out.push_back(std::string{'%', kind});
    }
    return out;
}

TEST(Catalog, EveryKeyHasBothLanguagesWithTheSameFillers) {
    std::set<std::string_view> ids;
    for (const MessageText& row : message_texts()) {
        SCOPED_TRACE(std::string(row.id));
        EXPECT_FALSE(row.id.empty());
        EXPECT_TRUE(ids.insert(row.id).second) << "id used twice";
        EXPECT_FALSE(row.ja.empty());
        EXPECT_FALSE(row.en.empty());
        // An English text is written in English: no Japanese letters left in it.
        for (unsigned char c : row.en) EXPECT_LT(c, 0xE3) << "non-English character in the English text";
        EXPECT_EQ(fillers(row.ja), fillers(row.en));
    }
    EXPECT_EQ(message_texts().size(), static_cast<std::size_t>(Msg::count_));
}

TEST(Catalog, FillReplacesEachFillerOnceInTurn) {
    struct Case {
        std::string_view templ;
        std::vector<std::string_view> args;
        std::string_view expected;
    };
    const Case cases[] = {
        {"a%sb", {"X"}, "aXb"},
        {"%s-%d-%e", {"1", "2", "3"}, "1-2-3"},
        {"(%s)", {"%s%d"}, "(%s%d)"},       // an argument's own fillers stay as they are
        {"%s and %s", {"one"}, "one and %s"},  // a filler without an argument stays
        {"100%", {"x"}, "100%"},             // a lone percent sign is text
        {"%x%s", {"y"}, "%xy"},
    };
    for (const Case& c : cases) {
        std::string out;
        switch (c.args.size()) {
            case 1: out = fill(c.templ, {c.args[0]}); break;
            case 3: out = fill(c.templ, {c.args[0], c.args[1], c.args[2]}); break;
        }
        EXPECT_EQ(out, c.expected) << c.templ;
    }
}

TEST(Catalog, LanguageFollowsTheFirstLocaleVariableThatIsSet) {
    struct Case {
        const char* lc_all;
        const char* lc_messages;
        const char* lang;
        Lang expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", Lang::ja},
        {nullptr, nullptr, "C.UTF-8", Lang::en},
        {nullptr, nullptr, "en_US.UTF-8", Lang::en},
        {"C", nullptr, "ja_JP.UTF-8", Lang::en},      // LC_ALL wins
        {"", "ja_JP.UTF-8", "en_US.UTF-8", Lang::ja},  // an empty one does not count
        {nullptr, "POSIX", "ja_JP.UTF-8", Lang::en},
        {nullptr, nullptr, nullptr, Lang::en},  // the C locale
    };
    for (const Case& c : cases)
        EXPECT_EQ(lang_from_locale(c.lc_all, c.lc_messages, c.lang), c.expected)
            << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-") << " "
            << (c.lang ? c.lang : "-");
    EXPECT_EQ(parse_lang("ja"), Lang::ja);
    EXPECT_EQ(parse_lang("en"), Lang::en);
    EXPECT_EQ(parse_lang("de"), std::nullopt);
}

}  // namespace
}  // namespace hsc
