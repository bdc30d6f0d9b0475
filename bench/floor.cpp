// The floor for masking and restoring: only the work the workbook format makes
// unavoidable, single-threaded, with none of the checks, settings or footer of the
// program. bench/ratio compares `hushcel mask` and `hushcel restore` with it.
//   hushcel_floor mask INPUT OUTPUT      columns B and D
//   hushcel_floor restore INPUT OUTPUT
// Mask: inflate the shared strings and the worksheets, select the strings of the
// columns, keep their plain form encrypted (AES-128 units and the MD5 of the plain
// bytes), mask them, deflate the changed parts, copy every other entry's deflated bytes
// under a new header. Restore: inflate the backup, decipher it, check its digest,
// deflate it as the shared strings, copy the rest.
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "protect/container.h"
#include "protect/crypto.h"

namespace {

constexpr const char* SHARED = "xl/sharedStrings.xml";
constexpr const char* BACKUP = "xl/BKsharedStrings.xml";

struct Entry {
    std::string name;
    std::string raw;  // deflated bytes as stored
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    int method = 0;
};

bool read_entries(const char* path, std::vector<Entry>& out) {
    unzFile uf = unzOpen64(path);
    if (!uf) return false;
    for (int rc = unzGoToFirstFile(uf); rc == UNZ_OK; rc = unzGoToNextFile(uf)) {
        unz_file_info64 info{};
        char name[256];
        if (unzGetCurrentFileInfo64(uf, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
        Entry e{name, {}, static_cast<std::uint32_t>(info.crc), info.uncompressed_size, static_cast<int>(info.compression_method)};
        int method = 0, level = 0;
        if (unzOpenCurrentFile2(uf, &method, &level, 1) != UNZ_OK) return false;
        e.raw.resize(info.compressed_size);
        if (unzReadCurrentFile(uf, e.raw.data(), static_cast<unsigned>(e.raw.size())) != static_cast<int>(e.raw.size()))
            return false;
        unzCloseCurrentFile(uf);
        out.push_back(std::move(e));
    }
    unzClose(uf);
    return true;
}

std::string inflate_entry(const Entry& e) {
    if (e.method == 0) return e.raw;
    std::string plain(e.size, '\0');
    z_stream zs{};
    inflateInit2(&zs, -MAX_WBITS);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.raw.data()));
    zs.avail_in = static_cast<uInt>(e.raw.size());
    zs.next_out = reinterpret_cast<Bytef*>(plain.data());
    zs.avail_out = static_cast<uInt>(plain.size());
    inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    return plain;
}

bool put_raw(zipFile zf, const Entry& e) {
    zip_fileinfo zi{};
    if (zipOpenNewFileInZip3_64(zf, e.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0) != ZIP_OK)
        return false;
    if (!e.raw.empty() && zipWriteInFileInZip(zf, e.raw.data(), static_cast<unsigned>(e.raw.size())) != ZIP_OK)
        return false;
    return zipCloseFileInZipRaw64(zf, e.size, e.crc) == ZIP_OK;
}

bool put_deflated(zipFile zf, const std::string& name, const std::string& bytes, int level) {
    zip_fileinfo zi{};
    if (zipOpenNewFileInZip3_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, level, 0,
                                -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0) != ZIP_OK)
        return false;
    if (!bytes.empty() && zipWriteInFileInZip(zf, bytes.data(), static_cast<unsigned>(bytes.size())) != ZIP_OK)
        return false;
    return zipCloseFileInZip(zf) == ZIP_OK;
}

// The key of the backups the benchmark's password gives: laid over the built-in text.
hsc::aes_context key() {
    std::string text(hsc::BUILTIN_KEY_TEXT);
    const std::string password = "bench-password";
    text.replace(0, password.size(), password);
    hsc::aes_context ctx;
    hsc::aes_set_key(reinterpret_cast<const std::uint8_t*>(text.data()), 16, ctx);
    return ctx;
}

// Plain bytes into 16-byte AES units (zero-filled last unit) and a trailer with the MD5.
std::string seal(const std::string& plain) {
    std::string box((plain.size() + 15) / 16 * 16 + 512, '\0');
    std::memcpy(box.data(), plain.data(), plain.size());
    auto* units = reinterpret_cast<std::uint8_t*>(box.data());
    const hsc::aes_context ctx = key();
    hsc::aes_encrypt_blocks(units, units, plain.size() / 16 + (plain.size() % 16 ? 1 : 0), ctx);
    hsc::md5_context md5;
    hsc::md5_init(md5);
    hsc::md5_update(md5, plain.data(), plain.size());
    std::uint8_t* trailer = units + box.size() - 512;
    std::memcpy(trailer, "TIVA", 4);
    const auto size = static_cast<std::uint32_t>(plain.size());
    std::memcpy(trailer + 16, &size, 4);
    hsc::md5_final(md5, trailer + 22);
    return box;
}

