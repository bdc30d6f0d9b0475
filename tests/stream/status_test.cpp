// Each status of the lower layers, produced by a real cause rather than by a stub, and
// the numbers the statuses become where a text shows them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "core/status.h"
#include "protect/crypto.h"
#include "protect/sealed.h"
#include "stream/mfile.h"
#include "stream/rfile.h"
#include "stream/tokenizer.h"
#include "support/status_print.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

namespace fs = std::filesystem;

struct CauseCase {
    const char* name;
    const char* needs;  // a system file the cause depends on, or null
    Status expected;
    std::function<Status(const fs::path& dir)> run;
};

std::ostream& operator<<(std::ostream& os, const CauseCase& c) { return os << c.name; }

Status seek_in(const fs::path& path, std::int32_t offset, int origin) {
    auto f = rfile_open(path, RFILE_READ);
    if (!f) return Status::open_failed;
    return rfile_seek(*f, offset, origin);
}

Status size_of(const fs::path& path) {
    std::int64_t size = 0;
    return aod_fsze(path, size);
}

Status digest_of(const fs::path& path) {
    std::uint8_t digest[64];
    return sha512_file(path, digest);
}

Status token_of(std::string_view text) {
    std::size_t position = 0;
    std::string token;
    return next_token(CHARSET_SJIS, text, position, token);
}

const CauseCase CASES[] = {
    // rfile
    {"RfileSeekFromTheEnd", nullptr, Status::ok,
     [](const fs::path& dir) {
         test::write_file(dir / "f", "0123456789");
         return seek_in(dir / "f", -2, RFILE_SEEK_END);
     }},
    {"RfileSeekWithAnUnknownOrigin", nullptr, Status::bad_origin,
     [](const fs::path& dir) {
         test::write_file(dir / "f", "0123456789");
         return seek_in(dir / "f", 0, 4);
     }},
    // A kernel text file cannot be positioned from its end: the system calls that an
    // invalid argument.
    {"RfileSeekTheSystemRefuses", "/proc/self/status", Status::seek_failed,
     [](const fs::path&) { return seek_in("/proc/self/status", 0, RFILE_SEEK_END); }},
    {"RfileWriteLineOnAFullDevice", "/dev/full", Status::short_write,
     [](const fs::path&) {
         auto f = rfile_open("/dev/full", RFILE_APPEND);
         return f ? rfile_write_line("abc", *f) : Status::open_failed;
     }},
    {"RfileWriteLineOnAReadOnlyHandle", nullptr, Status::short_write,
     [](const fs::path& dir) {
         test::write_file(dir / "f", "");
         auto f = rfile_open(dir / "f", RFILE_READ);
         return f ? rfile_write_line("abc", *f) : Status::open_failed;
     }},
    // A device that cannot be flushed to a disk.
    {"RfileSyncOfADeviceWithoutADisk", "/dev/null", Status::short_write,
     [](const fs::path&) {
         auto f = rfile_open("/dev/null", RFILE_APPEND);
         return f ? rfile_sync(*f) : Status::open_failed;
     }},
    {"RfileSyncOfAFile", nullptr, Status::ok,
     [](const fs::path& dir) {
         auto f = rfile_open(dir / "f", RFILE_CREATE);
         return f ? rfile_sync(*f) : Status::open_failed;
     }},
    // mfile
    {"AodFszeOfAMissingFile", nullptr, Status::open_failed,
     [](const fs::path& dir) { return size_of(dir / "missing.xlsx"); }},
    {"AodFszeOfAFolder", nullptr, Status::not_a_file, [](const fs::path& dir) { return size_of(dir); }},
    {"AodFszeOfADevice", "/dev/null", Status::not_a_file, [](const fs::path&) { return size_of("/dev/null"); }},
    {"ReadWholeFileOfAMissingFile", nullptr, Status::open_failed,
     [](const fs::path& dir) {
         MfileRegistry reg;
         std::string out;
         return read_whole_file(reg, 0, (dir / "missing").string(), out);
     }},
    {"WriteWholeFileUnderAnOverlongName", nullptr, Status::open_failed,
     [](const fs::path&) {
         MfileRegistry reg;
         return write_whole_file(reg, std::string(MFILE_MAX_NAME + 1, 'x'), "abc");
     }},
    {"WriteWholeFile", nullptr, Status::ok,
     [](const fs::path&) {
         MfileRegistry reg;
         return write_whole_file(reg, "xl/sharedStrings.xml", "abc");
     }},
    {"MseekPastTheCapacity", nullptr, Status::seek_failed,
     [](const fs::path&) {
         MfileRegistry reg;
         Mfile* f = mopen(reg, "s", "wb");
         return mseek(f, 1025, 0);  // a new stream holds 1024 bytes
     }},
    {"MseekWithAnUnknownOrigin", nullptr, Status::bad_origin,
     [](const fs::path&) {
         MfileRegistry reg;
         return mseek(mopen(reg, "s", "wb"), 0, 3);
     }},
    {"MreserveBeyondTheLongestStream", nullptr, Status::size_limit,
     [](const fs::path&) {
         MfileRegistry reg;
         return mreserve(mopen(reg, "s", "wb"), MFILE_MAX_LENGTH);
     }},
    // tokenizer
    {"NextTokenOfBlankText", nullptr, Status::not_found, [](const fs::path&) { return token_of(" \t\r\n"); }},
    {"NextTokenOverTheLimit", nullptr, Status::size_limit,
     [](const fs::path&) { return token_of(std::string(TOKEN_MAX + 1, 'a')); }},
    {"NextToken", nullptr, Status::ok, [](const fs::path&) { return token_of("PRODUCT=Hushcel"); }},
    // ciphers and digests
    {"Sha512FileOfAMissingFile", nullptr, Status::open_failed,
     [](const fs::path& dir) { return digest_of(dir / "missing.key"); }},
    // A folder opens for reading, but every read of it fails.
#ifdef _WIN32
    // Windows does not open a folder as a file at all.
    {"Sha512FileOfAFolder", nullptr, Status::open_failed, [](const fs::path& dir) { return digest_of(dir); }},
#else
    {"Sha512FileOfAFolder", nullptr, Status::short_read, [](const fs::path& dir) { return digest_of(dir); }},
#endif
    {"Sha512FileOfAFile", nullptr, Status::ok,
     [](const fs::path& dir) {
         test::write_file(dir / "k", std::string(3000, 'k'));
         return digest_of(dir / "k");
     }},
    {"AesKeyOf20Bytes", nullptr, Status::bad_key_length,
     [](const fs::path&) {
         aes_context ctx;
         const std::uint8_t key[20] = {};
         return aes_set_key(key, 20, ctx);
     }},
    {"AesBlockWithoutAKey", nullptr, Status::not_keyed,
     [](const fs::path&) {
         aes_context ctx;
         std::uint8_t block[16] = {};
         return aes_encrypt_block(block, block, ctx);
     }},
    // sealed texts
    {"SealATextWithAZeroByte", nullptr, Status::invalid_text,
     [](const fs::path&) {
         std::string sealed;
         return seal_text(std::string("ab\0c", 4), SEAL_PASSWORD, sealed);
     }},
    {"UnsealNonHexDigits", nullptr, Status::invalid_text,
     [](const fs::path&) {
         std::string plain;
         return unseal_text("0g", SEAL_PASSWORD, plain);
     }},
};

