#pragma once

#include <string>
#include <vector>

#include "support/zip_builder.h"

namespace hsc::test {

// A small but complete workbook package: one sheet whose row r holds, in columns A, B,
// C, the shared strings 3r, 3r+1, 3r+2 of `strings` (as far as they go).
std::vector<ZipEntry> small_workbook(const std::vector<std::string>& strings);
// The same formatted as a table over all its rows (the first row its header, the last
// `totals_rows` its totals), named by the sheet's relationships.
std::vector<ZipEntry> workbook_with_table(const std::vector<std::string>& strings, int totals_rows = 0);
// The same with a table part that no worksheet names, which is refused.
std::vector<ZipEntry> workbook_with_unnamed_table(const std::vector<std::string>& strings);
// A workbook of named worksheets, each given as rows of cell texts from column A on
// (an empty text: no cell). Every text is a shared string, one item per distinct text, in
// the order first met: a text on two sheets is one item, as spreadsheet programs write it.
struct NamedSheet {
    std::string name;
    std::vector<std::vector<std::string>> rows;
};
std::vector<ZipEntry> sheets_workbook(const std::vector<NamedSheet>& sheets);
// The shared-string texts of `sheets_workbook(sheets)`, in item order.
std::vector<std::string> sheets_workbook_strings(const std::vector<NamedSheet>& sheets);

// A small compound (OLE) file whose one stream is "EncryptedPackage" (a workbook with a
// password to open) or "Workbook" (an old binary workbook).
std::string compound_file(bool encrypted);
// The same with one stream of that name beside the root ("Workbook" is an old binary
// workbook, "WordDocument" a document of the word processor).
std::string compound_file_holding(const char* stream);
// The bytes of one entry, or throws.
std::string entry_data(const std::vector<ZipEntry>& entries, const std::string& name);

}  // namespace hsc::test