bool unseal(std::string box, std::string& plain) {
    if (box.size() < 512) return false;
    std::uint32_t size = 0;
    std::memcpy(&size, box.data() + box.size() - 512 + 16, 4);
    auto* units = reinterpret_cast<std::uint8_t*>(box.data());
    const hsc::aes_context ctx = key();
    hsc::aes_decrypt_blocks(units, units, (box.size() - 512) / 16, ctx);
    hsc::md5_context md5;
    hsc::md5_init(md5);
    hsc::md5_update(md5, units, size);
    std::uint8_t digest[16];
    hsc::md5_final(md5, digest);
    plain.assign(box.data(), size);
    return std::memcmp(digest, units + box.size() - 512 + 22, 16) == 0;
}

// Marks the shared strings that cells of columns B and D refer to.
void select(std::string_view sheet, std::vector<char>& flags) {
    for (std::size_t at = sheet.find("<c r=\""); at != std::string_view::npos; at = sheet.find("<c r=\"", at + 1)) {
        const char column = sheet[at + 6];
        if ((column != 'B' && column != 'D') || sheet[at + 7] < '0' || sheet[at + 7] > '9') continue;
        const std::size_t close = sheet.find('>', at);
        if (sheet.substr(at, close - at).find("t=\"s\"") == std::string_view::npos) continue;
        const std::size_t v = sheet.find("<v>", close);
        const std::size_t index = std::strtoul(sheet.data() + v + 3, nullptr, 10);
        if (index < flags.size()) flags[index] = 1;
    }
}

// Masks the text of the selected items in place, byte lengths kept.
void mask(std::string& sst, const std::vector<char>& flags) {
    std::size_t item = 0;
    for (std::size_t at = sst.find("<si>"); at != std::string::npos; at = sst.find("<si>", at + 1), ++item) {
        if (item >= flags.size() || !flags[item]) continue;
        const std::size_t end = sst.find("</si>", at);
        for (std::size_t t = sst.find("<t>", at); t < end; t = sst.find("<t>", t + 1)) {
            const std::size_t stop = sst.find("</t>", t);
            for (std::size_t i = t + 3; i < stop; ++i) {
                auto c = static_cast<unsigned char>(sst[i]);
                if (c >= 0xE0 && i + 2 < stop) {
                    sst.replace(i, 3, "\xE2\x97\x8F");  // ●
                    i += 2;
                } else if (c < 0x80) {
                    sst[i] = std::isdigit(c) ? '9' : '*';
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "mask") != 0 && std::strcmp(argv[1], "restore") != 0)) {
        std::fprintf(stderr, "usage: %s mask|restore INPUT OUTPUT\n", argv[0]);
        return 2;
    }
    const bool masking = std::strcmp(argv[1], "mask") == 0;
    std::vector<Entry> entries;
    if (!read_entries(argv[2], entries)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    zipFile zf = zipOpen64(argv[3], APPEND_STATUS_CREATE);
    if (!zf) return 1;
    bool ok = true;
    if (masking) {
        std::string sst;
        std::vector<char> flags;
        for (const Entry& e : entries)
            if (e.name == SHARED) sst = inflate_entry(e);
        for (std::size_t at = sst.find("<si>"); at != std::string::npos; at = sst.find("<si>", at + 1)) flags.push_back(0);
        for (const Entry& e : entries)
            if (e.name.starts_with("xl/worksheets/sheet")) select(inflate_entry(e), flags);
        const std::string backup = seal(sst);
        mask(sst, flags);
        for (const Entry& e : entries) ok = ok && (e.name == SHARED ? put_deflated(zf, e.name, sst, Z_DEFAULT_COMPRESSION) : put_raw(zf, e));
        ok = ok && put_deflated(zf, BACKUP, backup, 1);
    } else {
        std::string plain;
        for (const Entry& e : entries)
            if (e.name == BACKUP) ok = unseal(inflate_entry(e), plain);
        for (const Entry& e : entries) {
            if (e.name == BACKUP) continue;
            ok = ok && (e.name == SHARED ? put_deflated(zf, e.name, plain, Z_DEFAULT_COMPRESSION) : put_raw(zf, e));
        }
    }
    ok = zipClose(zf, nullptr) == ZIP_OK && ok;
    return ok ? 0 : 1;
}
