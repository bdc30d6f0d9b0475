#include "protect/container.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/status.h"
#include "engine/refusal_text.h"
#include "oracle.h"
#include "support/temp_dir.h"

// Counts every allocation of this test program, to show that the stream routines
// allocate nothing per block.
namespace {
std::atomic<long> g_allocations{0};
}
void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace hsc {
namespace {

using test::Bytes;
using test::to_hex;

constexpr const char* TEMP_NAME = "TempsharedStrings.xml";

enum class Family { Memory, File };

std::string family_name(Family f) { return f == Family::Memory ? "Memory" : "File"; }

std::string as_string(const Bytes& b) { return {b.begin(), b.end()}; }
Bytes as_bytes(const std::string& s) { return {s.begin(), s.end()}; }

// The AES key the container must use: the password laid over the built-in key text.
Bytes expected_key(const std::string& password) {
    std::string text = "Hq3vN8wLz2Tc5Kp0Yd7Rb1Xs9Fm4Ge6J";
    text.replace(0, password.size(), password);
    return as_bytes(text.substr(0, 16));
}

// The container built independently: OpenSSL AES-128 over zero-filled units, zeros after
// the last unit, and the trailer laid out field by field.
Bytes expected_container(const Bytes& source, const std::string& password, const std::string& name) {
    const Bytes key = expected_key(password);
    Bytes out;
    for (std::size_t at = 0; at < source.size(); at += 512) {
        const std::size_t n = std::min<std::size_t>(512, source.size() - at);
        Bytes units(source.begin() + static_cast<long>(at), source.begin() + static_cast<long>(at + n));
        units.resize((n + 15) / 16 * 16, 0);
        Bytes block = test::oracle_aes_ecb(key, units, true);
        block.resize(512, 0);
        out.insert(out.end(), block.begin(), block.end());
    }
    Bytes trailer(512, 0);
    auto u32 = [&](int off, std::uint32_t v) { for (int i = 0; i < 4; ++i) trailer[off + i] = static_cast<std::uint8_t>(v >> (8 * i)); };
    auto u16 = [&](int off, std::uint32_t v) { trailer[off] = static_cast<std::uint8_t>(v); trailer[off + 1] = static_cast<std::uint8_t>(v >> 8); };
    std::memcpy(trailer.data(), "TIVA", 4);
    u32(4, 1000);
    u32(8, 0);
    u32(12, static_cast<std::uint32_t>(out.size()));
    u32(16, static_cast<std::uint32_t>(source.size()));
    u16(20, source.size() % 512 == 0 ? 0 : 512 - source.size() % 512);
    const Bytes md5 = test::oracle_md5(source);
    std::copy(md5.begin(), md5.end(), trailer.begin() + 22);
    u16(38, static_cast<std::uint32_t>(name.size()));
    std::memcpy(trailer.data() + 40, name.data(), name.size());
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}

std::uint32_t field32(const Bytes& c, std::size_t off) {
    return c[off] | (c[off + 1] << 8) | (c[off + 2] << 16) | (static_cast<std::uint32_t>(c[off + 3]) << 24);
}
std::uint32_t field16(const Bytes& c, std::size_t off) { return c[off] | (c[off + 1] << 8); }

// Runs the routines over one stream family, the way their callers do.
class Streams {
public:
    explicit Streams(Family family) : family_(family) {}

    CryptStreams streams() { return {family_ == Family::Memory ? 0 : 1, &reg_}; }

    // The name handed to tiv_crypt_key_init for a source called `name`.
    std::string place(const std::string& name, const Bytes& bytes) {
        if (family_ == Family::Memory) {
            Mfile* f = mopen(reg_, name, "wb");
            EXPECT_TRUE(mwrite_all(f, as_string(bytes)));
            mclose(f);
            return name;
        }
        const auto path = (dir_ / name).string();
        test::write_file(path, as_string(bytes));
        return path;
    }

    CryptStream open(const std::string& name, const char* mode) {
        if (family_ == Family::Memory) return {mopen(reg_, name, mode), nullptr};
        std::FILE* f = std::fopen(name.c_str(), mode);
        EXPECT_NE(f, nullptr) << name;
        files_.push_back(f);
        return {nullptr, f};
    }

    void close_all() {
        for (std::FILE* f : files_) std::fclose(f);
        files_.clear();
    }

    Bytes contents(const std::string& name) {
        if (family_ == Family::Memory) {
            auto d = mdata(mopen(reg_, name, "rb"));
            return {d.begin(), d.end()};
        }
        return as_bytes(test::read_file(name));
    }

    std::string output_name(const std::string& base) {
        return family_ == Family::Memory ? base : (dir_ / base).string();
    }

    ~Streams() { close_all(); }

    struct Result {
        int rc;
        Bytes bytes;
        std::string source_name;
    };

    Result encrypt(const Bytes& source, const std::string& password, std::uint32_t kind = CIPHER_AES) {
        const std::string name = place(TEMP_NAME, source);
        tiv_crypt_key key;
        EXPECT_EQ(tiv_crypt_key_init(streams(), key, name, password, kind, 128), 0);
        const std::string out = output_name("xl_BKsharedStrings.xml");
        const int rc = tiv_encrypt_stream(streams(), key, open(name, "rb"), open(out, "wb"));
        close_all();
        return {rc, contents(out), name};
    }

    Result decrypt(const Bytes& container, const std::string& password, std::uint32_t kind = CIPHER_AES) {
        const std::string name = place("xl_BKsharedStrings.xml", container);
        tiv_crypt_key key;
        EXPECT_EQ(tiv_crypt_key_init(streams(), key, name, password, kind, 128), 0);
        const std::string out = output_name("restored.xml");
        const int rc = tiv_decrypt_stream(streams(), key, open(name, "rb"), open(out, "wb"));
        close_all();
        return {rc, contents(out), name};
    }

private:
    Family family_;
    MfileRegistry reg_;
    test::TempDir dir_;
    std::vector<std::FILE*> files_;
};

// ---------------------------------------------------------------------------------------
// Layout

struct SizeCase {
    std::size_t size;
    std::size_t total;
    std::uint32_t payload;
    std::uint32_t pad;
};

const SizeCase SIZE_CASES[] = {
    {0, 512, 0, 0},       {1, 1024, 512, 511},   {16, 1024, 512, 496},   {17, 1024, 512, 495},
    {512, 1024, 512, 0},  {513, 1536, 1024, 511}, {1000, 1536, 1024, 24}, {1001, 1536, 1024, 23},
    {1024, 1536, 1024, 0},
};

class ContainerLayout : public ::testing::TestWithParam<std::tuple<Family, SizeCase>> {};

TEST_P(ContainerLayout, TrailerFieldsPayloadAndRoundTrip) {
    const auto [family, c] = GetParam();
    std::mt19937 rng(static_cast<unsigned>(c.size));
    const Bytes source = test::random_bytes(rng, c.size);
    Streams s(family);
    const auto enc = s.encrypt(source, "pass");
    ASSERT_EQ(enc.rc, 0);
    const Bytes& box = enc.bytes;
    ASSERT_EQ(box.size(), c.total);
    const std::size_t t = box.size() - 512;
    EXPECT_EQ(std::string(box.begin() + t, box.begin() + t + 4), "TIVA");
    EXPECT_EQ(field32(box, t + 4), 1000u);
    EXPECT_EQ(field32(box, t + 8), 0u);
    EXPECT_EQ(field32(box, t + 12), c.payload);
    EXPECT_EQ(field32(box, t + 16), c.size);
    EXPECT_EQ(field16(box, t + 20), c.pad);
    EXPECT_EQ(to_hex(box.data() + t + 22, 16), to_hex(test::oracle_md5(source)));
    EXPECT_EQ(field16(box, t + 38), enc.source_name.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(box.data() + t + 40)), enc.source_name);
    EXPECT_TRUE(std::all_of(box.begin() + static_cast<long>(t + 40 + enc.source_name.size()), box.end(),
                            [](std::uint8_t b) { return b == 0; }));
    // Every byte, payload included, as built independently with OpenSSL.
    EXPECT_EQ(to_hex(box), to_hex(expected_container(source, "pass", enc.source_name)));

    const auto dec = s.decrypt(box, "pass");
    ASSERT_EQ(dec.rc, 0);
    EXPECT_EQ(dec.bytes, source);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ContainerLayout,
                         ::testing::Combine(::testing::Values(Family::Memory, Family::File),
                                            ::testing::ValuesIn(SIZE_CASES)),
                         [](const auto& info) {
                             return family_name(std::get<0>(info.param)) + "_Bytes" +
                                    std::to_string(std::get<1>(info.param).size);
                         });

class Container : public ::testing::TestWithParam<Family> {};

INSTANTIATE_TEST_SUITE_P(Families, Container, ::testing::Values(Family::Memory, Family::File),
                         [](const auto& info) { return family_name(info.param); });

TEST_P(Container, RandomSizesComeBackExactly) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 25; ++trial) {
        const Bytes source = test::random_bytes(rng, rng() % 6000);
        Streams s(GetParam());
        const auto enc = s.encrypt(source, "pw" + std::to_string(trial));
        ASSERT_EQ(enc.rc, 0);
        const auto dec = s.decrypt(enc.bytes, "pw" + std::to_string(trial));
        ASSERT_EQ(dec.rc, 0);
        ASSERT_EQ(dec.bytes, source) << "size " << source.size();
    }
}

