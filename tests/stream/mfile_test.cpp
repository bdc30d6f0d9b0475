#include "stream/mfile.h"

#include <gtest/gtest.h>

#include <string>

#include "core/status.h"
#include "support/status_print.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

std::string contents(const Mfile* f) {
    auto d = mdata(f);
    return {reinterpret_cast<const char*>(d.data()), d.size()};
}

TEST(Mfile, ReopenForReadingKeepsBytesEvenAfterClose) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "xl/workbook.xml", "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(mwrite_all(f, "<workbook/>"));
    mclose(f);
    EXPECT_EQ(f->state, MFILE_CLOSED);
    Mfile* g = mopen(reg, "xl/workbook.xml", "rb");
    ASSERT_EQ(g, f);
    EXPECT_EQ(g->position, 0);
    EXPECT_EQ(g->state, MFILE_OPEN);
    EXPECT_EQ(contents(g), "<workbook/>");
    EXPECT_EQ(mcount(reg), 1);
}

TEST(Mfile, SecondWriteOpenTruncates) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "a", "wb");
    mwrite_all(f, "hello");
    Mfile* g = mopen(reg, "a", "wb");
    EXPECT_EQ(g, f);
    EXPECT_EQ(g->length, 0);
    EXPECT_EQ(msize(reg, "a"), 0);
}

TEST(Mfile, RejectsBadModesAndNames) {
    MfileRegistry reg;
    EXPECT_EQ(mopen(reg, "a", "r+b"), nullptr);
    EXPECT_EQ(mopen(reg, "a", "w"), nullptr);
    EXPECT_EQ(mopen(reg, "", "wb"), nullptr);
    EXPECT_EQ(mopen(reg, std::string(257, 'n'), "wb"), nullptr);
    EXPECT_NE(mopen(reg, std::string(256, 'n'), "wb"), nullptr);
    EXPECT_EQ(mcount(reg), 1);
}

TEST(Mfile, ReadOfMissingNameSetsLastError) {
    MfileRegistry reg;
    EXPECT_EQ(mopen(reg, "/nonexistent/hushcel/file", "rb"), nullptr);
    EXPECT_EQ(reg.last_error.step, MfileStep::missing);
    EXPECT_EQ(merror(reg), "mopen() no stream of that name");
    EXPECT_EQ(mcount(reg), 0);
    // every open clears it first
    mopen(reg, "x", "wb");
    EXPECT_EQ(merror(reg), "");
}

// A name the registry does not hold is missing, even when a disk file of that name
// exists, before the stream was made and after it was removed, in both read modes.
TEST(Mfile, ReadOpenNeverLoadsADiskFile) {
    test::TempDir dir;
    auto path = dir / "disk.bin";
    test::write_file(path, "from disk");
    MfileRegistry reg;
    for (const char* mode : {"rb", "ab"}) {
        EXPECT_EQ(mopen(reg, path.string(), mode), nullptr) << mode;
        EXPECT_EQ(reg.last_error.status, Status::not_found) << mode;
    }
    EXPECT_EQ(mcount(reg), 0);
    Mfile* mem = mopen(reg, path.string(), "wb");
    mwrite_all(mem, "in memory");
    EXPECT_EQ(contents(mopen(reg, path.string(), "rb")), "in memory");
    mremove(reg, path.string());
    EXPECT_EQ(mem->state, MFILE_REMOVED);
    for (const char* mode : {"rb", "ab"}) EXPECT_EQ(mopen(reg, path.string(), mode), nullptr) << mode;
    EXPECT_EQ(mcount(reg), 1);
}

TEST(Mfile, ShortReadThenEof) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "ten", "wb");
    mwrite_all(f, "0123456789");
    mseek(f, 0, 0);
    char buf[16];
    EXPECT_FALSE(meof(f));
    EXPECT_EQ(mread(buf, 1, 16, f), 10u);
    EXPECT_EQ(mread(buf, 1, 16, f), 0u);
    EXPECT_TRUE(meof(f));
}

