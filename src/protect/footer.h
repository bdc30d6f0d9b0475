#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/fail_reason.h"
#include "core/mask_settings.h"
#include "core/reporter.h"

// The footer record of a masked workbook: 512 bytes appended as the zip archive comment.
// It marks the workbook as masked and, unless the user chose not to record them, holds
// the SHA-512 check value of the password (or of the authentication file) and a sealed
// hint.
//
// The settings handed to these routines are the stored form: password and hints in
// CP932 (see core/cp932.h). Messages to the user are UTF-8.
namespace hsc {

inline constexpr std::size_t FOOTER_SIZE = 512;
// The first 32 bytes shared by both forms; VERSION is not examined.
inline constexpr std::string_view FOOTER_PREFIX = "COMPANY=KESTRIL PRODUCT=Hushcel ";
inline constexpr std::string_view FOOTER_HEAD = "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0";

inline constexpr int FOOTER_PRESENT = 0;
inline constexpr int FOOTER_ABSENT = -1;

// The 512-byte record for these settings (text, then zero bytes). 0; -3 when the
// authentication material is missing (file mode with no key_file, or a key file that
// cannot be read).
int hsc_format_footer(const MaskSettings& stored, std::string& record);

// Appends the record to a workbook whose zip comment is empty: sets the comment length
// to 512 and writes the record after it. The record is composed before the file is
// touched, so a failure to digest the key file leaves the workbook as it was.
// 0; -3 no authentication material; -101 cannot open; -104 cannot position; -103 a
// write (or the flush to disk) fell short.
int hsc_write_footer(const std::filesystem::path& path, const MaskSettings& stored);

// Decides between masking and restoring and verifies the password or authentication
// file against a recorded check value. `present` gets FOOTER_PRESENT or FOOTER_ABSENT.
// 0 decided (and verified when a HASH is recorded); -3 refused and reported through the
// reporter, with the reason in `*why` when given; -101 cannot open; -104 cannot position;
// -103 fewer than 512 bytes read.
int hsc_check_footer(const std::filesystem::path& path, const MaskSettings& stored, int& present,
                     Reporter& reporter, FailReason* why = nullptr);

// What a footer records, read without verifying anything.
struct FooterInfo {
    bool present = false;
    bool file_mode = false;     // FILE=Y
    bool has_hash = false;      // full form
    std::string hint;           // unsealed, CP932 bytes
    std::string version;
};
// 0 (info.present tells); -101, -104, -103 as for hsc_check_footer.
int hsc_read_footer(const std::filesystem::path& path, FooterInfo& info);

}  // namespace hsc
