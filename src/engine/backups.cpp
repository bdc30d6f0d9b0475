#include "engine/backups.h"

#include "engine/merge.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <zlib.h>

#include "package/package_entries.h"

#include "core/status.h"
#include "engine/side_by_side.h"
#include "engine/text_mask.h"
#include "core/refusal.h"
#include "protect/container.h"

namespace hsc {
namespace {

constexpr int KEY_BITS = 128;

// Closes the stream when the scope ends, whatever path leaves it.
struct ClosingMfile {
    Mfile* f;
    ~ClosingMfile() {
        if (f) mclose(f);
    }
};

// Room for all of it first, so a large stream is not grown step by step (each step a copy).
int write_stream(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    Mfile* f = mopen(reg, name, "wb");
    if (!f) return RC_OPEN;
    ClosingMfile closing{f};
    mreserve(f, static_cast<std::int64_t>(bytes.size()));  // when it fails, the write says how
    return mwrite_all(f, bytes) ? RC_OK : RC_SHORT_WRITE;
}

// The bytes of a live stream as the sealing takes them, without copying.
std::span<const std::uint8_t> stream_data(const MfileRegistry& reg, std::string_view name) {
    const std::string_view bytes = stream_bytes(reg, name);
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The strong format: the stream's bytes sealed in one piece under the entry's name.
int seal_stream(MfileRegistry& reg, std::string_view plain_name, std::string_view backup_name, const StrongKey& key) {
    if (!stream_exists(reg, plain_name)) return RC_OPEN;
    return write_stream(reg, backup_name, key.seal(backup_name, stream_data(reg, plain_name)));
}

// The strong format: a backup's plain bytes, or -3 with the backup named in the refusal
// when it does not open (another key, or changed, cut or moved since masking).
int open_sealed(MfileRegistry& reg, std::string_view backup_name, const StrongKey& key, std::string& plain) {
    if (!stream_exists(reg, backup_name)) return RC_OPEN;
    if (key.open(backup_name, stream_data(reg, backup_name), plain) != OpenFailure::none) {
        reg.refusal = Refusal(RefusalKind::damaged_backup, std::string(backup_name));
        return RC_REFUSED;
    }
    return RC_OK;
}

// Encrypts the temporary stream, which holds the plain text, into the backup. The caller
// removes the temporary stream.
int encrypt_temp(MfileRegistry& reg, std::string_view temp_name, std::string_view backup_name,
                 const BackupKey& key) {
    if (const StrongKey* strong = key.strong_key()) return seal_stream(reg, temp_name, backup_name, *strong);
    const CryptStreams streams{0, &reg};
    tiv_crypt_key container_key;
    int rc = tiv_crypt_key_init(streams, container_key, temp_name, key.password(), CIPHER_AES, KEY_BITS);
    if (rc == RC_OK) {
        Mfile* source = mopen(reg, temp_name, "rb");
        ClosingMfile closing_source{source};
        Mfile* backup = source ? mopen(reg, backup_name, "wb") : nullptr;
        ClosingMfile closing_backup{backup};
        // The container is the plain text in whole 512-byte blocks and a 512-byte trailer:
        // room for all of it at once, so it never grows (a grown stream holds up to twice
        // its size, with a copy on each step).
        constexpr std::int64_t BLOCK = 512;
        if (backup && source) mreserve(backup, (source->length / BLOCK + 2) * BLOCK);
        if (!source || !backup)
            rc = RC_OPEN;
        else if (tiv_encrypt_stream(streams, container_key, CryptStream{source, nullptr}, CryptStream{backup, nullptr}) != RC_OK)
            rc = RC_FAIL;
    } else {
        rc = RC_FAIL;
    }
    return rc;
}

// Puts an entry that happens to bear the temporary name aside while the temporary stream
// is in use, and back afterwards, so that the temporary stream never replaces it.
class TempNameKept {
public:
    TempNameKept(MfileRegistry& reg, std::string_view temp_name) : reg_(reg), name_(temp_name) {
        had_ = stream_exists(reg, temp_name);
        if (had_ && read_whole_file(reg, 0, temp_name, kept_) != Status::ok) failed_ = true;
    }
    bool failed() const { return failed_; }
    // 0, or the status of putting the entry back.
    int put_back() { return had_ ? write_stream(reg_, name_, kept_) : RC_OK; }

private:
    MfileRegistry& reg_;
    std::string_view name_;
    bool had_ = false, failed_ = false;
    std::string kept_;
};

}  // namespace

bool stream_exists(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && !name.empty() && f->name == name) return true;
    return false;
}

std::string drawing_backup_name(std::size_t k) {
    char name[64];
    std::snprintf(name, sizeof name, "%zu.xml", k);
    return std::string(BACKUP_DRAWING_PREFIX) + name;
}

int store_backup(MfileRegistry& reg, std::string_view temp_name, std::string_view plain,
                 std::string_view backup_name, const BackupKey& key) {
    return store_backup_filled(
        reg, temp_name, plain.size(), [&](std::span<char> room) { std::copy(plain.begin(), plain.end(), room.begin()); },
        backup_name, key);
}

int store_backup_filled(MfileRegistry& reg, std::string_view temp_name, std::size_t size,
                        const std::function<void(std::span<char>)>& fill, std::string_view backup_name,
                        const BackupKey& key) {
    const auto fill_bytes = [&](std::span<std::uint8_t> room) {
        fill({reinterpret_cast<char*>(room.data()), room.size()});
    };
    // Writes the stream `name` whole, `length` bytes made by `make`.
    const auto make_stream = [&](std::string_view name, std::size_t length,
                                 const std::function<void(std::span<std::uint8_t>)>& make) {
        Mfile* f = mopen(reg, name, "wb");
        if (!f) return RC_OPEN;
        ClosingMfile closing{f};
        return code(mfill(f, static_cast<std::int64_t>(length), make));
    };
    if (const StrongKey* strong = key.strong_key())
        return make_stream(backup_name, StrongKey::sealed_size(size), [&](std::span<std::uint8_t> out) {
            strong->seal_into(backup_name, out, fill_bytes);
        });
    TempNameKept kept(reg, temp_name);
    if (kept.failed()) return RC_FAIL;
    int rc = make_stream(temp_name, size, fill_bytes);
    if (rc == RC_OK) rc = encrypt_temp(reg, temp_name, backup_name, key);
    mremove(reg, temp_name);  // the plain copy never stays in the package
    const int wrc = kept.put_back();
    return rc != RC_OK ? rc : wrc;
}

std::string deciphered_name(std::string_view backup_name) {
    std::string name(backup_name);
    name.resize(MFILE_MAX_NAME, '~');  // longer than any entry name, one per backup
    return name;
}

int decipher_backups(MfileRegistry& reg, const std::vector<std::string>& backups, const BackupKey& key) {
    for (const std::string& backup : backups) {
        if (const StrongKey* strong = key.strong_key()) {
            std::string plain;
            if (const int rc = open_sealed(reg, backup, *strong, plain); rc != RC_OK) return rc == RC_REFUSED ? rc : RC_FAIL;
            if (const int rc = write_stream(reg, deciphered_name(backup), plain); rc != RC_OK) return RC_FAIL;
            continue;
        }
        const int rc = decipher_stream_once(reg, backup, deciphered_name(backup), key.password());
        if (rc == RC_BAD_MAGIC || rc == RC_SHORT_READ || rc == RC_SEEK) return RC_REFUSED;
        if (rc != RC_OK) return RC_FAIL;
    }
    return RC_OK;
}

void drop_deciphered(MfileRegistry& reg) {
    std::vector<std::string> names;
    mlist(reg, names);
    for (const std::string& name : names)
        if (name.size() == MFILE_MAX_NAME) mremove(reg, name);
}

int restore_backup(MfileRegistry& reg, std::string_view backup_name, std::string_view target_name,
                   const BackupKey& key) {
    // Only streams of the package: a missing backup is never looked up on disk.
    if (!stream_exists(reg, backup_name)) return RC_OPEN;
    // Deciphered and checked already: the plain text becomes the part as it is.
    if (const std::string plain = deciphered_name(backup_name); stream_exists(reg, plain)) {
        if (mmove(reg, plain, target_name) != Status::ok) return RC_OPEN;
        mremove(reg, backup_name);
        return RC_OK;
    }
    if (const StrongKey* strong = key.strong_key()) {
        std::string plain;
        if (const int rc = open_sealed(reg, backup_name, *strong, plain); rc != RC_OK) return rc == RC_OPEN ? rc : RC_FAIL;
        if (const int rc = write_stream(reg, target_name, plain); rc != RC_OK) return rc;
        mremove(reg, backup_name);
        return RC_OK;
    }
    const CryptStreams streams{0, &reg};
    tiv_crypt_key container_key;
    if (tiv_crypt_key_init(streams, container_key, backup_name, key.password(), CIPHER_AES, KEY_BITS) != RC_OK)
        return RC_FAIL;
    {
        Mfile* backup = mopen(reg, backup_name, "rb");
        ClosingMfile closing_backup{backup};
        if (!backup) return RC_OPEN;
        Mfile* out = mopen(reg, target_name, "wb");
        ClosingMfile closing_out{out};
        if (!out) return RC_OPEN;
        if (tiv_decrypt_stream(streams, container_key, CryptStream{backup, nullptr}, CryptStream{out, nullptr}) != RC_OK)
            return RC_FAIL;
    }
    mremove(reg, backup_name);
    return RC_OK;
}

int read_backup(MfileRegistry& reg, std::string_view backup_name, const BackupKey& key, std::string& plain) {
    if (const std::string deciphered = deciphered_name(backup_name); stream_exists(reg, deciphered)) {
        const Status st = read_whole_file(reg, 0, deciphered, plain);
        mremove(reg, deciphered);
        return code(st);
    }
    if (const StrongKey* strong = key.strong_key()) return open_sealed(reg, backup_name, *strong, plain);
    // Deciphered into a stream no entry can be named (longer than any entry name).
    const std::string scratch(MFILE_MAX_NAME, '~');
    int rc = decrypt_stream_to(reg, backup_name, scratch, key.password());
    if (rc == RC_OK) rc = code(read_whole_file(reg, 0, scratch, plain));
    mremove(reg, scratch);
    return rc;
}

int mask_shared_strings(MfileRegistry& reg, const std::vector<std::uint8_t>& flags, int target_column_count,
                        const MaskSettings& s, const BackupKey& key) {
    // The part's own stream is the plain text that goes into the cipher, under the
    // temporary name that the container's trailer records; the masked text becomes the
    // part anew.
    std::string text;
    if (read_whole_file(reg, 0, SHARED_STRINGS_NAME, text) != Status::ok) return RC_FAIL;
    TempNameKept kept(reg, SHARED_STRINGS_TEMP_NAME);
    if (kept.failed()) return RC_FAIL;
    int rc = mmove(reg, SHARED_STRINGS_NAME, SHARED_STRINGS_TEMP_NAME) == Status::ok ? RC_OK : RC_OPEN;
    // The cipher reads the stream and the masker changes the copy: both at once.
    run_side_by_side([&] { mask_shared_strings_text(text, flags, target_column_count, s); },
                     [&] {
                         try {
                             if (rc == RC_OK) rc = encrypt_temp(reg, SHARED_STRINGS_TEMP_NAME, BACKUP_SHARED_STRINGS, key);
                         } catch (const std::bad_alloc&) {
                             rc = RC_NOMEM;
                         }
                     });
    mremove(reg, SHARED_STRINGS_TEMP_NAME);  // the plain copy never stays in the package
    if (const int wrc = kept.put_back(); rc == RC_OK) rc = wrc;
    if (rc != RC_OK) return rc;
    Mfile* part = mopen(reg, SHARED_STRINGS_NAME, "wb");
    if (!part) return RC_OPEN;
    ClosingMfile closing{part};
    if (mreserve(part, static_cast<std::int64_t>(text.size())) != Status::ok) return RC_NOMEM;
    return mwrite_all(part, text) ? RC_OK : RC_SHORT_WRITE;
}

int restore_shared_strings(MfileRegistry& reg, const BackupKey& key) {
    return restore_backup(reg, BACKUP_SHARED_STRINGS, SHARED_STRINGS_NAME, key);
}

int mask_drawings(MfileRegistry& reg, const std::vector<std::string>& names, std::vector<std::string>& texts,
                  const MaskSettings& s, const BackupKey& key) {
    for (std::size_t i = 0; i < names.size() && i < texts.size(); ++i) {
        if (int rc = store_backup(reg, DRAWING_TEMP_NAME, texts[i], drawing_backup_name(i + 1), key); rc != RC_OK)
            return rc;
        mask_drawing_text(texts[i], s);
        if (int rc = write_stream(reg, names[i], texts[i]); rc != RC_OK) return rc;
        std::string().swap(texts[i]);  // done with this drawing
    }
    return RC_OK;
}

int restore_drawings(MfileRegistry& reg, const std::vector<std::string>& names, const BackupKey& key) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (int rc = restore_backup(reg, drawing_backup_name(i + 1), names[i], key); rc != RC_OK) return rc;
    return RC_OK;
}

