#include "stream/byte_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace hsc {
namespace {

const std::string TEN = "0123456789";

// The three kinds of stream over the same ten bytes; each case owns what it opened.
struct Kind {
    const char* label;
    std::function<std::unique_ptr<ByteStream>(const std::filesystem::path&, MfileRegistry&)> open;
    bool seeks_from_end;
};
void PrintTo(const Kind& k, std::ostream* os) { *os << k.label; }
class ByteStreams : public ::testing::TestWithParam<Kind> {};

TEST_P(ByteStreams, ReadSeekTellAndEndAlike) {
    test::TempDir dir;
    test::write_file(dir / "ten", TEN);
    MfileRegistry reg;
    const auto s = GetParam().open(dir / "ten", reg);
    ASSERT_TRUE(s);
    char buf[16] = {};
    ASSERT_EQ(s->read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(s->tell(), 4);
    EXPECT_FALSE(s->at_end());

    EXPECT_FALSE(s->seek(-1, ByteStream::Origin::start)) << "before the start";
    EXPECT_EQ(s->tell(), 4) << "a refused move leaves the position";

    ASSERT_TRUE(s->seek(7, ByteStream::Origin::start));
    EXPECT_EQ(s->read(buf, sizeof buf), 3u) << "a short read at the end";
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_TRUE(s->at_end());
    ASSERT_TRUE(s->seek(0, ByteStream::Origin::start));
    EXPECT_FALSE(s->at_end()) << "a move clears the end";

    if (GetParam().seeks_from_end) {
        ASSERT_TRUE(s->seek(-2, ByteStream::Origin::end));
        EXPECT_EQ(s->read(buf, sizeof buf), 2u);
        EXPECT_EQ(std::string(buf, 2), "89");
    } else {
        EXPECT_FALSE(s->seek(-2, ByteStream::Origin::end));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ByteStreams,
    ::testing::Values(
        Kind{"memory",
             [](const std::filesystem::path& p, MfileRegistry& reg) -> std::unique_ptr<ByteStream> {
                 // A stream holding the same bytes: memory streams never read the disk.
                 if (write_whole_file(reg, p.string(), test::read_file(p)) != Status::ok) return nullptr;
                 Mfile* f = mopen(reg, p.string(), "rb");
                 return f ? std::make_unique<MemoryStream>(f) : nullptr;
             },
             true},
        Kind{"stdio", [](const std::filesystem::path& p, MfileRegistry&) -> std::unique_ptr<ByteStream> {
                 return StdioStream::open_read(p);
             },
             true},
        Kind{"rfile",
             [](const std::filesystem::path& p, MfileRegistry&) -> std::unique_ptr<ByteStream> {
                 auto f = rfile_open(p, RFILE_READ);
                 return f ? std::make_unique<RfileStream>(std::move(f)) : nullptr;
             },
             false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StdioStreamOpen, MissingFileGivesNoStream) {
    test::TempDir dir;
    EXPECT_EQ(StdioStream::open_read(dir / "missing"), nullptr);
}

}  // namespace
}  // namespace hsc
