#include <gtest/gtest.h>

#include <sstream>

#include "shell/messages.h"
#include "support/recording_reporter.h"

namespace hsc {
namespace {

struct PushCase {
    const char* name;
    int code;
    std::string text;
    std::string expected;
};

class PushMessage : public ::testing::TestWithParam<PushCase> {};

TEST_P(PushMessage, FormatsUnderTheCode) {
    MessageTable table({{0, "%s"}, {1, "%s初期化エラー。処理を中断します。"}, {5, "前[%s]後"}, {6, "穴なし"}});
    TivContext ctx(table);
    ctx.message_code = GetParam().code;
    EXPECT_EQ(tiv_push_message(ctx, GetParam().text), 0);
    ASSERT_EQ(ctx.messages.size(), 1u);
    EXPECT_EQ(ctx.messages.back(), GetParam().expected);
    EXPECT_EQ(ctx.message_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PushMessage,
    ::testing::Values(
        PushCase{"StartupFailure", 1, "RegisterClassEx() ",
                 "TIV-00001: RegisterClassEx() 初期化エラー。処理を中断します。"},
        PushCase{"PlainTemplate", 0, "abc", "abc"},  // code 0 means no formatting at all
        PushCase{"PrefixAndSuffix", 5, "x", "TIV-00005: 前[x]後"},
        PushCase{"TemplateWithoutPlaceholder", 6, "x", "TIV-00006: 穴なしx"},
        PushCase{"UnknownCode", 77, "text", "TIV-00077: text"},
        PushCase{"CutAtFirstLineFeed", 1, "InitInstance() \nsecond line",
                 "TIV-00001: InitInstance() 初期化エラー。処理を中断します。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindMessage, FirstRowWithTheCodeOrMinusOne) {
    MessageTable table({{3, "first"}, {3, "second"}});
    std::string out = "stale";
    EXPECT_EQ(tiv_find_message(table, 3, out), 0);
    EXPECT_EQ(out, "first");
    EXPECT_EQ(tiv_find_message(table, 4, out), -1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(tiv_find_message(MessageTable::standard(), 1, out), 0);
    EXPECT_EQ(out, "%s初期化エラー。処理を中断します。");
}

TEST(PushMessageLimits, LongTextIsCutTo200BytesOnACharacterBoundary) {
    TivContext ctx(MessageTable::standard());
    std::string text;
    for (int i = 0; i < 100; ++i) text += "あ";  // 300 bytes
    tiv_push_message(ctx, text);
    const std::string& m = ctx.messages.back();
    EXPECT_EQ(m.size(), 198u);  // 66 whole characters; 200 would split the 67th
    EXPECT_EQ(m, text.substr(0, 198));
}

TEST(PushMessageLimits, KeepsTheNewest32) {
    TivContext ctx(MessageTable::standard());
    for (int i = 0; i < 40; ++i) tiv_push_message(ctx, "m" + std::to_string(i));
    ASSERT_EQ(ctx.messages.size(), 32u);
    EXPECT_EQ(ctx.messages.front(), "m8");
    EXPECT_EQ(ctx.messages.back(), "m39");
}

TEST(ShowMessages, BoxShowsOnlyTheNewestThenClears) {
    TivContext ctx(MessageTable::standard());
    test::RecordingReporter box;
    std::ostringstream stream;
    tiv_push_message(ctx, "older");
    tiv_push_message(ctx, "newer");
    ctx.message_code = 1;
    EXPECT_EQ(tiv_show_messages(ctx, stream, box), 0);
    EXPECT_EQ(box.errors, std::vector<std::string>{"newer"});
    EXPECT_TRUE(ctx.messages.empty());
    EXPECT_EQ(ctx.message_code, 0);
    EXPECT_EQ(stream.str(), "");

    tiv_show_messages(ctx, stream, box);  // nothing pending: no box
    EXPECT_EQ(box.errors.size(), 1u);
}

TEST(ShowMessages, StreamModeWritesAllPending) {
    TivContext ctx(MessageTable::standard());
    ctx.output_mode = 1;
    test::RecordingReporter box;
    std::ostringstream stream;
    tiv_push_message(ctx, "a");
    tiv_push_message(ctx, "b");
    tiv_show_messages(ctx, stream, box);
    EXPECT_EQ(stream.str(), "a\nb\n");
    EXPECT_TRUE(box.errors.empty());
}

TEST(StartupFailure, ShowsOneBoxNamingTheStep) {
    MessageTable table = MessageTable::standard();
    TivContext ctx(table);
    test::RecordingReporter box;
    std::ostringstream stream;
    hsc_startup_failure(ctx, "LoadAccelerators() ", stream, box);
    EXPECT_EQ(box.errors,
              std::vector<std::string>{"TIV-00001: LoadAccelerators() 初期化エラー。処理を中断します。"});
    EXPECT_TRUE(ctx.messages.empty());
}

TEST(StartupFailure, SpeaksEnglishWhenTheTableIsEnglish) {
    MessageTable table = MessageTable::standard(Lang::en);
    TivContext ctx(table);
    ctx.output_mode = 1;
    test::RecordingReporter box;
    std::ostringstream stream;
    hsc_startup_failure(ctx, "InitInstance() ", stream, box);
    EXPECT_EQ(stream.str(), "TIV-00001: InitInstance() failed at start-up. Processing is stopped.\n");
}

}  // namespace
}  // namespace hsc
