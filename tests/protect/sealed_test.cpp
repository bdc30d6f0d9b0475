#include "protect/sealed.h"

#include <gtest/gtest.h>

#include <string>

#include "core/status.h"
#include "oracle.h"
#include "support/status_print.h"

namespace hsc {
namespace {

using test::Bytes;

// The sealed text built independently: OpenSSL AES-128 over zero-filled 16-byte units,
// key = the password's first 16 bytes followed by zero bytes.
std::string expected_seal(const std::string& plain, const std::string& password) {
    Bytes key(16, 0);
    std::copy_n(password.begin(), std::min<std::size_t>(password.size(), 16), key.begin());
    Bytes units(plain.begin(), plain.end());
    units.resize((units.size() + 15) / 16 * 16, 0);
    return test::to_hex(test::oracle_aes_ecb(key, units, true));
}

TEST(SealText, DigitCountFollowsTheUnits) {
    std::string sealed;
    ASSERT_EQ(seal_text(std::string(16, 'a'), SEAL_PASSWORD, sealed), Status::ok);
    EXPECT_EQ(sealed.size(), 32u);
    ASSERT_EQ(seal_text(std::string(17, 'a'), SEAL_PASSWORD, sealed), Status::ok);
    EXPECT_EQ(sealed.size(), 64u);
    EXPECT_EQ(sealed, expected_seal(std::string(17, 'a'), std::string(SEAL_PASSWORD)));
    EXPECT_EQ(sealed.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(SealText, EveryLengthUpTo32MatchesTheOracleAndComesBack) {
    const std::string source = "ヒント: 誕生日と飼い猫の名前です。";  // multi-byte text, treated as bytes
    for (std::size_t n = 1; n <= 32; ++n) {
        const std::string plain = source.substr(0, n);
        std::string sealed, back;
        ASSERT_EQ(seal_text(plain, SEAL_PASSWORD, sealed), Status::ok);
        ASSERT_EQ(sealed, expected_seal(plain, std::string(SEAL_PASSWORD))) << n;
        ASSERT_EQ(unseal_text(sealed, SEAL_PASSWORD, back), Status::ok);
        ASSERT_EQ(back, plain) << n;
    }
}

TEST(SealText, DeterministicAndOnlyTheFirst16PasswordBytesCount) {
    std::string a, b, c, d;
    seal_text("C,D,AA", "0123456789abcdefXYZ", a);
    seal_text("C,D,AA", "0123456789abcdefQQQQQQQ", b);
    seal_text("C,D,AA", "0123456789abcdefXYZ", c);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    // A short password is extended with zero bytes, not repeated.
    seal_text("C,D,AA", "abcd", d);
    EXPECT_EQ(d, expected_seal("C,D,AA", "abcd"));
    std::string repeated;
    seal_text("C,D,AA", "abcdabcdabcdabcd", repeated);
    EXPECT_NE(d, repeated);
}

TEST(SealText, EmptyTextSealsAndUnsealsToEmpty) {
    std::string sealed = "stale", plain = "stale";
    EXPECT_EQ(seal_text("", SEAL_PASSWORD, sealed), Status::ok);
    EXPECT_EQ(sealed, "");
    EXPECT_EQ(unseal_text("", SEAL_PASSWORD, plain), Status::ok);
    EXPECT_EQ(plain, "");
}

TEST(SealText, TextWithAZeroByteIsRefused) {
    std::string sealed = "kept";
    EXPECT_EQ(seal_text(std::string("ab\0cd", 5), SEAL_PASSWORD, sealed), Status::invalid_text);
    EXPECT_EQ(sealed, "kept");
}

TEST(UnsealText, UpperCaseDigitsReadAlike) {
    std::string sealed, upper, back;
    seal_text("Hushcel", "pw", sealed);
    for (char ch : sealed) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(ch))));
    ASSERT_EQ(unseal_text(upper, "pw", back), Status::ok);
    EXPECT_EQ(back, "Hushcel");
}

TEST(UnsealText, NonHexInputIsRefusedAndTheOutputKept) {
    std::string plain = "kept";
    EXPECT_EQ(unseal_text("zz00112233445566778899aabbccddee", "pw", plain), Status::invalid_text);
    EXPECT_EQ(plain, "kept");
}

TEST(UnsealText, WrongPasswordGivesOtherBytesWithoutAnError) {
    std::string sealed, back;
    seal_text("password hint", "right", sealed);
    EXPECT_EQ(unseal_text(sealed, "wrong", back), Status::ok);
    EXPECT_NE(back, "password hint");
}

}  // namespace
}  // namespace hsc
