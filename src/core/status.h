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

}  // namespace hsc