TEST_P(Container, PasswordIsLaidOverTheBuiltInKeyText) {
    std::mt19937 rng(1);
    const Bytes source = test::random_bytes(rng, 100);
    for (const std::string& password : std::vector<std::string>{"", "abc", "0123456789abcdef", "0123456789abcdefTAIL", std::string(32, 'z')}) {
        Streams s(GetParam());
        const auto enc = s.encrypt(source, password);
        ASSERT_EQ(enc.rc, 0);
        EXPECT_EQ(to_hex(enc.bytes), to_hex(expected_container(source, password, enc.source_name))) << password;
    }
}

TEST_P(Container, AnotherPasswordIsRefusedAndWritesNothing) {
    // The trailer's digest of the source is what tells a wrong key: without it the
    // "restored" text would be garbage of the right length.
    std::mt19937 rng(2);
    const Bytes source = test::random_bytes(rng, 1001);
    Streams s(GetParam());
    const auto enc = s.encrypt(source, "right");
    const auto dec = s.decrypt(enc.bytes, "wrong");
    EXPECT_EQ(dec.rc, RC_BAD_MAGIC);
    EXPECT_TRUE(dec.bytes.empty());
    EXPECT_EQ(s.decrypt(enc.bytes, "right").bytes, source);
}

TEST_P(Container, EmptyContainerWritesNothing) {
    Streams s(GetParam());
    const auto enc = s.encrypt({}, "pw");
    ASSERT_EQ(enc.rc, 0);
    const auto dec = s.decrypt(enc.bytes, "pw");
    EXPECT_EQ(dec.rc, 0);
    EXPECT_TRUE(dec.bytes.empty());
}

