#pragma once

#include <string>
#include <string_view>
#include <vector>

// Looks at the entry names of a workbook package without extracting anything.
namespace hsc {

// The backup entries of a masked workbook, each an encrypted stream container. Every
// reader of the format knows the table's and the drawings' ("xl/drawings/BKdrawing%d.xml").
inline constexpr std::string_view BACKUP_SHARED_STRINGS = "xl/BKsharedStrings.xml";
inline constexpr std::string_view BACKUP_DRAWING_PREFIX = "xl/drawings/BKdrawing";
// Kept by this program besides them, and ignored by other readers: the workbook part and
// the thumbnail as they were before masking, so that restoring gives them back byte for
// byte.
inline constexpr std::string_view BACKUP_WORKBOOK = "xl/BKworkbook.xml";
inline constexpr std::string_view BACKUP_THUMBNAIL_PREFIX = "docProps/BKthumbnail.";
inline constexpr std::string_view BACKUP_THUMBNAIL_SUFFIX = ".xml";
// Kept the same way: "[Content_Types].xml" and "_rels/.rels" as they were, and the
// archive's directory (the order of its entries, its folder entries, their dates and
// header fields, its comment), so that the restored package is the original entry by
// entry.
inline constexpr std::string_view BACKUP_PACKAGE = "docProps/BKpackage.xml";
// The content type [Content_Types].xml gives every backup entry: opaque bytes, whatever
// the package's Default for their ".xml" extension says (in some packages the workbook
// part's type). A reader that restores only the table and the drawings keeps the
// content types as they are: the backups it leaves stay declared opaque.
inline constexpr std::string_view BACKUP_CONTENT_TYPE = "application/octet-stream";

// The worksheets whose own values masking changed (numbers, dates, plain-text cells), each
// as it was before masking: "xl/worksheets/BK<file name>" for "xl/worksheets/<file name>".
// Only this program knows them: a workbook that holds one is marked so that a reader of
// the original format refuses it instead of restoring its text alone.
inline constexpr std::string_view WORKSHEET_FOLDER = "xl/worksheets/";
inline constexpr std::string_view BACKUP_WORKSHEET_PREFIX = "xl/worksheets/BK";
std::string worksheet_backup_name(std::string_view worksheet);
// The worksheet a backup name keeps, or empty when it names none.
std::string worksheet_of_backup(std::string_view name);
// "docProps/BKthumbnail.<extension>.xml": the backup of "docProps/thumbnail.<extension>".
std::string thumbnail_backup_name(std::string_view extension);
// The extension of the thumbnail a backup name keeps, or empty when it names none.
std::string_view thumbnail_backup_extension(std::string_view name);

// True for the name of any backup entry above.
bool is_backup_entry(std::string_view name);
// True for the backups that a reader of the original format deals with: the table's and
// the drawings' it restores, the workbook part's, the thumbnails' and the package's it
// passes over (they only keep those parts byte for byte). Backups of any other kind would
// be left behind by such a reader, with their parts still masked.
bool known_to_original_readers(std::string_view name);

// The backup entries a masked workbook carries: every name above, those that every
// reader knows first.
std::vector<std::string> backup_entries(const std::vector<std::string>& names);

}  // namespace hsc