TEST(Mfile, SeekBoundsAreTheCapacity) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "s", "wb");
    EXPECT_EQ(mseek(f, 1024, 0), Status::ok);
    EXPECT_EQ(mtell(f), 1024);
    EXPECT_EQ(mseek(f, 1025, 0), Status::seek_failed);
    EXPECT_EQ(mtell(f), 1024);
    EXPECT_EQ(mseek(f, -1, 0), Status::seek_failed);
    EXPECT_EQ(mseek(f, 0, 3), Status::bad_origin);
    mwrite_all(f, "abc");  // at 1024: grows, length follows the position
    EXPECT_EQ(f->length, 1027);
    EXPECT_EQ(mseek(f, -3, 2), Status::ok);
    EXPECT_EQ(mtell(f), 1024);
    EXPECT_EQ(mseek(f, 1, 1), Status::ok);
    EXPECT_EQ(mtell(f), 1025);
}

struct GrowthCase {
    const char* label;
    std::size_t first;   // bytes written first
    std::size_t second;  // then this many more as one item
    std::int64_t capacity;
};

class MfileGrowth : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(MfileGrowth, FollowsTheStepRule) {
    const auto& c = GetParam();
    MfileRegistry reg;
    Mfile* f = mopen(reg, "g", "wb");
    std::string a(c.first, 'a'), b(c.second, 'b');
    ASSERT_TRUE(mwrite_all(f, a));
    if (c.second) {
        ASSERT_EQ(mwrite(b.data(), b.size(), 1, f), 1u);
    }
    EXPECT_EQ(f->capacity, c.capacity);
    EXPECT_EQ(contents(f), a + b);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MfileGrowth,
    ::testing::Values(GrowthCase{"thousand_fits", 1000, 0, 1024},
                      GrowthCase{"one_more_fits", 1000, 1, 1024},
                      GrowthCase{"ending_at_1022_fits", 1000, 22, 1024},
                      GrowthCase{"reaching_1023_grows", 1000, 23, 3072},
                      GrowthCase{"five_thousand_at_once", 0, 5000, 7168},
                      GrowthCase{"five_thousand_bytewise", 5000, 0, 7168},
                      GrowthCase{"twenty_thousand_bytewise", 20000, 0, 31744}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Mfile, ReopenedStreamGrowsInSmallSteps) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "r", "wb");
    mclose(f);
    EXPECT_EQ(f->step, 2);
    f = mopen(reg, "r", "rb");
    std::string big(1100, 'x');
    ASSERT_EQ(mwrite(big.data(), big.size(), 1, f), 1u);
    // step 2 doubles to 4; added is the smallest multiple of 4 with 0 + added >= 1024 + 1100
    EXPECT_EQ(f->capacity, 1024 + 2124);
    EXPECT_EQ(f->step, 2124);
}

TEST(Mfile, ListSkipsRemovedButCountKeepsThem) {
    MfileRegistry reg;
    mopen(reg, "a", "wb");
    mopen(reg, "b", "wb");
    mopen(reg, "c", "wb");
    mremove(reg, "b");
    mremove(reg, "not-there");
    std::vector<std::string> names;
    mlist(reg, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(mcount(reg), 3);
    EXPECT_EQ(msize(reg, "zzz"), 0);
    mfree_all(reg);
    EXPECT_EQ(mcount(reg), 0);
}

TEST(Mfile, ReadWholeFile) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "big", "wb");
    std::string data(10000, 'q');
    data[9999] = 'z';
    mwrite_all(f, data);
    std::string out;
    EXPECT_EQ(read_whole_file(reg, 0, "big", out), Status::ok);
    EXPECT_EQ(out, data);
    EXPECT_EQ(f->state, MFILE_CLOSED);
    EXPECT_EQ(read_whole_file(reg, 0, "/nonexistent/x", out), Status::open_failed);
}