// ---------------------------------------------------------------------------------------
// Damaged containers

Bytes sample_container(Family family, std::size_t size) {
    std::mt19937 rng(static_cast<unsigned>(size));
    Streams s(family);
    return s.encrypt(test::random_bytes(rng, size), "pw").bytes;
}

TEST_P(Container, ShorterThanOneBlockCannotBePositioned) {
    for (std::size_t n : {0u, 1u, 511u}) {
        Streams s(GetParam());
        EXPECT_EQ(s.decrypt(Bytes(n, 'T'), "pw").rc, RC_SEEK) << n;
    }
}

TEST_P(Container, WrongMagicIsRefusedBeforeWriting) {
    Bytes box = sample_container(GetParam(), 700);
    box[box.size() - 512] = 'X';
    Streams s(GetParam());
    const auto dec = s.decrypt(box, "pw");
    EXPECT_EQ(dec.rc, RC_BAD_MAGIC);
    EXPECT_TRUE(dec.bytes.empty());
    EXPECT_EQ(s.decrypt(Bytes(512, 0), "pw").rc, RC_BAD_MAGIC);
}

TEST_P(Container, PayloadShorterThanTheTrailerSaysIsAShortRead) {
    // A lost payload block must not decrypt to a shorter "success".
    Bytes box = sample_container(GetParam(), 1500);
    box.erase(box.begin(), box.begin() + 512);
    Streams s(GetParam());
    EXPECT_EQ(s.decrypt(box, "pw").rc, RC_SHORT_READ);
}

