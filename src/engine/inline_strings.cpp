#include "engine/inline_strings.h"

#include <charconv>

#include "core/status.h"
#include "engine/backups.h"
#include "engine/text_routines.h"
#include "engine/workbook_part.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_RELS_NAME = "xl/_rels/workbook.xml.rels";
constexpr std::string_view CONTENT_TYPES_NAME = "[Content_Types].xml";
constexpr std::string_view SHARED_STRINGS_TYPE = "/relationships/sharedStrings\"";
constexpr std::string_view SHARED_STRINGS_RELATIONSHIP_HEAD =
    "<Relationship Target=\"sharedStrings.xml\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Id=\"rId";
constexpr std::string_view SHARED_STRINGS_OVERRIDE =
    "<Override PartName=\"/xl/sharedStrings.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
constexpr std::string_view EMPTY_TABLE =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"0\" uniqueCount=\"0\"/>";


// Raises the decimal value of attribute `name` inside [begin, end) by `added`; an
// attribute that is absent or not a plain number stays as it is.
void raise_attribute(std::string& text, std::size_t begin, std::size_t& end, std::string_view name,
                     std::size_t added) {
    const std::string needle = std::string(name) + "=";
    for (std::size_t p = text.find(needle, begin); p != std::string::npos && p < end;
         p = text.find(needle, p + 1)) {
        if (!is_xml_space(text[p - 1])) continue;  // "uniqueCount=" when looking for "count="
        const std::size_t value = p + needle.size() + 1;
        if (value > end || (text[value - 1] != '"' && text[value - 1] != '\'')) return;
        const std::size_t close = text.find(text[value - 1], value);
        if (close == std::string::npos || close > end) return;
        std::size_t n = 0;
        auto [ptr, ec] = std::from_chars(text.data() + value, text.data() + close, n);
        if (ec != std::errc() || ptr != text.data() + close) return;
        const std::string raised = std::to_string(n + added);
        text.replace(value, close - value, raised);
        end = end + raised.size() - (close - value);
        return;
    }
}

// A package that names its shared-string part by a relationship gets no second one; a
// package without workbook relationships is not one the table can be added to.
int can_add_table(MfileRegistry& reg, bool& can) {
    can = false;
    if (!stream_exists(reg, WORKBOOK_RELS_NAME) || !stream_exists(reg, CONTENT_TYPES_NAME)) return RC_OK;
    std::string rels;
    if (int rc = read_part(reg, WORKBOOK_RELS_NAME, rels); rc != RC_OK) return rc;
    can = rels.find(SHARED_STRINGS_TYPE) == std::string::npos;
    return RC_OK;
}

// The relationship and the content type of a new "xl/sharedStrings.xml".
int register_table(MfileRegistry& reg) {
    std::string rels, types;
    if (int rc = read_part(reg, WORKBOOK_RELS_NAME, rels); rc != RC_OK) return rc;
    if (int rc = read_part(reg, CONTENT_TYPES_NAME, types); rc != RC_OK) return rc;
    if (int rc = insert_relationship(rels, SHARED_STRINGS_RELATIONSHIP_HEAD); rc != RC_OK) return rc;
    if (types.find("PartName=\"/xl/sharedStrings.xml\"") == std::string::npos) {
        const std::size_t at = types.rfind("</Types>");
        if (at == std::string::npos) return RC_FAIL;
        types.insert(at, SHARED_STRINGS_OVERRIDE);
    }
    if (Status st = write_whole_file(reg, WORKBOOK_RELS_NAME, rels); st != Status::ok) return code(st);
    return code(write_whole_file(reg, CONTENT_TYPES_NAME, types));
}

}  // namespace

bool append_shared_string_items(std::string& table, std::string_view items, std::size_t added) {
    const std::string prefix(root_element_prefix(table));
    const std::string root = "<" + prefix + "sst";
    std::size_t begin = table.find(root);
    while (begin != std::string::npos && begin + root.size() < table.size() &&
           !is_xml_space(table[begin + root.size()]) && table[begin + root.size()] != '>' &&
           table[begin + root.size()] != '/')
        begin = table.find(root, begin + 1);
    if (begin == std::string::npos) return false;
    std::size_t end = table.find('>', begin);
    if (end == std::string::npos) return false;
    raise_attribute(table, begin, end, "count", added);
    raise_attribute(table, begin, end, "uniqueCount", added);
    if (table[end - 1] == '/') {  // <sst .../>: no items yet
        table.replace(end - 1, 2, ">" + std::string(items) + "</" + prefix + "sst>");
        return true;
    }
    const std::size_t close = table.rfind("</" + prefix + "sst>");
    if (close == std::string::npos || close < end) return false;
    table.insert(close, items);
    return true;
}

int begin_inline_strings(MfileRegistry& reg, bool has_table, std::string& table, bool& possible) {
    possible = true;
    if (has_table) return RC_OK;
    if (int rc = can_add_table(reg, possible); rc != RC_OK) return rc;
    if (possible) table = EMPTY_TABLE;
    return RC_OK;
}

int finish_inline_strings(MfileRegistry& reg, bool& has_table, std::string& table, std::string_view items,
                          std::size_t added, bool& created) {
    created = false;
    if (added == 0) {
        if (!has_table) table.clear();
        return RC_OK;
    }
    if (!append_shared_string_items(table, items, added)) return RC_FAIL;
    if (!has_table) {
        if (int rc = register_table(reg); rc != RC_OK) return rc;
        created = has_table = true;
    }
    return code(write_whole_file(reg, SHARED_STRINGS_NAME, table));
}

}  // namespace hsc
