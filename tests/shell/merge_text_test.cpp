// The words of a restore into an edited workbook, as the window and the command line show them.
#include <gtest/gtest.h>

#include "shell/report_text.h"

namespace hsc {
namespace {

MergeReport report_with(std::size_t ambiguous, std::size_t deleted) {
    MergeReport r;
    r.produced = true;
    r.given_back = 7;
    for (std::size_t i = 0; i < ambiguous; ++i) r.ambiguous.push_back({"名簿", "B" + std::to_string(i + 2)});
    for (std::size_t i = 0; i < deleted; ++i) r.row_deleted.push_back({"Orders", "C" + std::to_string(i + 2)});
    return r;
}

TEST(MergeText, CountsInTheOutcomeLineInEitherLanguage) {
    FileOutcome o;
    o.input = "/tmp/returned.xlsx";
    o.output = "/tmp/〇returned.xlsx";
    o.result = FileOutcome::Result::restored;
    o.merge = report_with(2, 1);
    EXPECT_EQ(outcome_text(o, Lang::en),
              say(Lang::en, Msg::outcome_restored, {"returned.xlsx", "〇returned.xlsx"}) +
                  " (cells given back 7, still masked 2, rows deleted 1, changed by the other side 0)");
    EXPECT_NE(outcome_text(o, Lang::ja).find("戻したセル 7、マスクのまま 2"), std::string::npos);
    o.merge = MergeReport{};  // a plain restore says nothing of cells
    EXPECT_EQ(outcome_text(o, Lang::en), say(Lang::en, Msg::outcome_restored, {"returned.xlsx", "〇returned.xlsx"}));
}

TEST(MergeText, OneSentencePerKindNamingTheCellsUpToALimit) {
    const auto texts = merge_warning_texts(report_with(3, 1), Lang::en, 2);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], say(Lang::en, Msg::warn_merge_ambiguous, {"名簿!B2, 名簿!B3, … (+1)"}));
    EXPECT_EQ(texts[1], say(Lang::en, Msg::warn_merge_row_deleted, {"Orders!C2"}));
    EXPECT_TRUE(merge_warning_texts(report_with(0, 0), Lang::ja).empty());
}

}  // namespace
}  // namespace hsc