namespace {

constexpr std::string_view WORKSHEET_BACKUP_MARK = "HSCSHEET1 ";
constexpr std::string_view DEFLATED_WORKSHEET_BACKUP_MARK = "HSCSHEET2 ";

std::uint32_t crc_of(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes at most 4 GiB a call; worksheets are far below that.
    return static_cast<std::uint32_t>(
        crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<z_size_t>(bytes.size())));
}

// `bytes` inflated from a raw deflate stream into `out`, which it must fill exactly.
bool inflate_into(std::string_view bytes, std::span<char> out) {
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = static_cast<uInt>(bytes.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int z = inflate(&zs, Z_FINISH);
    const bool whole = z == Z_STREAM_END && zs.total_out == out.size() && zs.avail_in == 0;
    inflateEnd(&zs);
    return whole;
}

// The worksheet of a deflated backup inflated into `out` (its recorded size), checked by
// its CRC-32.
bool inflate_original(const WorksheetBackup& backup, std::span<char> out) {
    return backup.stored.size() <= UINT32_MAX && inflate_into(backup.stored, out) &&
           crc_of({out.data(), out.size()}) == backup.original_crc;
}

}  // namespace

std::string worksheet_backup_line(std::string_view masked) {
    char line[48];
    std::snprintf(line, sizeof line, "%llu %08x\n", static_cast<unsigned long long>(masked.size()),
                  static_cast<unsigned>(crc_of(masked)));
    return std::string(WORKSHEET_BACKUP_MARK) + line;
}