class StatusCause : public ::testing::TestWithParam<CauseCase> {};

TEST_P(StatusCause, IsTheStatusTheCauseGives) {
    const CauseCase& c = GetParam();
#ifdef _WIN32
    // Under Wine "/proc/..." is a plain file on drive Z:, not the Linux device it names.
    if (c.needs) GTEST_SKIP() << c.needs << " is a POSIX device";
#endif
    if (c.needs && !fs::exists(c.needs)) GTEST_SKIP() << "no " << c.needs;
    test::TempDir dir;
    EXPECT_EQ(c.run(dir.path()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Layers, StatusCause, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusCause, ReadOfAMissingStreamSaysItIsMissing) {
    test::TempDir dir;
    MfileRegistry reg;
    EXPECT_EQ(mopen(reg, (dir.path() / "missing.xlsx").string(), "rb"), nullptr);
    EXPECT_EQ(reg.last_error.status, Status::not_found);
    EXPECT_EQ(merror(reg), "mopen() no stream of that name");
}

// The numbers are the ones messages show ("rc=%d") and the stored formats' callers
// still pass on; they are fixed.
struct CodeCase {
    Status status;
    int number;
};

TEST(StatusCode, GivesTheShownNumbers) {
    const CodeCase cases[] = {
        {Status::ok, 0},
        {Status::open_failed, -101},
        {Status::not_a_file, -1},
        {Status::short_read, -102},
        {Status::short_write, -103},
        {Status::seek_failed, -104},
        {Status::bad_origin, -3},
        {Status::no_memory, -2},
        {Status::size_limit, -9},
        {Status::not_found, 1403},
        {Status::invalid_text, -1},
        {Status::bad_key_length, 255},
        {Status::not_keyed, 255},
    };
    for (const CodeCase& c : cases) EXPECT_EQ(code(c.status), c.number) << status_name(c.status);
}

}  // namespace
}  // namespace hsc