TEST_P(Container, PadCountThatDoesNotFitTheSizeIsRefused) {
    Bytes box = sample_container(GetParam(), 1000);
    box[box.size() - 512 + 20] = 0xFF;  // pad count 0x??FF: the last block would be cut wrongly
    box[box.size() - 512 + 21] = 0x7F;
    Streams s(GetParam());
    EXPECT_EQ(s.decrypt(box, "pw").rc, RC_BAD_MAGIC);
}

// A damaged backup never decrypts into a "restored" part: every kind of damage is found
// before the first byte is written.
struct DamageCase {
    const char* label;
    std::function<void(Bytes&)> damage;
    int expected;
    friend void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }
};

class ContainerDamage : public ::testing::TestWithParam<std::tuple<Family, DamageCase>> {};

void put_le(Bytes& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST_P(ContainerDamage, IsRefusedBeforeAnythingIsWritten) {
    const auto& [family, c] = GetParam();
    Bytes box = sample_container(family, 1500);  // 3 payload blocks, pad 36
    c.damage(box);
    Streams s(family);
    const auto dec = s.decrypt(box, "pw");
    EXPECT_EQ(dec.rc, c.expected);
    EXPECT_TRUE(dec.bytes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Damage, ContainerDamage,
    ::testing::Combine(
        ::testing::Values(Family::Memory, Family::File),
        ::testing::Values(
            DamageCase{"BitFlipInFirstBlock", [](Bytes& b) { b[5] ^= 0x01; }, RC_BAD_MAGIC},
            DamageCase{"BitFlipInLastUnit", [](Bytes& b) { b[1024 + 470] ^= 0x80; }, RC_BAD_MAGIC},
            DamageCase{"DigestEdited", [](Bytes& b) { b[b.size() - 512 + 22] ^= 0xFF; }, RC_BAD_MAGIC},
            DamageCase{"PayloadLengthEdited", [](Bytes& b) { put_le(b, b.size() - 512 + 12, 1024, 4); },
                       RC_BAD_MAGIC},
            DamageCase{"SourceSizeShrunkWithItsPad",
                       [](Bytes& b) {
                           put_le(b, b.size() - 512 + 16, 1400, 4);
                           put_le(b, b.size() - 512 + 20, 136, 2);
                       },
                       RC_BAD_MAGIC},
            DamageCase{"SourceSizeBeyondThePayload",
                       [](Bytes& b) {
                           put_le(b, b.size() - 512 + 16, 2000, 4);
                           put_le(b, b.size() - 512 + 20, 48, 2);
                       },
                       RC_SHORT_READ},
            DamageCase{"ExtraBlockBeforeTheTrailer",
                       [](Bytes& b) { b.insert(b.end() - 512, 512, std::uint8_t{0}); }, RC_BAD_MAGIC},
            DamageCase{"TruncatedInsideThePayload", [](Bytes& b) { b.erase(b.begin() + 1000, b.begin() + 1100); },
                       RC_SHORT_READ},
            DamageCase{"TruncatedInsideTheTrailer", [](Bytes& b) { b.resize(b.size() - 100); }, RC_BAD_MAGIC})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Family::Memory ? "Memory" : "File") + "_" +
               std::get<1>(info.param).label;
    });

// ---------------------------------------------------------------------------------------
// Cipher kinds and key records

TEST_P(Container, XorKindRoundTripsWithTheKeyTextAsUnitKey) {
    std::mt19937 rng(4);
    const Bytes source = test::random_bytes(rng, 40);
    Streams s(GetParam());
    const auto enc = s.encrypt(source, "k", CIPHER_XOR);
    ASSERT_EQ(enc.rc, 0);
    const Bytes key = expected_key("k");
    for (int i = 0; i < 16; ++i) ASSERT_EQ(enc.bytes[i], source[i] ^ key[i]) << i;
    const auto dec = s.decrypt(enc.bytes, "k", CIPHER_XOR);
    ASSERT_EQ(dec.rc, 0);
    EXPECT_EQ(dec.bytes, source);
}

TEST_P(Container, ReservedAndUnknownKindsAreRefused) {
    const Bytes box = sample_container(GetParam(), 100);
    for (std::uint32_t kind : {CIPHER_RESERVED, 7u}) {
        Streams s(GetParam());
        const auto enc = s.encrypt(Bytes(100, 'a'), "pw", kind);
        EXPECT_EQ(enc.rc, RC_FAIL) << kind;
        EXPECT_TRUE(enc.bytes.empty()) << "the destination is untouched";
        EXPECT_EQ(s.decrypt(box, "pw", kind).rc, RC_FAIL) << kind;
        // The trailer is checked first.
        EXPECT_EQ(s.decrypt(Bytes(10, 0), "pw", kind).rc, RC_SEEK) << kind;
    }
}

TEST_P(Container, SourceThatNoLongerMatchesTheRecordIsRefused) {
    Streams s(GetParam());
    const std::string name = s.place(TEMP_NAME, Bytes(600, 'a'));
    tiv_crypt_key key;
    ASSERT_EQ(tiv_crypt_key_init(s.streams(), key, name, "pw", CIPHER_AES, 128), 0);
    EXPECT_EQ(key.source_size, 600);
    s.place(TEMP_NAME, Bytes(700, 'b'));
    const std::string out = s.output_name("out");
    EXPECT_EQ(tiv_encrypt_stream(s.streams(), key, s.open(name, "rb"), s.open(out, "wb")), RC_FAIL);
}

TEST(ContainerFile, ShortWriteIsReported) {
    Streams s(Family::File);
    const std::string name = s.place(TEMP_NAME, Bytes(100, 'a'));
    const std::string readonly = s.place("readonly", Bytes(1, 'r'));
    tiv_crypt_key key;
    ASSERT_EQ(tiv_crypt_key_init(s.streams(), key, name, "pw", CIPHER_AES, 128), 0);
    EXPECT_EQ(tiv_encrypt_stream(s.streams(), key, s.open(name, "rb"), s.open(readonly, "rb")), RC_SHORT_WRITE);
}

TEST(CryptKeyInit, FillsTheRecord) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "Tempdrawing.xml", "wb");
    mwrite_all(f, std::string(1234, 'x'));
    mclose(f);
    tiv_crypt_key key;
    ASSERT_EQ(tiv_crypt_key_init({0, &reg}, key, "Tempdrawing.xml", "secret", CIPHER_AES, 128), 0);
    EXPECT_EQ(key.cipher_kind, CIPHER_AES);
    EXPECT_EQ(key.key_bits, 128);
    EXPECT_EQ(key.key_bytes, 16);
    EXPECT_EQ(std::string(key.key_text), "secretwLz2Tc5Kp0Yd7Rb1Xs9Fm4Ge6J");
    EXPECT_EQ(std::string(key.source_name), "Tempdrawing.xml");
    EXPECT_EQ(key.source_size, 1234);

    ASSERT_EQ(tiv_crypt_key_init({0, &reg}, key, "absent.xml", "", CIPHER_AES, 128), 0);
    EXPECT_EQ(key.source_size, 0);
    EXPECT_EQ(std::string(key.key_text), "Hq3vN8wLz2Tc5Kp0Yd7Rb1Xs9Fm4Ge6J");
}