std::string deflated_worksheet_backup_line(std::string_view masked, std::uint64_t original_size,
                                           std::uint32_t original_crc) {
    char line[80];
    std::snprintf(line, sizeof line, "%llu %08x %llu %08x\n", static_cast<unsigned long long>(masked.size()),
                  static_cast<unsigned>(crc_of(masked)), static_cast<unsigned long long>(original_size),
                  static_cast<unsigned>(original_crc));
    return std::string(DEFLATED_WORKSHEET_BACKUP_MARK) + line;
}

bool read_worksheet_backup(std::string_view plain, WorksheetBackup& backup) {
    const bool deflated = plain.starts_with(DEFLATED_WORKSHEET_BACKUP_MARK);
    if (!deflated && !plain.starts_with(WORKSHEET_BACKUP_MARK)) return false;
    const std::size_t eol = plain.find('\n');
    if (eol == std::string_view::npos || eol > 80) return false;
    unsigned long long size = 0, original_size = 0;
    unsigned crc = 0, original_crc = 0;
    const std::size_t mark = WORKSHEET_BACKUP_MARK.size();
    const std::string line(plain.substr(mark, eol - mark));
    char end = 0;
    if (deflated ? std::sscanf(line.c_str(), "%llu %8x %llu %8x%c", &size, &crc, &original_size, &original_crc, &end) != 4
                 : std::sscanf(line.c_str(), "%llu %8x%c", &size, &crc, &end) != 2)
        return false;
    backup.masked_size = size;
    backup.masked_crc = crc;
    backup.stored = plain.substr(eol + 1);
    backup.deflated = deflated;
    backup.original_size = deflated ? original_size : backup.stored.size();
    backup.original_crc = original_crc;
    return true;
}

