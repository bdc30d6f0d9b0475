#pragma once

#include <array>
#include <filesystem>
#include <string_view>

#include "stream/mfile.h"

// Classifies a file by its first bytes and the end of its name, with a fixed table of
// known types searched in order.
namespace hsc {

// Where tiv_file_type takes the bytes from.
inline constexpr int FILE_TYPE_STREAM = 0;     // a memory stream of the registry
inline constexpr int FILE_TYPE_BUFFER = 9999;  // the bytes themselves; signatures only
inline constexpr int FILE_TYPE_FILE = -1;      // a disk file (any other value too)

// Type codes the processing driver gives meaning to.
inline constexpr int TYPE_UNKNOWN = -1;
inline constexpr int TYPE_XLS = 11;  // the old binary workbook
inline constexpr int TYPE_XLSX = 12;
inline constexpr int TYPE_XLSM = 14;
inline constexpr int TYPE_XLSX_LOCKED = 19;

// Bytes read before the table is searched; shorter content is never classified.
inline constexpr std::size_t FILE_TYPE_HEAD = 16;

struct FileSignature {
    int code;
    std::string_view type_name;  // a label only; never compared
    std::string_view extension;  // compared with the end of the name, ignoring ASCII case
    std::string_view signature;  // compared with the first bytes; empty: extension only
};

inline constexpr std::string_view SIG_ZIP{"PK\x03\x04", 4};
inline constexpr std::string_view SIG_CFB{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

inline constexpr std::array<FileSignature, 32> FILE_SIGNATURES{{
    {202, "JPEG", "jpg", {"\xFF\xD8\xFF", 3}},
    {202, "JPEG", "jpeg", {"\xFF\xD8\xFF", 3}},
    {204, "GIF", "gif", {"GIF8", 4}},
    {201, "BMP", "bmp", {"BM", 2}},
    {203, "PNG", "png", {"\x89PNG\r\n\x1A\n", 8}},
    {205, "TIFF", "tiff", {"II*\0", 4}},
    {205, "TIFF", "tif", {"II*\0", 4}},
    {301, "Zip", "zip", SIG_ZIP},
    {11, "MS-Excel2003", "xls", SIG_CFB},
    {12, "MS-Excel2007", "xlsx", SIG_ZIP},
    {13, "MS-Excel2007-BINARY", "xlsb", SIG_ZIP},
    {14, "MS-Excel2007-Macro", "xlsm", SIG_ZIP},
    {19, "MS-Excel2007-Locked", "xlsx", SIG_CFB},
    {21, "MS-Word2003", "doc", SIG_CFB},
    {22, "MS-Word2007", "docx", SIG_ZIP},
    {23, "MS-Word2007-Macrp", "docm", SIG_ZIP},
    {29, "MS-Word2007-Locked", "docx", SIG_CFB},
    {31, "MS-PowerPoint2003", "ppt", SIG_CFB},
    {32, "MS-PowerPoint2007", "pptx", SIG_ZIP},
    {33, "MS-PowerPoint2007-Macro", "pptm", SIG_ZIP},
    {39, "MS-PowerPoint2007-Locked", "pptx", SIG_CFB},
    {40, "MS-Project", "mpp", SIG_CFB},
    {101, "MS-Visio", "vsd", SIG_CFB},
    {102, "Adobe-PDF", "pdf", {"%PDF", 4}},
    {103, "Adobe-Photoshop", "psd", {"8BPS", 4}},
    {207, "Windows-MataFile", "wmf", {"\xD7\xCD\xC6\x9A", 4}},
    {206, "Enhanced-MataFile", "emf", {"\x01\0\0\0", 4}},
    {900, "EXE", "exe", {"MZ", 2}},
    {0, "CSV", "csv", {}},
    {401, "AVI", "avi", {"RIFF", 4}},
    {402, "MPG", "mpg", {"\0\0\x01", 3}},
    {403, "WMV", "wmv", {"\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8}},
}};

// mode FILE_TYPE_STREAM: `name` names a stream of `reg` (a disk file of that name is
// loaded when no such stream is registered); the stream is closed, not removed.
// mode FILE_TYPE_BUFFER: `name` holds the content itself (at least 16 bytes to classify).
// any other mode: `name` is a disk path.
// `code_out` gets the code of the first matching row, -1 when none matches.
// 0 classified (matched or not); -101 cannot open; -104 cannot return to the start for
// the compound-file test; -1 a "-Locked" row matched but no "EncryptedPackage" entry.
int tiv_file_type(MfileRegistry& reg, int mode, std::string_view name, int& code_out);
// File mode on a path.
int tiv_file_type(const std::filesystem::path& path, int& code_out);
class ByteStream;
// The bytes of `source` (from its start) under the file name `name`, as in file mode.
int tiv_file_type(ByteStream& source, std::string_view name, int& code_out);

// What a compound (OLE) file holds, by its content alone: TYPE_XLSX_LOCKED for a
// package encrypted with a password to open, TYPE_XLS for a workbook of the old binary
// format; TYPE_UNKNOWN for anything else, or no compound file at all. For a file the
// table cannot name because of its name (an old workbook saved under ".xlsx").
int compound_file_type(ByteStream& source);

// The label of a type code ("MS-Excel2007"), or "unknown".
std::string_view file_type_name(int code);

}  // namespace hsc