TEST(CryptKeyInit, RefusesWhatTheFormatCannotHold) {
    MfileRegistry reg;
    tiv_crypt_key key;
    const CryptStreams mem{0, &reg};
    EXPECT_EQ(tiv_crypt_key_init(mem, key, "n", "pw", CIPHER_AES, 256), RC_FAIL);
    EXPECT_EQ(tiv_crypt_key_init(mem, key, "n", "pw", CIPHER_AES, 192), RC_FAIL);
    EXPECT_EQ(tiv_crypt_key_init(mem, key, std::string(256, 'n'), "pw", CIPHER_AES, 128), RC_FAIL);
    EXPECT_EQ(tiv_crypt_key_init(mem, key, std::string(255, 'n'), "pw", CIPHER_AES, 128), 0);
    EXPECT_EQ(tiv_crypt_key_init(mem, key, "n", std::string(33, 'p'), CIPHER_AES, 128), RC_FAIL);
    test::TempDir dir;
    EXPECT_EQ(tiv_crypt_key_init({1, nullptr}, key, (dir / "absent").string(), "pw", CIPHER_AES, 128), RC_FAIL);
}

TEST_P(Container, StreamDigestIsTheMd5OfTheStream) {
    std::mt19937 rng(8);
    const Bytes data = test::random_bytes(rng, 2500);
    Streams s(GetParam());
    const std::string name = s.place("d", data);
    std::uint8_t digest[16];
    EXPECT_EQ(tiv_stream_digest(s.streams(), s.open(name, "rb"), digest), 0);
    EXPECT_EQ(to_hex(digest, 16), to_hex(test::oracle_md5(data)));
}

