#include "protect/strong_key.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/status.h"
#include "protect/footer.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"

namespace hsc {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string unhex(std::string_view hex) {
    auto b = from_hex(hex);
    if (!b) throw std::runtime_error("bad hex in a test vector");
    return *b;
}

// Cheap enough for tests; the format records whatever cost was used.
constexpr KdfCost CHEAP{1, 64 << 10};
const std::array<std::uint8_t, STRONG_SALT_SIZE> SALT = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

StrongKey key_for(std::string_view password, const std::array<std::uint8_t, STRONG_SALT_SIZE>& salt = SALT) {
    auto k = StrongKey::derive(*normalized_password(password), nullptr, salt, CHEAP);
    if (!k) throw std::runtime_error("derivation failed");
    return std::move(*k);
}

// Argon2id (version 0x13, one lane) through libsodium, against the output of the Argon2
// reference program (`argon2 ABCDEFGHIJKLMNOP -id -v 13 -k KiB -t passes`, 32 bytes).
struct Argon2Vector {
    const char* password;
    std::uint32_t passes;
    std::uint64_t kib;
    const char* hex;
};
TEST(StrongKeyKnownAnswers, Argon2idMatchesTheReferenceProgram) {
    const Argon2Vector vectors[] = {
        {"123", 5, 1024, "3c5d010180ba0cf5b6b858cba23b318e42d33088983c404598599c3b029ecac6"},
        {"\xC3\xB6", 5, 1024, "b113fc7863dbc87b7d1366c3b468d3864a2473ce46e90ed3641fff87ada561f7"},
        {"\xF0\x9F\x98\x8E", 5, 1024, "dc92db2a69a5607a75472e1581ac0851292ed9a2606f1000f62fa2efc97964e0"},
        {"123", 2, 8 * 1024, "3ee950488d26ce691657b1d753f562139857b61a58f234d6cb0ce84c4cc27328"},
    };
    for (const auto& v : vectors) {
        const auto out = argon2id_raw(v.password, bytes("ABCDEFGHIJKLMNOP"), KdfCost{v.passes, v.kib * 1024}, 32);
        ASSERT_TRUE(out.has_value()) << v.password;
        EXPECT_EQ(to_hex(bytes(*out)), v.hex) << v.password;
    }
}

// XChaCha20-Poly1305 through libsodium: the AEAD test vector of the XChaCha draft
// (draft-irtf-cfrg-xchacha-03, A.3.1).
TEST(StrongKeyKnownAnswers, XChaCha20Poly1305MatchesTheDraftVector) {
    const std::string key = unhex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
    const std::string nonce = unhex("404142434445464748494a4b4c4d4e4f5051525354555657");
    const std::string ad = unhex("50515253c0c1c2c3c4c5c6c7");
    const std::string plain =
        "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen would "
        "be it.";
    const std::string sealed = xchacha_seal(std::span<const std::uint8_t, 32>(bytes(key).data(), 32),
                                            std::span<const std::uint8_t, 24>(bytes(nonce).data(), 24), bytes(ad),
                                            bytes(plain));
    EXPECT_EQ(to_hex(bytes(sealed)),
              "bd6d179d3e83d43b9576579493c0e939572a1700252bfaccbed2902c21396cbb731c7f1b0b4aa6440bf3a82f4eda7e39ae64c6708c"
              "54c216cb96b72e1213b4522f8c9ba40db5d945b11b69b982c1bb9e3f3fac2bc369488f76b2383565d3fff921f9664c97637da976"
              "8812f615c68b13b52e"
              "c0875924c1c7987947deafd8780acf49");
}

TEST(StrongKeyPassword, NormalisedToNfcAndInvalidUtf8Refused) {
    // "é" composed and decomposed, "が" composed and as か + dakuten.
    EXPECT_EQ(normalized_password("caf\x65\xCC\x81"), std::optional<std::string>("caf\xC3\xA9"));
    EXPECT_EQ(normalized_password("\xE3\x81\x8B\xE3\x82\x99"), std::optional<std::string>("\xE3\x81\x8C"));
    EXPECT_EQ(normalized_password("plain"), std::optional<std::string>("plain"));
    EXPECT_FALSE(normalized_password("ab\xE6\xBC").has_value());
    EXPECT_FALSE(normalized_password("\xFF").has_value());
}

// Every password of the table gives its own key, however long, and the two normal forms
// of the same text give the same one. The original format would take only the first
// 16 bytes: the pairs that share them must differ here.
TEST(StrongKeyPassword, EveryPasswordOfTheTableGetsItsOwnKey) {
    const std::vector<std::string> passwords = {
        "a",
        std::string(16, 'p'),
        std::string(16, 'p') + "q",
        std::string(31, 'p'),
        std::string(32, 'p'),
        std::string(200, 'p'),
        std::string(199, 'p') + "q",
        "tulip-ankle-crisp-mango-violet",
        "tulip-ankle-crisXXXXXXXX",
        "\xF0\x9F\x94\x91\xF0\x9F\x90\x88",  // two emoji
        "caf\xC3\xA9",                       // é composed
    };
    std::set<std::string> checks;
    for (const auto& p : passwords) checks.insert(key_for(p).check_hex());
    EXPECT_EQ(checks.size(), passwords.size());
    EXPECT_EQ(key_for("caf\x65\xCC\x81").check_hex(), key_for("caf\xC3\xA9").check_hex());
    EXPECT_NE(key_for("a", {}).check_hex(), key_for("a").check_hex()) << "the salt must count";
}

TEST(StrongKeyPassword, KeyFileIsASecondSecret) {
    test::TempDir dir;
    test::write_file(dir / "one.key", "first key file");
    test::write_file(dir / "two.key", "second key file");
    const auto one = key_file_secret((dir / "one.key").string());
    const auto two = key_file_secret((dir / "two.key").string());
    ASSERT_TRUE(one && two);
    EXPECT_FALSE(key_file_secret((dir / "missing.key").string()).has_value());
    const auto with = [&](const auto* file) {
        return StrongKey::derive("same password", file, SALT, CHEAP)->check_hex();
    };
    std::set<std::string> checks = {with(&*one), with(&*two), with(static_cast<decltype(&*one)>(nullptr))};
    EXPECT_EQ(checks.size(), 3u);
}

TEST(StrongKeySeal, RoundTripsAndRefusesEveryChange) {
    const StrongKey key = key_for("right");
    const std::string plain = "<sst><si><t>山田太郎</t></si></sst>";
    const std::string sealed = key.seal("xl/BKsharedStrings.xml", bytes(plain));
    ASSERT_EQ(sealed.size(), STRONG_HEADER_SIZE + plain.size() + STRONG_TAG_SIZE);
    EXPECT_EQ(sealed.substr(0, 4), "HSBK");
    EXPECT_EQ(sealed.find("山田"), std::string::npos);
    // A fresh nonce each time: the same text never seals to the same bytes.
    EXPECT_NE(key.seal("xl/BKsharedStrings.xml", bytes(plain)), sealed);

    std::string out;
    ASSERT_EQ(key.open("xl/BKsharedStrings.xml", bytes(sealed), out), OpenFailure::none);
    EXPECT_EQ(out, plain);
    std::string empty_out = "x";
    ASSERT_EQ(key.open("e", bytes(key.seal("e", {})), empty_out), OpenFailure::none);
    EXPECT_EQ(empty_out, "");

    struct Case {
        const char* label;
        std::string name;
        std::string bytes;
        OpenFailure expected;
    };
    std::string flipped_tag = sealed, flipped_text = sealed, flipped_nonce = sealed, flipped_version = sealed;
    flipped_tag.back() ^= 0x01;
    flipped_text[STRONG_HEADER_SIZE + 3] ^= 0x80;
    flipped_nonce[7] ^= 0x10;
    flipped_version[4] = 2;
    const Case cases[] = {
        {"one bit of the tag", "xl/BKsharedStrings.xml", flipped_tag, OpenFailure::rejected},
        {"one bit of the text", "xl/BKsharedStrings.xml", flipped_text, OpenFailure::rejected},
        {"one bit of the nonce", "xl/BKsharedStrings.xml", flipped_nonce, OpenFailure::rejected},
        {"cut by one byte", "xl/BKsharedStrings.xml", sealed.substr(0, sealed.size() - 1), OpenFailure::rejected},
        {"cut inside the header", "xl/BKsharedStrings.xml", sealed.substr(0, 20), OpenFailure::not_strong},
        {"under another entry name", "xl/BKworkbook.xml", sealed, OpenFailure::rejected},
        {"another layout version", "xl/BKsharedStrings.xml", flipped_version, OpenFailure::not_strong},
        {"a original container", "xl/BKsharedStrings.xml", std::string(1024, '\0'), OpenFailure::not_strong},
    };
    for (const Case& c : cases) {
        std::string untouched = "kept";
        EXPECT_EQ(key.open(c.name, bytes(c.bytes), untouched), c.expected) << c.label;
        EXPECT_EQ(untouched, "kept") << c.label;
    }
    std::string other_out;
    EXPECT_EQ(key_for("wrong").open("xl/BKsharedStrings.xml", bytes(sealed), other_out), OpenFailure::rejected);
}

// --- The footer of the strong format and of the original one with unknown backups ---

StoredSettings settings_with(std::string password) {
    StoredSettings s;
    s.password = password;
    s.password_utf8 = password;
    return s;
}

std::string sha512_hex(std::string_view text);  // below

struct FooterScene {
    StoredSettings stored = settings_with("right password");
    std::string record;
    test::RecordingReporter rep;
    FailReason why = FailReason::none;
    int check(const StoredSettings& s, FooterCheck& c) {
        rep = {};
        why = FailReason::none;
        int present = FOOTER_ABSENT;
        const int rc = hsc_check_footer_block(record, s, nullptr, present, rep, &why, Lang::en, c);
        EXPECT_EQ(present, FOOTER_PRESENT);
        return rc;
    }
};

TEST(StrongFooter, RecordsTheKeyAndRefusesAOriginalReader) {
    for (const bool no_password : {false, true}) {
        SCOPED_TRACE(no_password ? "no password recorded" : "check value recorded");
        FooterScene f;
        f.stored.is_no_password = no_password;
        f.stored.password_hint = "hint";
        const auto salt = StrongKey::random_salt();
        const auto key = derive_strong_key(f.stored, false, salt, CHEAP);
        ASSERT_TRUE(key);
        ASSERT_EQ(hsc_format_footer(f.stored, nullptr, FooterProtection{&*key}, f.record), RC_OK);
        ASSERT_EQ(f.record.size(), FOOTER_SIZE);
        const auto parsed = parse_footer(bytes(f.record));
        ASSERT_TRUE(parsed);
        // The full form always, with a HASH that is not the password's SHA-512.
        ASSERT_TRUE(parsed->hash && parsed->sealed_hint);
        EXPECT_NE(*parsed->hash, sha512_hex("right password"));
        EXPECT_EQ(*parsed->hash, no_password ? std::string(FOOTER_NO_CHECK_HASH) : key->check_hex());
        EXPECT_EQ(*footer_extension(*parsed, "SALT"), to_hex(salt));
        EXPECT_EQ(*footer_extension(*parsed, "OPS"), "1");
        EXPECT_EQ(*footer_extension(*parsed, "MEM"), "65536");
        EXPECT_EQ(*footer_extension(*parsed, "CHECK"), no_password ? "NONE" : "KEY");
        EXPECT_EQ(footer_format(*parsed), FooterFormat::strong);

        // Our reader: the right password derives the same key.
        FooterCheck ours;
        ASSERT_EQ(f.check(f.stored, ours), RC_OK);
        ASSERT_TRUE(ours.strong);
        EXPECT_EQ(ours.strong->check_hex(), key->check_hex());
        EXPECT_EQ(ours.verified, !no_password);
        // A wrong password: refused at the footer when a check is recorded, otherwise
        // let through to the backups (whose seal refuses it).
        FooterCheck wrong;
        const int rc = f.check(settings_with("wrong password"), wrong);
        if (no_password) {
            EXPECT_EQ(rc, RC_OK);
            EXPECT_FALSE(wrong.verified);
        } else {
            EXPECT_EQ(rc, RC_REFUSED);
            EXPECT_EQ(f.why, FailReason::wrong_password);
            EXPECT_EQ(f.rep.errors, std::vector<std::string>{"The password does not match. The hint is \"hint\"."});
        }
        // A reader of the original format: the right password fails its check.
        FooterCheck original;
        original.original_only = true;
        EXPECT_EQ(f.check(f.stored, original), RC_REFUSED);
        EXPECT_EQ(f.why, FailReason::wrong_password);
        EXPECT_FALSE(original.strong);
    }
}

TEST(StrongFooter, KeyFileModeMixesTheFileAndRefusesAOriginalReader) {
    test::TempDir dir;
    test::write_file(dir / "a.key", "key file A");
    test::write_file(dir / "b.key", "key file B");
    FooterScene f;
    f.stored.is_file_hash = true;
    f.stored.key_file = (dir / "a.key").string();
    const auto key = derive_strong_key(f.stored, true, SALT, CHEAP);
    ASSERT_TRUE(key);
    ASSERT_EQ(hsc_format_footer(f.stored, nullptr, FooterProtection{&*key}, f.record), RC_OK);
    FooterCheck ours;
    ASSERT_EQ(f.check(f.stored, ours), RC_OK);
    EXPECT_TRUE(ours.verified);
    StoredSettings other = f.stored;
    other.key_file = (dir / "b.key").string();
    FooterCheck wrong;
    EXPECT_EQ(f.check(other, wrong), RC_REFUSED);
    EXPECT_EQ(f.why, FailReason::wrong_password_or_key_file);
    FooterCheck original;
    original.original_only = true;
    EXPECT_EQ(f.check(f.stored, original), RC_REFUSED);
    EXPECT_EQ(f.why, FailReason::wrong_key_file);
    // Password mode against a file-mode footer: the file is asked for.
    FooterCheck password_mode;
    EXPECT_EQ(f.check(settings_with("right password"), password_mode), RC_REFUSED);
    EXPECT_EQ(f.why, FailReason::key_file_required);
}

// In file mode the key is made from the password and the key file together, and the footer
// holds nothing that either one alone decides: a wrong password and a wrong file are
// refused alike, so that whoever holds the workbook cannot try either secret on its own.
TEST(StrongFooter, KeyFileModeRecordsNothingOfEitherSecretAlone) {
    test::TempDir dir;
    test::write_file(dir / "a.key", "key file A, long enough");
    test::write_file(dir / "b.key", "key file B, long enough");
    const auto with = [&](const char* password, const char* file) {
        StoredSettings s = settings_with(password);
        s.is_file_hash = true;
        s.key_file = (dir / file).string();
        return s;
    };
    const auto footer_of = [&](const StoredSettings& s) {
        const auto key = derive_strong_key(s, true, SALT, CHEAP);
        std::string record;
        EXPECT_TRUE(key);
        if (key) EXPECT_EQ(hsc_format_footer(s, nullptr, FooterProtection{&*key}, record), RC_OK);
        return record;
    };
    FooterScene f;
    f.stored = with("right password", "a.key");
    f.record = footer_of(f.stored);
    // With the salt and cost alike, changing either secret changes the check value and
    // nothing else.
    const auto without_hash = [](const std::string& record) {
        auto parsed = parse_footer(bytes(record));
        EXPECT_TRUE(parsed && parsed->hash);
        if (parsed) parsed->hash.reset();
        return parsed;
    };
    for (const StoredSettings& other : {with("other password", "a.key"), with("right password", "b.key")}) {
        const std::string record = footer_of(other);
        EXPECT_NE(*parse_footer(bytes(record))->hash, *parse_footer(bytes(f.record))->hash);
        EXPECT_EQ(without_hash(record), without_hash(f.record));
    }

    std::vector<std::string> refusals;
    for (const StoredSettings& wrong : {with("other password", "a.key"), with("right password", "b.key"),
                                        with("other password", "b.key")}) {
        FooterCheck check;
        EXPECT_EQ(f.check(wrong, check), RC_REFUSED);
        EXPECT_EQ(f.why, FailReason::wrong_password_or_key_file);
        EXPECT_FALSE(check.strong);
        ASSERT_EQ(f.rep.errors.size(), 1u);
        refusals.push_back(f.rep.errors[0]);
    }
    EXPECT_EQ(refusals[0], refusals[1]);
    EXPECT_EQ(refusals[1], refusals[2]);
    EXPECT_NE(refusals[0].find("password or the authentication file"), std::string::npos) << refusals[0];
    FooterCheck right;
    EXPECT_EQ(f.check(f.stored, right), RC_OK);
    EXPECT_TRUE(right.verified);
}

// Parameters that are missing, unknown or out of bounds: refused as damaged before any
// derivation (a hostile footer must not ask for unbounded memory).
TEST(StrongFooter, DamagedParametersAreRefused) {
    FooterScene f;
    const auto key = derive_strong_key(f.stored, false, SALT, CHEAP);
    ASSERT_TRUE(key);
    ASSERT_EQ(hsc_format_footer(f.stored, nullptr, FooterProtection{&*key}, f.record), RC_OK);
    const FooterRecord good = *parse_footer(bytes(f.record));
    const std::pair<std::string, std::string> changes[] = {
        {"FORMAT", "3"},         {"KDF", "SCRYPT"},         {"OPS", "0"},
        {"OPS", "33"},           {"MEM", "1024"},           {"MEM", "1073741825"},
        {"MEM", "12a"},          {"SALT", "0102"},          {"SALT", std::string(32, 'g')},
        {"CHECK", "MAYBE"},
    };
    // Each bound alone is kept, but together they ask for too much work.
    FooterRecord too_much = good;
    for (auto& [ek, ev] : too_much.extensions) {
        if (ek == "OPS") ev = "32";
        if (ek == "MEM") ev = "1073741824";
    }
    std::vector<FooterRecord> bad_records = {too_much};
    for (const auto& [k, v] : changes) {
        FooterRecord bad = good;
        for (auto& [ek, ev] : bad.extensions)
            if (ek == k) ev = v;
        bad_records.push_back(bad);
    }
    for (const FooterRecord& bad : bad_records) {
        const auto block = write_footer(bad);
        ASSERT_TRUE(block);
        f.record.assign(block->begin(), block->end());
        FooterCheck c;
        EXPECT_EQ(f.check(f.stored, c), RC_REFUSED) << f.record.c_str();
        EXPECT_EQ(f.why, FailReason::damaged) << f.record.c_str();
        EXPECT_FALSE(c.strong) << f.record.c_str();
    }
}

// The original format: without unknown backups, the record exactly as it always was;
// with them, a tagged check value (or the constant) that a original reader refuses.
TEST(OriginalFooter, UnknownBackupsMakeAOriginalReaderRefuse) {
    FooterScene f;
    std::string plain;
    ASSERT_EQ(hsc_format_footer(f.stored, nullptr, plain), RC_OK);
    ASSERT_EQ(hsc_format_footer(f.stored, nullptr, FooterProtection{}, f.record), RC_OK);
    EXPECT_EQ(f.record, plain);
    EXPECT_NE(f.record.find("HASH=" + sha512_hex("right password")), std::string::npos);

    for (const bool no_password : {false, true}) {
        SCOPED_TRACE(no_password ? "no password recorded" : "check value recorded");
        f.stored.is_no_password = no_password;
        ASSERT_EQ(hsc_format_footer(f.stored, nullptr, FooterProtection{nullptr, true}, f.record), RC_OK);
        const auto parsed = parse_footer(bytes(f.record));
        ASSERT_TRUE(parsed && parsed->hash);
        EXPECT_EQ(footer_format(*parsed), FooterFormat::tagged);
        EXPECT_EQ(*footer_extension(*parsed, "CHECK"), no_password ? "NONE" : "TAGGED");
        EXPECT_EQ(footer_extension(*parsed, "FORMAT"), nullptr);
        FooterCheck ours;
        EXPECT_EQ(f.check(f.stored, ours), RC_OK);
        EXPECT_FALSE(ours.strong);
        FooterCheck wrong;
        EXPECT_EQ(f.check(settings_with("wrong password"), wrong), no_password ? RC_OK : RC_REFUSED);
        FooterCheck original;
        original.original_only = true;
        EXPECT_EQ(f.check(f.stored, original), RC_REFUSED);
        EXPECT_EQ(f.why, FailReason::wrong_password);
    }
}

}  // namespace
}  // namespace hsc

#include "protect/oracle.h"

namespace hsc {
namespace {
// SHA-512 from the independent oracle: the original check value, taken independently.
std::string sha512_hex(std::string_view text) {
    return test::to_hex(test::oracle_sha512(test::Bytes(text.begin(), text.end())));
}
}  // namespace
}  // namespace hsc
