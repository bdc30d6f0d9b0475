#include "protect/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "core/status.h"
#include "oracle.h"
#include "support/status_print.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

using test::Bytes;
using test::from_hex;
using test::to_hex;

// ---------------------------------------------------------------------------------------
// AES

struct AesVector {
    const char* name;
    unsigned length;  // as handed to aes_set_key
    const char* key;
    const char* plain;
    const char* cipher;
};

// FIPS-197 Appendix B and C.1-C.3.
const AesVector AES_VECTORS[] = {
    {"AppendixB", 16, "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
    {"C1_128", 128, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C2_192", 192, "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C3_256", 32, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

class AesKnownAnswer : public ::testing::TestWithParam<AesVector> {};

TEST_P(AesKnownAnswer, EncryptsAndDecryptsTheVector) {
    const AesVector& v = GetParam();
    const Bytes key = from_hex(v.key), plain = from_hex(v.plain);
    aes_context ctx;
    ASSERT_EQ(aes_set_key(key.data(), v.length, ctx), Status::ok);
    std::uint8_t out[16], back[16];
    ASSERT_EQ(aes_encrypt_block(plain.data(), out, ctx), Status::ok);
    EXPECT_EQ(to_hex(out, 16), v.cipher);
    ASSERT_EQ(aes_decrypt_block(out, back, ctx), Status::ok);
    EXPECT_EQ(to_hex(back, 16), v.plain);
}

INSTANTIATE_TEST_SUITE_P(Fips197, AesKnownAnswer, ::testing::ValuesIn(AES_VECTORS),
                         [](const auto& info) { return std::string(info.param.name); });

class AesAgainstOpenssl : public ::testing::TestWithParam<unsigned> {};

TEST_P(AesAgainstOpenssl, RandomKeysAndBlocksInAndOutOfPlace) {
    const unsigned key_size = GetParam();
    std::mt19937 rng(key_size);
    for (int trial = 0; trial < 200; ++trial) {
        const Bytes key = test::random_bytes(rng, key_size);
        const Bytes plain = test::random_bytes(rng, 16);
        const Bytes expected = test::oracle_aes_ecb(key, plain, true);
        aes_context ctx;
        ASSERT_EQ(aes_set_key(key.data(), key_size, ctx), Status::ok);

        std::uint8_t out[16];
        ASSERT_EQ(aes_encrypt_block(plain.data(), out, ctx), Status::ok);
        ASSERT_EQ(to_hex(out, 16), to_hex(expected)) << "trial " << trial;
        std::uint8_t in_place[16];
        std::memcpy(in_place, plain.data(), 16);
        ASSERT_EQ(aes_encrypt_block(in_place, in_place, ctx), Status::ok);
        ASSERT_EQ(to_hex(in_place, 16), to_hex(expected));

        // Decrypt random blocks too, so decryption is not only checked as an inverse.
        const Bytes other = test::random_bytes(rng, 16);
        const Bytes other_plain = test::oracle_aes_ecb(key, other, false);
        std::memcpy(in_place, other.data(), 16);
        ASSERT_EQ(aes_decrypt_block(in_place, in_place, ctx), Status::ok);
        ASSERT_EQ(to_hex(in_place, 16), to_hex(other_plain));
    }
}

INSTANTIATE_TEST_SUITE_P(KeySizes, AesAgainstOpenssl, ::testing::Values(16u, 24u, 32u),
                         [](const auto& info) { return "Aes" + std::to_string(info.param * 8); });

// Runs of blocks: the fast path (the processor's AES instructions where it has them)
// gives the bytes of the single-block reference and of OpenSSL, for every count around
// the eight blocks it takes at a time, in both directions, in place and out of place.
TEST_P(AesAgainstOpenssl, RunsOfBlocksMatchTheReferenceByteForByte) {
    const unsigned key_size = GetParam();
    RecordProperty("aes_hardware", aes_hardware_available() ? "yes" : "no");
    std::mt19937 rng(key_size * 7);
    for (std::size_t blocks : {0u, 1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 1000u}) {
        SCOPED_TRACE(blocks);
        const Bytes key = test::random_bytes(rng, key_size);
        const Bytes data = test::random_bytes(rng, 16 * blocks);
        aes_context ctx;
        ASSERT_EQ(aes_set_key(key.data(), key_size, ctx), Status::ok);
        for (const bool encrypt : {true, false}) {
            SCOPED_TRACE(encrypt ? "encrypt" : "decrypt");
            const auto run = encrypt ? aes_encrypt_blocks : aes_decrypt_blocks;
            Bytes fast(data.size()), reference(data.size()), in_place = data;
            ASSERT_EQ(run(data.data(), fast.data(), blocks, ctx, AesPath::fastest), Status::ok);
            ASSERT_EQ(run(data.data(), reference.data(), blocks, ctx, AesPath::reference), Status::ok);
            ASSERT_EQ(run(in_place.data(), in_place.data(), blocks, ctx, AesPath::fastest), Status::ok);
            Bytes single(data.size());
            for (std::size_t i = 0; i < blocks; ++i)
                (encrypt ? aes_encrypt_block : aes_decrypt_block)(data.data() + 16 * i, single.data() + 16 * i, ctx);
            EXPECT_EQ(to_hex(fast), to_hex(single));
            EXPECT_EQ(to_hex(reference), to_hex(single));
            EXPECT_EQ(to_hex(in_place), to_hex(single));
            if (blocks > 0) {
                EXPECT_EQ(to_hex(fast), to_hex(test::oracle_aes_ecb(key, data, encrypt)));
            }
        }
    }
}

TEST(Aes, RunsOfBlocksWithAnUnkeyedContextWriteNothing) {
    aes_context ctx;
    const std::uint8_t key[20] = {};
    ASSERT_EQ(aes_set_key(key, 20, ctx), Status::bad_key_length);
    std::uint8_t in[64] = {}, out[64];
    std::memset(out, 0xAB, sizeof out);
    for (const AesPath path : {AesPath::fastest, AesPath::reference}) {
        EXPECT_EQ(aes_encrypt_blocks(in, out, 4, ctx, path), Status::not_keyed);
        EXPECT_EQ(aes_decrypt_blocks(in, out, 4, ctx, path), Status::not_keyed);
    }
    EXPECT_TRUE(std::all_of(out, out + sizeof out, [](std::uint8_t b) { return b == 0xAB; }));
}

TEST(Aes, UnsupportedLengthLeavesAnUnkeyedContextThatWritesNothing) {
    const Bytes key(32, 0x11);
    for (unsigned length : {0u, 20u, 64u, 256u}) {
        aes_context ctx;
        ASSERT_EQ(aes_set_key(key.data(), 16, ctx), Status::ok);
        EXPECT_EQ(aes_set_key(key.data(), length, ctx), Status::bad_key_length) << length;  // a keyed context is unkeyed again
        EXPECT_EQ(ctx.rounds, 0);
        std::uint8_t in[16] = {1, 2, 3}, out[16];
        std::memset(out, 0xAB, sizeof out);
        EXPECT_EQ(aes_encrypt_block(in, out, ctx), Status::not_keyed);
        EXPECT_EQ(aes_decrypt_block(in, out, ctx), Status::not_keyed);
        EXPECT_TRUE(std::all_of(out, out + 16, [](std::uint8_t b) { return b == 0xAB; }));
    }
}

TEST(Aes, ByteAndBitLengthsGiveTheSameSchedule) {
    const Bytes key(24, 0x5C);
    for (auto [bytes, bits, rounds] : {std::tuple{16u, 128u, 10}, std::tuple{24u, 192u, 12}}) {
        aes_context a, b;
        ASSERT_EQ(aes_set_key(key.data(), bytes, a), Status::ok);
        ASSERT_EQ(aes_set_key(key.data(), bits, b), Status::ok);
        EXPECT_EQ(a.rounds, rounds);
        const std::size_t schedule = 16u * (static_cast<unsigned>(rounds) + 1);
        EXPECT_EQ(std::memcmp(a.round_keys, b.round_keys, schedule), 0);
    }
    aes_context c;
    ASSERT_EQ(aes_set_key(Bytes(32, 1).data(), 32, c), Status::ok);
    EXPECT_EQ(c.rounds, 14);
}

// ---------------------------------------------------------------------------------------
// SHA-512

Bytes our_sha512(const Bytes& message) {
    sha512_context ctx;
    sha512_init(ctx);
    sha512_update(ctx, message.data(), message.size());
    Bytes d(64);
    sha512_final(ctx, d.data());
    return d;
}

Bytes our_sha512_in_pieces(const Bytes& message, std::mt19937& rng) {
    sha512_context ctx;
    sha512_init(ctx);
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t piece = std::min<std::size_t>(rng() % 300, message.size() - at);  // 0 is allowed
        sha512_update(ctx, message.data() + at, piece);
        at += piece;
    }
    Bytes d(64);
    sha512_final(ctx, d.data());
    return d;
}

#ifndef _WIN32  // the hand padding is OpenSSL's transform; Windows has recorded answers
TEST(Sha512, HandPaddingOracleAgreesWithOpensslOnTheStandardRule) {
    std::mt19937 rng(7);
    for (std::size_t n : {0u, 1u, 110u, 111u, 112u, 127u, 128u, 239u, 1000u}) {
        const Bytes m = test::random_bytes(rng, n);
        EXPECT_EQ(to_hex(test::sha512_hand_padded(m, false)), to_hex(test::oracle_sha512(m))) << n;
    }
}
#endif

TEST(Sha512, EveryLengthUpTo1100MatchesOpensslExceptTheTwoBlockPadding) {
    std::mt19937 rng(512);
    for (std::size_t n = 0; n <= 1100; ++n) {
        const Bytes m = test::random_bytes(rng, n);
        const std::string whole = to_hex(our_sha512(m));
        ASSERT_EQ(to_hex(our_sha512_in_pieces(m, rng)), whole) << "length " << n;
        const std::string published = to_hex(test::oracle_sha512(m));
        if (n % 128 == 111) {
            ASSERT_NE(whole, published) << "length " << n;
            ASSERT_EQ(whole, to_hex(test::sha512_hand_padded(m, true))) << "length " << n;
        } else {
            ASSERT_EQ(whole, published) << "length " << n;
        }
    }
}

TEST(Sha512, KnownDigestOfAbc) {
    const Bytes abc = {'a', 'b', 'c'};
    EXPECT_EQ(to_hex(our_sha512(abc)),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
}

TEST(Sha512, EmptyUpdateChangesNothing) {
    sha512_context a, b;
    sha512_init(a);
    sha512_init(b);
    const Bytes m(200, 0x61);
    sha512_update(a, m.data(), 150);
    sha512_update(b, m.data(), 150);
    sha512_update(b, m.data(), 0);
    EXPECT_EQ(std::memcmp(a.state, b.state, sizeof a.state), 0);
    EXPECT_EQ(a.bit_count, b.bit_count);
    ASSERT_EQ(a.buffered, b.buffered);
    EXPECT_EQ(std::memcmp(a.block, b.block, a.buffered), 0);
}

TEST(Sha512File, DigestsWholeFilesIncludingMultiplesOfTheReadSize) {
    test::TempDir dir;
    std::mt19937 rng(3);
    for (std::size_t n : {0u, 1u, 1023u, 1024u, 2048u, 3000u}) {
        const Bytes m = test::random_bytes(rng, n);
        const auto path = dir / ("f" + std::to_string(n));
        test::write_file(path, std::string(m.begin(), m.end()));
        std::uint8_t digest[64];
        ASSERT_EQ(sha512_file(path, digest), Status::ok);
        EXPECT_EQ(to_hex(digest, 64), to_hex(our_sha512(m))) << n;
    }
}

TEST(Sha512File, MissingFileReturnsOpenFailureAndLeavesTheDigest) {
    test::TempDir dir;
    std::uint8_t digest[64];
    std::memset(digest, 0x5A, sizeof digest);
    EXPECT_EQ(sha512_file(dir / "absent.bin", digest), Status::open_failed);
    EXPECT_TRUE(std::all_of(digest, digest + 64, [](std::uint8_t b) { return b == 0x5A; }));
}

// ---------------------------------------------------------------------------------------
// MD5

Bytes our_md5(const Bytes& message, std::mt19937* pieces = nullptr) {
    md5_context ctx;
    md5_init(ctx);
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t piece = pieces ? std::min<std::size_t>((*pieces)() % 100, message.size() - at)
                                         : message.size();
        md5_update(ctx, message.data() + at, piece);
        at += piece;
    }
    Bytes d(16);
    md5_final(ctx, d.data());
    return d;
}

struct Md5Vector {
    const char* message;
    const char* digest;
};

// RFC 1321, appendix A.5.
const Md5Vector MD5_VECTORS[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

class Md5KnownAnswer : public ::testing::TestWithParam<Md5Vector> {};

TEST_P(Md5KnownAnswer, MatchesTheRfc) {
    const std::string m = GetParam().message;
    EXPECT_EQ(to_hex(our_md5(Bytes(m.begin(), m.end()))), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(Rfc1321, Md5KnownAnswer, ::testing::ValuesIn(MD5_VECTORS),
                         [](const auto& info) { return "Length" + std::to_string(std::strlen(info.param.message)); });

TEST(Md5, RandomMessagesWholeAndInPiecesMatchOpenssl) {
    std::mt19937 rng(5);
    for (std::size_t n = 0; n <= 600; ++n) {
        const Bytes m = test::random_bytes(rng, n);
        const std::string expected = to_hex(test::oracle_md5(m));
        ASSERT_EQ(to_hex(our_md5(m)), expected) << n;
        ASSERT_EQ(to_hex(our_md5(m, &rng)), expected) << n;
    }
}

// ---------------------------------------------------------------------------------------
// XOR unit and little-endian packing

TEST(XorUnit, XorsEachByteAndUndoesItself) {
    const std::uint8_t in[4] = {0x00, 0xFF, 0x5A, 0x12}, key[4] = {0xFF, 0xFF, 0xA5, 0x10};
    std::uint8_t out[4], back[4];
    xor_unit(in, key, 4, out);
    EXPECT_EQ(to_hex(out, 4), "ff00ff02");
    xor_unit(out, key, 4, back);
    EXPECT_EQ(std::memcmp(back, in, 4), 0);
}

TEST(LittleEndian, StoresLowByteFirstAndReadsItBack) {
    std::uint8_t b[4];
    put_u16_le(b, 0x1234);
    EXPECT_EQ(to_hex(b, 2), "3412");
    put_u32_le(b, 0xA1B2C3D4u);
    EXPECT_EQ(to_hex(b, 4), "d4c3b2a1");
    std::uint16_t v16 = 0;
    std::uint32_t v32 = 0;
    get_u32_le(b, v32);
    EXPECT_EQ(v32, 0xA1B2C3D4u);
    get_u16_le(b, v16);
    EXPECT_EQ(v16, 0xC3D4);
}

}  // namespace
}  // namespace hsc