TEST_P(Container, StreamRoutinesDoNotAllocatePerBlock) {
    std::mt19937 rng(6);
    const Bytes source = test::random_bytes(rng, 1 << 20);  // 2048 blocks
    Streams s(GetParam());
    const std::string name = s.place(TEMP_NAME, source);
    const std::string box = s.output_name("box"), back = s.output_name("back");
    tiv_crypt_key key;
    ASSERT_EQ(tiv_crypt_key_init(s.streams(), key, name, "pw", CIPHER_AES, 128), 0);
    long before = g_allocations;
    delete new int(1);
    ASSERT_EQ(g_allocations - before, 1) << "the counter sees allocations";
    CryptStream in = s.open(name, "rb"), out = s.open(box, "wb");
    before = g_allocations;
    ASSERT_EQ(tiv_encrypt_stream(s.streams(), key, in, out), 0);
    const long encrypting = g_allocations - before;
    s.close_all();
    in = s.open(box, "rb");
    out = s.open(back, "wb");
    before = g_allocations;
    ASSERT_EQ(tiv_decrypt_stream(s.streams(), key, in, out), 0);
    const long decrypting = g_allocations - before;
    s.close_all();
    // Memory streams grow their buffer geometrically; files need nothing at all.
    const long allowed = GetParam() == Family::Memory ? 40 : 0;
    EXPECT_LE(encrypting, allowed);
    EXPECT_LE(decrypting, allowed);
    EXPECT_EQ(s.contents(back), source);
}

// ---------------------------------------------------------------------------------------
// Memory-stream conveniences

TEST(BackupStreams, EncryptThenDecryptRestoresThePart) {
    MfileRegistry reg;
    const std::string part = "<sst><si><t>Tanaka</t></si></sst>";
    Mfile* f = mopen(reg, TEMP_NAME, "wb");
    mwrite_all(f, part);
    mclose(f);
    ASSERT_EQ(encrypt_stream_to(reg, TEMP_NAME, "xl/BKsharedStrings.xml", "pw"), 0);
    // The caller removes the temporary; the helper leaves it.
    EXPECT_EQ(msize(reg, TEMP_NAME), static_cast<std::int64_t>(part.size()));
    mremove(reg, TEMP_NAME);

    const auto span = mdata(mopen(reg, "xl/BKsharedStrings.xml", "rb"));
    const Bytes box(span.begin(), span.end());
    ASSERT_EQ(box.size(), 1024u);
    EXPECT_EQ(to_hex(box), to_hex(expected_container(as_bytes(part), "pw", TEMP_NAME)));

    f = mopen(reg, "xl/sharedStrings.xml", "wb");
    mwrite_all(f, "<sst><si><t>******</t></si></sst>");
    mclose(f);
    ASSERT_EQ(decrypt_stream_to(reg, "xl/BKsharedStrings.xml", "xl/sharedStrings.xml", "pw"), 0);
    auto restored = mdata(mopen(reg, "xl/sharedStrings.xml", "rb"));
    EXPECT_EQ(std::string(restored.begin(), restored.end()), part);
    EXPECT_EQ(msize(reg, "xl/BKsharedStrings.xml"), 1024) << "the caller removes the backup";
}