bool worksheet_original(const WorksheetBackup& backup, std::string& storage, std::string_view& original) {
    if (!backup.deflated) {
        original = backup.stored;
        return true;
    }
    if (backup.original_size > static_cast<std::uint64_t>(MFILE_MAX_LENGTH)) return false;
    storage.resize(static_cast<std::size_t>(backup.original_size));
    if (!inflate_original(backup, storage)) return false;
    original = storage;
    return true;
}

std::string_view stream_bytes(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && !name.empty() && f->name == name) {
            const auto data = mdata(f.get());
            return {reinterpret_cast<const char*>(data.data()), data.size()};
        }
    return {};
}

std::uint32_t stream_crc(const MfileRegistry& reg, std::string_view name) {
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && f->name == name) {
            if (!mdeflated(f.get()).empty() || f->deflated_only) return f->crc;
            const auto data = mdata(f.get());
            return crc_of({reinterpret_cast<const char*>(data.data()), data.size()});
        }
    return 0;
}

int restore_worksheets(MfileRegistry& reg, const std::vector<std::string>& entries, const BackupKey& key,
                       MergeReport& report) {
    for (const std::string& backup_name : entries) {
        const std::string worksheet = worksheet_of_backup(backup_name);
        if (worksheet.empty() || !stream_exists(reg, backup_name)) continue;
        std::string plain;
        if (int rc = read_backup(reg, backup_name, key, plain); rc != RC_OK) return rc;
        WorksheetBackup backup;
        if (!read_worksheet_backup(plain, backup)) return RC_FAIL;
        // A worksheet the other side changed (only a forced restore gets here) keeps
        // its changes: only the values still masked are given back.
        const bool unchanged = static_cast<std::uint64_t>(msize(reg, worksheet)) == backup.masked_size &&
                               stream_crc(reg, worksheet) == backup.masked_crc;
        if (unchanged && backup.deflated) {
            // Inflated straight into the part: the masked worksheet's room goes first.
            if (backup.original_size > static_cast<std::uint64_t>(MFILE_MAX_LENGTH)) return RC_FAIL;
            Mfile* f = mopen(reg, worksheet, "wb");
            if (!f) return RC_OPEN;
            bool inflated = false;
            const Status st = mfill(f, static_cast<std::int64_t>(backup.original_size), [&](std::span<std::uint8_t> out) {
                inflated = inflate_original(backup, {reinterpret_cast<char*>(out.data()), out.size()});
            });
            mclose(f);
            if (st != Status::ok) return code(st);
            if (!inflated) return RC_FAIL;
        } else {
            std::string inflated;
            std::string_view original;
            if (!worksheet_original(backup, inflated, original)) return RC_FAIL;
            if (int rc = unchanged ? code(write_whole_file(reg, worksheet, original))
                                   : give_back_worksheet(reg, worksheet, original, report);
                rc != RC_OK)
                return rc;
        }
        mremove(reg, backup_name);
    }
    return RC_OK;
}

}  // namespace hsc
