#pragma once

// Status codes shared by the whole program. They appear in user messages
// ("rc=%d") and callers branch on them, so the numbers are fixed.
namespace hsc {

inline constexpr int RC_OK = 0;
inline constexpr int RC_FAIL = -1;           // general failure
inline constexpr int RC_NOMEM = -2;          // out of memory
inline constexpr int RC_REFUSED = -3;        // refused (authentication failed and reported, unknown kind, bad origin)
inline constexpr int RC_BAD_MAGIC = -4;      // container magic is not "TIVA"
inline constexpr int RC_ZIP_CLOSE = -5;      // the zip library failed to finish an entry or the archive
inline constexpr int RC_SIZE_LIMIT = -9;     // a processing size limit was exceeded
inline constexpr int RC_OPEN = -101;         // cannot open or create
inline constexpr int RC_SHORT_READ = -102;   // short read
inline constexpr int RC_SHORT_WRITE = -103;  // short write
inline constexpr int RC_SEEK = -104;         // cannot seek (or: no memory for the extraction buffer)
inline constexpr int RC_UNSUPPORTED_OBJECTS = -9999;  // the workbook holds table parts
inline constexpr int RC_NOT_FOUND = 1403;    // nothing found / no further item

// Aliases under the names the processing driver uses.
inline constexpr int SIZE_LIMIT_EXCEEDED = RC_SIZE_LIMIT;
inline constexpr int UNSUPPORTED_OBJECTS = RC_UNSUPPORTED_OBJECTS;

// What a routine of the lower layers (streams, ciphers, sealed texts) reports: one
// value, one meaning. Callers branch on these; the numbers above are only for texts
// that show a status and for the layers that still return them (see code()).
enum class Status {
    ok,
    open_failed,      // the file cannot be opened or created
    not_a_file,       // the path names something other than a regular file
    short_read,       // fewer bytes came than were asked for, before the end
    short_write,      // fewer bytes were written than given (full disk, failed flush)
    seek_failed,      // the system refused the move
    bad_origin,       // a seek origin or open mode this layer does not know
    no_memory,
    size_limit,       // over a length limit of the format or the stream
    not_found,        // nothing found / no further item (the tokenizer's end)
    invalid_text,     // a text the routine cannot take (a zero byte to seal, a non-hex digit to unseal)
    bad_key_length,   // a cipher key of a length the cipher does not have
    not_keyed,        // a cipher context used before a key was set
};

// The status as the number a message shows ("rc=%d") or a caller that still speaks
// numbers passes on. The one place where a Status becomes a number.
constexpr int code(Status status) {
    switch (status) {
        case Status::ok: return RC_OK;
        case Status::open_failed: return RC_OPEN;
        case Status::not_a_file: return RC_FAIL;
        case Status::short_read: return RC_SHORT_READ;
        case Status::short_write: return RC_SHORT_WRITE;
        case Status::seek_failed: return RC_SEEK;
        case Status::bad_origin: return RC_REFUSED;
        case Status::no_memory: return RC_NOMEM;
        case Status::size_limit: return RC_SIZE_LIMIT;
        case Status::not_found: return RC_NOT_FOUND;
        case Status::invalid_text: return RC_FAIL;
        case Status::bad_key_length: return 255;  // the cipher's own failure byte
        case Status::not_keyed: return 255;
    }
    return RC_FAIL;
}

// The value's name, for test output and diagnostics.
constexpr const char* status_name(Status status) {
    switch (status) {
        case Status::ok: return "ok";
        case Status::open_failed: return "open_failed";
        case Status::not_a_file: return "not_a_file";
        case Status::short_read: return "short_read";
        case Status::short_write: return "short_write";
        case Status::seek_failed: return "seek_failed";
        case Status::bad_origin: return "bad_origin";
        case Status::no_memory: return "no_memory";
        case Status::size_limit: return "size_limit";
        case Status::not_found: return "not_found";
        case Status::invalid_text: return "invalid_text";
        case Status::bad_key_length: return "bad_key_length";
        case Status::not_keyed: return "not_keyed";
    }
    return "?";
}

}  // namespace hsc