TEST(BackupStreams, MissingStreamsAndSameNamesAreRefused) {
    MfileRegistry reg;
    EXPECT_EQ(encrypt_stream_to(reg, "Tempdrawing.xml", "xl/drawings/BKdrawing1.xml", "pw"), RC_OPEN);
    EXPECT_EQ(decrypt_stream_to(reg, "xl/drawings/BKdrawing1.xml", "xl/drawings/drawing1.xml", "pw"), RC_OPEN);
    EXPECT_EQ(msize(reg, "xl/drawings/BKdrawing1.xml"), 0);
    EXPECT_EQ(encrypt_stream_to(reg, "a", "a", "pw"), RC_FAIL);
}

TEST(BackupStreams, BackupOfAnotherPasswordLeavesThePartUntouchedAndSaysWhy) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, TEMP_NAME, "wb");
    mwrite_all(f, "<sst><si><t>Tanaka</t></si></sst>");
    mclose(f);
    ASSERT_EQ(encrypt_stream_to(reg, TEMP_NAME, "xl/BKsharedStrings.xml", "right"), 0);
    f = mopen(reg, "xl/sharedStrings.xml", "wb");
    mwrite_all(f, "masked");
    mclose(f);
    EXPECT_EQ(decrypt_stream_to(reg, "xl/BKsharedStrings.xml", "xl/sharedStrings.xml", "wrong"), RC_BAD_MAGIC);
    auto d = mdata(mopen(reg, "xl/sharedStrings.xml", "rb"));
    EXPECT_EQ(std::string(d.begin(), d.end()), "masked");
    EXPECT_EQ(reg.refusal.kind, RefusalKind::damaged_backup);
    EXPECT_EQ(reg.refusal.name, "xl/BKsharedStrings.xml");
    EXPECT_EQ(refusal_text(Lang::ja, reg.refusal),
              "バックアップ(xl/BKsharedStrings.xml)が破損しているか、別のパスワードでマスクされています。"
              "元のテキストを復元できないため、処理を中断します。");
}

TEST(BackupStreams, DamagedBackupLeavesThePartUntouched) {
    MfileRegistry reg;
    Mfile* f = mopen(reg, "xl/BKsharedStrings.xml", "wb");
    mwrite_all(f, std::string(1024, 'x'));
    mclose(f);
    f = mopen(reg, "xl/sharedStrings.xml", "wb");
    mwrite_all(f, "masked");
    mclose(f);
    EXPECT_EQ(decrypt_stream_to(reg, "xl/BKsharedStrings.xml", "xl/sharedStrings.xml", "pw"), RC_BAD_MAGIC);
    auto d = mdata(mopen(reg, "xl/sharedStrings.xml", "rb"));
    EXPECT_EQ(std::string(d.begin(), d.end()), "masked");
}