TEST(Mfile, ReservedRoomTakesTheWholeStreamWithoutGrowing) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "a", "wb");
    ASSERT_TRUE(mwrite_all(f, "head"));
    ASSERT_EQ(mreserve(f, 100000), Status::ok);
    const std::uint8_t* buffer = f->buffer.get();
    const std::string rest(100000 - 4, 'x');
    ASSERT_TRUE(mwrite_all(f, rest));
    EXPECT_EQ(f->buffer.get(), buffer) << "no growth copy";
    auto bytes = mdata(f);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "head" + rest);

    EXPECT_EQ(mreserve(f, 10), Status::ok) << "less than there is changes nothing";
    EXPECT_EQ(f->length, 100000);
    EXPECT_EQ(mreserve(f, MFILE_MAX_LENGTH), Status::size_limit);
    EXPECT_EQ(mreserve(nullptr, 1), Status::size_limit);
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// An entry kept only as stored: its size is known, its stored bytes are at hand, reading
// it fails (rather than giving nothing), and writing it anew makes it a stream again.
TEST(Mfile, DeflatedOnlyStreamCannotBeReadUntilWrittenAnew) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "part", "wb");
    ASSERT_NE(f, nullptr);
    mkeep_deflated_only(f, {1, 2, 3}, 0xABCD, 5000);
    mclose(f);
    EXPECT_EQ(msize(reg, "part"), 5000);
    std::string text;
    EXPECT_NE(read_whole_file(reg, 0, "part", text), Status::ok);
    f = mopen(reg, "part", "rb");
    char buf[8];
    EXPECT_EQ(mread(buf, 1, sizeof buf, f), 0u);
    EXPECT_EQ(mwrite("x", 1, 1, f), 0u);
    EXPECT_EQ(mdeflated(f).size(), 3u);
    EXPECT_EQ(mmove(reg, "part", "other"), Status::not_found);
    mclose(f);

    f = mopen(reg, "part", "wb");
    ASSERT_TRUE(mwrite_all(f, "new"));
    mclose(f);
    ASSERT_EQ(read_whole_file(reg, 0, "part", text), Status::ok);
    EXPECT_EQ(text, "new");
}

// Letting go of the plain bytes of an unpacked entry keeps its stored form for the copy;
// a stream written since (or never unpacked) has no such form and keeps its bytes.
TEST(Mfile, DroppingPlainBytesKeepsOnlyTheStoredForm) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "entry", "wb");
    ASSERT_TRUE(mwrite_all(f, "plain text"));
    mkeep_deflated(f, {7, 8, 9}, 0x1234);
    EXPECT_TRUE(mdrop_plain(f));
    EXPECT_TRUE(mdata(f).empty());
    EXPECT_EQ(f->length, 10) << "the inflated size stays for the entry's header";
    EXPECT_EQ(mdeflated(f).size(), 3u);
    EXPECT_EQ(f->crc, 0x1234u);
    std::string text;
    EXPECT_NE(read_whole_file(reg, 0, "entry", text), Status::ok) << "nothing plain is left to read";
    EXPECT_FALSE(mdrop_plain(f)) << "already dropped";
    mclose(f);

    f = mopen(reg, "written", "wb");
    ASSERT_TRUE(mwrite_all(f, "changed"));
    EXPECT_FALSE(mdrop_plain(f));
    EXPECT_EQ(mdata(f).size(), 7u);
    mclose(f);
    EXPECT_FALSE(mdrop_plain(nullptr));
}

// A stream handed to another name keeps its bytes (the same buffer) and the other name
// keeps its place in the registry's order.
TEST(Mfile, MoveHandsTheBytesOverWithoutCopying) {
    MfileRegistry reg;
    for (const char* name : {"first", "target", "source"}) {
        Mfile* f = mopen(reg, name, "wb");
        ASSERT_TRUE(mwrite_all(f, std::string(name) + " bytes"));
        mclose(f);
    }
    const std::uint8_t* bytes = mdata(mopen(reg, "source", "rb")).data();
    ASSERT_EQ(mmove(reg, "source", "target"), Status::ok);
    Mfile* t = mopen(reg, "target", "rb");
    EXPECT_EQ(mdata(t).data(), bytes);
    std::string text;
    ASSERT_EQ(read_whole_file(reg, 0, "target", text), Status::ok);
    EXPECT_EQ(text, "source bytes");
    std::vector<std::string> names;
    mlist(reg, names);
    EXPECT_EQ(names, (std::vector<std::string>{"first", "target"}));
    EXPECT_EQ(mmove(reg, "missing", "target"), Status::not_found);
}

}  // namespace
}  // namespace hsc
