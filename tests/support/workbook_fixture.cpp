#include "support/workbook_fixture.h"

#include <algorithm>
#include <stdexcept>

namespace hsc::test {
namespace {

std::string xml_escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else out += c;
    }
    return out;
}

}  // namespace

std::vector<ZipEntry> small_workbook(const std::vector<std::string>& strings) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    std::string rows;
    for (std::size_t i = 0; i < strings.size(); i += 3) {
        const std::size_t r = i / 3 + 1;
        rows += "<row r=\"" + std::to_string(r) + "\">";
        for (std::size_t k = 0; k < 3 && i + k < strings.size(); ++k)
            rows += "<c r=\"" + std::string(1, static_cast<char>('A' + k)) + std::to_string(r) + "\" t=\"s\"><v>" +
                    std::to_string(i + k) + "</v></c>";
        rows += "</row>";
    }
    std::string sst = decl + "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"" +
                      std::to_string(strings.size()) + "\" uniqueCount=\"" + std::to_string(strings.size()) + "\">";
    for (const auto& s : strings) sst += "<si><t>" + xml_escape(s) + "</t></si>";
    sst += "</sst>";
    return {
        {"[Content_Types].xml",
         decl + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                "<Override PartName=\"/xl/workbook.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                "<Override PartName=\"/xl/sharedStrings.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
                "</Types>"},
        {"_rels/.rels",
         decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" "
                "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                "Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         decl + "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<workbookPr defaultThemeVersion=\"124226\"/><sheets><sheet name=\"名簿\" sheetId=\"1\" r:id=\"rId1\"/>"
                "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" "
                "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                "Target=\"worksheets/sheet1.xml\"/>"
                "<Relationship Id=\"rId2\" "
                "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
                "Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml",
         decl + "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + rows +
                "</sheetData></worksheet>"},
        {"xl/sharedStrings.xml", sst},
    };
}

std::vector<std::string> sheets_workbook_strings(const std::vector<NamedSheet>& sheets) {
    std::vector<std::string> strings;
    for (const NamedSheet& sheet : sheets)
        for (const auto& row : sheet.rows)
            for (const std::string& text : row)
                if (!text.empty() && std::find(strings.begin(), strings.end(), text) == strings.end())
                    strings.push_back(text);
    return strings;
}

std::vector<ZipEntry> sheets_workbook(const std::vector<NamedSheet>& sheets) {
    const std::vector<std::string> strings = sheets_workbook_strings(sheets);
    // One sheet of three texts over the parts every workbook has; its sheet and the
    // workbook's names are replaced below.
    std::vector<ZipEntry> entries = small_workbook(strings);
    std::erase_if(entries, [](const ZipEntry& e) {
        return e.name == "xl/worksheets/sheet1.xml" || e.name == "xl/workbook.xml" ||
               e.name == "xl/_rels/workbook.xml.rels" || e.name == "[Content_Types].xml";
    });
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    std::string types = decl + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                               "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                               "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                               "<Override PartName=\"/xl/workbook.xml\" "
                               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                               "<Override PartName=\"/xl/sharedStrings.xml\" "
                               "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    std::string listed, rels = decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        const std::string n = std::to_string(k + 1);
        types += "<Override PartName=\"/xl/worksheets/sheet" + n +
                 ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        listed += "<sheet name=\"" + xml_escape(sheets[k].name) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                "Target=\"worksheets/sheet" + n + ".xml\"/>";
        std::string rows;
        for (std::size_t r = 0; r < sheets[k].rows.size(); ++r) {
            const std::string rn = std::to_string(r + 1);
            rows += "<row r=\"" + rn + "\">";
            for (std::size_t c = 0; c < sheets[k].rows[r].size(); ++c) {
                const std::string& text = sheets[k].rows[r][c];
                if (text.empty()) continue;
                const auto index = std::find(strings.begin(), strings.end(), text) - strings.begin();
                rows += "<c r=\"" + std::string(1, static_cast<char>('A' + c)) + rn + "\" t=\"s\"><v>" +
                        std::to_string(index) + "</v></c>";
            }
            rows += "</row>";
        }
        entries.push_back({"xl/worksheets/sheet" + n + ".xml",
                           decl + "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
                               rows + "</sheetData></worksheet>"});
    }
    rels += "<Relationship Id=\"rId" + std::to_string(sheets.size() + 1) +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
            "Target=\"sharedStrings.xml\"/></Relationships>";
    entries.push_back({"[Content_Types].xml", types + "</Types>"});
    entries.push_back({"xl/workbook.xml",
                       decl + "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                              "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                              "<sheets>" + listed + "</sheets></workbook>"});
    entries.push_back({"xl/_rels/workbook.xml.rels", rels});
    return entries;
}

std::vector<ZipEntry> workbook_with_table(const std::vector<std::string>& strings, int totals_rows) {
    auto entries = small_workbook(strings);
    // The table spans the rows of the sheet; its column names are the header cells' texts.
    const std::size_t rows = std::max<std::size_t>(2, (strings.size() + 2) / 3);
    std::string columns;
    for (std::size_t k = 0; k < 3; ++k)
        columns += "<tableColumn id=\"" + std::to_string(k + 1) + "\" name=\"" +
                   (k < strings.size() ? xml_escape(strings[k]) : "Column" + std::to_string(k + 1)) + "\"/>";
    entries.push_back({"xl/tables/table1.xml",
                       "<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"1\" "
                       "name=\"T\" displayName=\"T\" ref=\"A1:C" + std::to_string(rows) + "\"" +
                       (totals_rows ? " totalsRowCount=\"" + std::to_string(totals_rows) + "\"" : std::string()) +
                       "><autoFilter ref=\"A1:C" + std::to_string(rows) + "\"/><tableColumns count=\"3\">" + columns +
                       "</tableColumns></table>"});
    // The sheet names its table, as every spreadsheet program writes it.
    entries.push_back({"xl/worksheets/_rels/sheet1.xml.rels",
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" "
                       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/table\" "
                       "Target=\"../tables/table1.xml\"/></Relationships>"});
    return entries;
}

std::vector<ZipEntry> workbook_with_unnamed_table(const std::vector<std::string>& strings) {
    auto entries = small_workbook(strings);
    entries.push_back({"xl/tables/table1.xml",
                       "<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"1\" "
                       "name=\"T\" ref=\"A1:C2\"/>"});
    return entries;
}

std::string entry_data(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.name == name) return e.data;
    throw std::runtime_error("no entry " + name);
}

std::string compound_file(bool encrypted) { return compound_file_holding(encrypted ? "EncryptedPackage" : "Workbook"); }

std::string compound_file_holding(const char* stream) {
    std::string f("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    f.resize(512, '\0');
    std::string dir(512, '\0');
    const char* names[] = {"Root Entry", stream};
    for (int e = 0; e < 2; ++e)
        for (int i = 0; names[e][i]; ++i) dir[e * 128 + 2 * i] = names[e][i];
    std::fill(dir.begin() + 256, dir.begin() + 260, '\xFF');
    return f + dir + std::string(512, 'd');
}

}  // namespace hsc::test