// The check alone: one pass over the backup, the same verdicts as a restore, nothing
// written to the registry.
TEST(BackupStreams, VerifyGivesTheVerdictOfARestoreAndWritesNothing) {
    struct Case {
        const char* label;
        std::string backup;  // empty: the backup is not there
        const char* password;
        int expected;
    };
    MfileRegistry source;
    Mfile* f = mopen(source, TEMP_NAME, "wb");
    mwrite_all(f, std::string(5000, 'a') + "<sst><si><t>田中</t></si></sst>");
    mclose(f);
    ASSERT_EQ(encrypt_stream_to(source, TEMP_NAME, "box", "right"), 0);
    const auto span = mdata(mopen(source, "box", "rb"));
    const std::string box(span.begin(), span.end());
    std::string flipped = box;
    flipped[700] ^= 1;
    const Case cases[] = {
        {"right password", box, "right", 0},
        {"wrong password", box, "wrong", RC_BAD_MAGIC},
        {"flipped bit", flipped, "right", RC_BAD_MAGIC},
        {"block lost", box.substr(512), "right", RC_SHORT_READ},
        {"shorter than a trailer", box.substr(0, 100), "right", RC_SEEK},
        {"missing", "", "right", RC_OPEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MfileRegistry reg;
        if (!c.backup.empty()) {
            Mfile* b = mopen(reg, "xl/BKsharedStrings.xml", "wb");
            mwrite_all(b, c.backup);
            mclose(b);
        }
        const int before = mcount(reg);
        EXPECT_EQ(verify_stream(reg, "xl/BKsharedStrings.xml", c.password), c.expected);
        EXPECT_EQ(mcount(reg), before) << "nothing is written";
        EXPECT_EQ(reg.refusal.empty(), c.expected == 0 || c.expected == RC_OPEN) << refusal_text(Lang::en, reg.refusal);

        // Deciphering once gives the same verdict; the plain text stays only when the
        // backup proved itself.
        reg.refusal = {};
        EXPECT_EQ(decipher_stream_once(reg, "xl/BKsharedStrings.xml", "plain", c.password), c.expected);
        EXPECT_EQ(reg.refusal.empty(), c.expected == 0 || c.expected == RC_OPEN) << refusal_text(Lang::en, reg.refusal);
        std::vector<std::string> names;
        mlist(reg, names);
        const bool kept = std::find(names.begin(), names.end(), "plain") != names.end();
        EXPECT_EQ(kept, c.expected == 0);
        if (kept) {
            const auto plain = mdata(mopen(reg, "plain", "rb"));
            EXPECT_EQ(std::string(plain.begin(), plain.end()), std::string(5000, 'a') + "<sst><si><t>田中</t></si></sst>");
        }
    }
}

}  // namespace
}  // namespace hsc

namespace hsc {
namespace {

// The trailer of a container built independently with OpenSSL.
Bytes oracle_trailer(std::size_t size, const std::string& name) {
    std::mt19937 rng(7);
    const Bytes box = expected_container(test::random_bytes(rng, size), "pw", name);
    return Bytes(box.end() - 512, box.end());
}

TEST(ContainerTrailerRecord, ReadsAndWritesTheOracleTrailer) {
    const Bytes block = oracle_trailer(1001, "TempsharedStrings.xml");
    const auto trailer = parse_trailer(block);
    ASSERT_TRUE(trailer);
    EXPECT_EQ(trailer->version, 1000u);
    EXPECT_EQ(trailer->payload_length, 1024u);
    EXPECT_EQ(trailer->source_size, 1001u);
    EXPECT_EQ(trailer->pad_count, 23u);
    EXPECT_EQ(trailer->source_name, "TempsharedStrings.xml");
    const auto written = write_trailer(*trailer);
    EXPECT_EQ(Bytes(written.begin(), written.end()), block);
    EXPECT_EQ(trailer_for_size(1001).payload_length, 1024u);
}

struct TrailerDamage {
    const char* label;
    std::function<void(Bytes&)> damage;
};
void PrintTo(const TrailerDamage& c, std::ostream* os) { *os << c.label; }
class ContainerTrailerRefused : public ::testing::TestWithParam<TrailerDamage> {};

TEST_P(ContainerTrailerRefused, GivesNothing) {
    Bytes block = oracle_trailer(1000, "Temp.xml");
    ASSERT_TRUE(parse_trailer(block));
    GetParam().damage(block);
    EXPECT_FALSE(parse_trailer(block));
}

INSTANTIATE_TEST_SUITE_P(
    Damages, ContainerTrailerRefused,
    ::testing::Values(
        TrailerDamage{"magic", [](Bytes& b) { b[3] = 'B'; }},
        TrailerDamage{"shorter_than_a_block", [](Bytes& b) { b.pop_back(); }},
        TrailerDamage{"longer_than_a_block", [](Bytes& b) { b.push_back(0); }},
        TrailerDamage{"pad_count", [](Bytes& b) { b[20] = 25; }},
        TrailerDamage{"name_longer_than_255", [](Bytes& b) { b[38] = 0; b[39] = 1; }},
        TrailerDamage{"byte_after_the_name", [](Bytes& b) { b[40 + 8] = 'x'; }},
        TrailerDamage{"byte_in_the_last_area", [](Bytes& b) { b[511] = 1; }}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace hsc
