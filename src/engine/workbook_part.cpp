#include "engine/workbook_part.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "core/status.h"
#include "engine/text_routines.h"

namespace hsc {
namespace {

constexpr std::string_view WORKBOOK_PART = "xl/workbook.xml";
constexpr std::string_view CONTENT_TYPES_PART = "[Content_Types].xml";
constexpr std::string_view ROOT_RELS_PART = "_rels/.rels";
constexpr std::string_view THUMBNAIL_PREFIX = "docProps/thumbnail.";
constexpr std::string_view JPEG_THUMBNAIL_PART = "docProps/thumbnail.jpeg";

constexpr std::string_view JPEG_DEFAULT = "<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>";
constexpr std::string_view THUMBNAIL_RELATIONSHIP_HEAD =
    "<Relationship Target=\"docProps/thumbnail.jpeg\" "
    "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail\" "
    "Id=\"rId";

using TagFilter = std::function<bool(std::string_view tag)>;

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower_ascii(x) == lower_ascii(y); });
}

bool iends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && iequals(text.substr(text.size() - tail.size()), tail);
}

// The '>' that ends the tag opened at lt; a '>' inside a quoted attribute value does not.
std::size_t tag_end(std::string_view text, std::size_t lt) {
    char quote = 0;
    for (std::size_t i = lt + 1; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The element name of a tag, with any namespace prefix ("x:fileSharing" -> "fileSharing").
std::string_view local_name(std::string_view tag) {
    std::size_t end = tag.find_first_of(" \t\r\n/>", 1);
    std::string_view name = tag.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The value of attribute `name` in a tag, or empty.
std::string_view attribute(std::string_view tag, std::string_view name) {
    for (std::size_t p = tag.find(name); p != std::string_view::npos; p = tag.find(name, p + 1)) {
        const bool starts_word = p > 0 && (tag[p - 1] == ' ' || tag[p - 1] == '\t' || tag[p - 1] == '\r' ||
                                           tag[p - 1] == '\n');
        std::size_t q = p + name.size();
        if (!starts_word || q + 1 >= tag.size() || tag[q] != '=' || (tag[q + 1] != '"' && tag[q + 1] != '\''))
            continue;
        std::size_t close = tag.find(tag[q + 1], q + 2);
        if (close == std::string_view::npos) return {};
        return tag.substr(q + 2, close - q - 2);
    }
    return {};
}

// At every occurrence of needle, cuts out the tag that holds it, from the nearest '<'
// before to its '>' (and a closing tag that directly follows a non-empty one). Only tags
// that `keep_out` accepts are cut; an occurrence outside any tag (in text content) is
// left alone, so no data around it is lost. -1 when the brackets are missing.
int cut_elements(std::string& text, std::string_view needle, const TagFilter& keep_out) {
    std::size_t pos = 0;
    for (std::size_t p; (p = text.find(needle, pos)) != std::string::npos;) {
        std::size_t lt = text.rfind('<', p);
        if (lt == std::string::npos) return RC_FAIL;
        std::size_t gt = tag_end(text, lt);
        if (gt == std::string::npos) return RC_FAIL;
        std::string_view tag = std::string_view(text).substr(lt, gt - lt + 1);
        if (gt < p || !keep_out(tag)) {
            pos = p + needle.size();
            continue;
        }
        std::size_t end = gt + 1;
        if (text[gt - 1] != '/') {
            std::size_t name_end = tag.find_first_of(" \t\r\n/>", 1);
            std::string close = "</" + std::string(tag.substr(1, name_end - 1)) + ">";
            if (text.compare(end, close.size(), close) == 0) end += close.size();
        }
        text.erase(lt, end - lt);
        pos = lt;
    }
    return RC_OK;
}

bool is_file_sharing(std::string_view tag) { return local_name(tag) == "fileSharing"; }

int write_stream(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    return code(write_whole_file(reg, name, bytes));
}

std::string file_sharing_element(std::string_view prefix, std::string_view write_password) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02x", reservation_password_hash(write_password));
    std::string value(hex);
    std::transform(value.begin(), value.end(), value.begin(),
                   [](char c) { return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c; });
    return "<" + std::string(prefix) + "fileSharing reservationPassword=\"" + value + "\" userName=\"Hushcel\"/>";
}

// Position of the start tag of element `name` (exactly that name), or npos.
std::size_t find_start_tag(std::string_view text, std::string_view name, std::size_t from = 0) {
    const std::string start = "<" + std::string(name);
    for (std::size_t p = text.find(start, from); p != std::string_view::npos; p = text.find(start, p + 1)) {
        const std::size_t after = p + start.size();
        if (after < text.size() && (text[after] == '>' || text[after] == '/' || text[after] == ' ' ||
                                    text[after] == '\t' || text[after] == '\r' || text[after] == '\n'))
            return p;
    }
    return std::string_view::npos;
}

// Where fileSharing goes: the schema orders the workbook part fileVersion, fileSharing,
// workbookPr, workbookProtection, ... So before workbookPr when there is one; otherwise
// after fileVersion, or else right after the root's start tag. npos: no root element.
std::size_t file_sharing_position(std::string_view text, std::string_view prefix) {
    const std::string p(prefix);
    if (std::size_t pr = find_start_tag(text, p + "workbookPr"); pr != std::string_view::npos) return pr;
    const auto after_element = [&](std::size_t lt, std::string_view name) -> std::size_t {
        const std::size_t gt = tag_end(text, lt);
        if (gt == std::string_view::npos) return gt;
        if (text[gt - 1] == '/') return gt + 1;
        const std::string close = "</" + p + std::string(name) + ">";
        const std::size_t end = text.find(close, gt);
        return end == std::string_view::npos ? end : end + close.size();
    };
    if (std::size_t fv = find_start_tag(text, p + "fileVersion"); fv != std::string_view::npos)
        return after_element(fv, "fileVersion");
    const std::size_t root = find_start_tag(text, p + "workbook");
    if (root == std::string_view::npos) return root;
    const std::size_t gt = tag_end(text, root);
    return gt == std::string_view::npos || text[gt - 1] == '/' ? std::string_view::npos : gt + 1;
}

// The extension of a thumbnail part's name ("docProps/thumbnail.png" gives "png").
std::string_view thumbnail_extension(std::string_view name) { return name.substr(THUMBNAIL_PREFIX.size()); }

// A Default for "jpeg" exists (extensions compare without case, so a second one would
// make the package invalid).
bool has_jpeg_default(std::string_view types) {
    constexpr std::string_view needle = "Extension=\"";
    for (std::size_t p = types.find(needle); p != std::string_view::npos; p = types.find(needle, p + 1)) {
        std::size_t start = p + needle.size();
        std::size_t close = types.find('"', start);
        if (close != std::string_view::npos && iequals(types.substr(start, close - start), "jpeg")) return true;
    }
    return false;
}

// Removes the content type of the old thumbnail of another kind than JPEG (WMF, EMF,
// PNG, ...): its Override, and a Default for its extension unless another part of the
// package still has that extension.
int cut_old_thumbnail_type(std::string& types, std::string_view ext, const std::vector<std::string>& entries) {
    const std::string part_name = "/" + std::string(THUMBNAIL_PREFIX) + std::string(ext);
    const std::string dot_ext = "." + std::string(ext);
    if (int rc = cut_elements(types, "<Override", [&](std::string_view tag) {
            return local_name(tag) == "Override" && iequals(attribute(tag, "PartName"), part_name);
        });
        rc != RC_OK)
        return rc;
    const bool used_elsewhere = std::any_of(entries.begin(), entries.end(), [&](const std::string& name) {
        return !name.starts_with(THUMBNAIL_PREFIX) && iends_with(name, dot_ext);
    });
    if (used_elsewhere) return RC_OK;
    return cut_elements(types, "<Default", [&](std::string_view tag) {
        return local_name(tag) == "Default" && iequals(attribute(tag, "Extension"), ext);
    });
}

}  // namespace

int read_part(MfileRegistry& reg, std::string_view name, std::string& out) {
    const Status st = read_whole_file(reg, 0, name, out);
    if (st == Status::no_memory) return RC_NOMEM;
    return st == Status::ok ? RC_OK : RC_FAIL;
}

int insert_relationship(std::string& rels, std::string_view head) {
    constexpr std::string_view needle = "Id=\"rId";
    std::int64_t largest = 0;
    for (std::size_t p = rels.find(needle); p != std::string::npos; p = rels.find(needle, p + 1)) {
        std::size_t start = p + needle.size();
        std::size_t close = rels.find('"', start);
        if (close == std::string::npos) return RC_FAIL;
        if (close - start > RELATIONSHIP_VALUE_MAX) return RC_SIZE_LIMIT;
        std::size_t digits = 0;
        while (start + digits < close && rels[start + digits] >= '0' && rels[start + digits] <= '9') ++digits;
        if (digits == 0 || digits > 9) continue;  // too large to be followed: uniqueness is checked below
        largest = std::max<std::int64_t>(largest, std::stoll(rels.substr(start, digits)));
    }
    std::int64_t next = largest + 1;
    while (rels.find(std::string(needle) + std::to_string(next) + "\"") != std::string::npos) ++next;

    std::size_t at = rels.find("</Relationships>");
    if (at == std::string::npos) return RC_FAIL;
    rels.insert(at, std::string(head) + std::to_string(next) + "\"/>");
    return RC_OK;
}

namespace {

// Points the relationship of the old thumbnail of another kind at the JPEG name.
int retarget_thumbnail_relationship(std::string& rels, std::string_view ext) {
    for (std::string_view target : {"Target=\"docProps/thumbnail.", "Target=\"/docProps/thumbnail."}) {
        const std::string needle = std::string(target) + std::string(ext) + "\"";
        for (std::size_t p = rels.find(needle); p != std::string::npos; p = rels.find(needle, p + 1)) {
            const std::size_t name_end = p + needle.size() - 1;
            if (rels.size() - name_end > RELATIONSHIP_VALUE_MAX) return RC_SIZE_LIMIT;
            rels.replace(name_end - ext.size(), ext.size(), "jpeg");
        }
    }
    return RC_OK;
}

// A restored thumbnail's extension keeps a content type: masking dropped that of a WMF
// or EMF thumbnail.
int keep_thumbnail_type(std::string& types, std::string_view ext) {
    const std::string name = std::string(THUMBNAIL_PREFIX) + std::string(ext);
    bool typed = false;
    constexpr std::string_view needle = "Extension=\"";
    for (std::size_t p = types.find(needle); p != std::string::npos && !typed; p = types.find(needle, p + 1)) {
        const std::size_t start = p + needle.size(), close = types.find('"', start);
        typed = close != std::string::npos && iequals(std::string_view(types).substr(start, close - start), ext);
    }
    typed = typed || types.find("PartName=\"/" + name + "\"") != std::string::npos;
    if (!typed) {
        const std::string content_type = ext == "wmf" ? "image/x-wmf" : ext == "emf" ? "image/x-emf" : "image/" + std::string(ext);
        const std::size_t at = types.find("</Types>");
        if (at == std::string::npos) return RC_FAIL;
        types.insert(at, "<Default Extension=\"" + std::string(ext) + "\" ContentType=\"" + content_type + "\"/>");
    }
    return RC_OK;
}

// Restoring a kept thumbnail: masking pointed its relationship at the striped JPEG; it
// is pointed back.
int keep_thumbnail_link(std::string& rels, bool thumbnail_relationship, std::string_view ext) {
    const std::string name = std::string(THUMBNAIL_PREFIX) + std::string(ext);
    if (!thumbnail_relationship) {
        const std::string head =
            "<Relationship Target=\"" + name +
            "\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail\" Id=\"rId";
        return insert_relationship(rels, head);
    }
    if (ext != "jpeg") {
        for (std::string_view target : {"Target=\"docProps/thumbnail.jpeg\"", "Target=\"/docProps/thumbnail.jpeg\""})
            for (std::size_t p = rels.find(target); p != std::string::npos; p = rels.find(target, p + 1))
                rels.replace(p + target.size() - 5, 4, ext);
    }
    return RC_OK;
}

}  // namespace

std::uint32_t reservation_password_hash(std::string_view text) {
    std::uint32_t h = 0;
    for (std::size_t i = 1; i <= text.size(); ++i) {
        // A byte 0x80-0xFF counts as 0xFF80-0xFFFF: the verifier works on signed 16-bit characters.
        const auto c = static_cast<std::uint16_t>(static_cast<std::int8_t>(text[i - 1]));
        const std::uint32_t v = static_cast<std::uint32_t>(c) << (i % 32);
        const std::uint32_t high = static_cast<std::uint32_t>(static_cast<std::int32_t>(v) >> 15);
        h ^= (v & 0x7FFF) | high;
    }
    return h ^ static_cast<std::uint32_t>(text.size()) ^ 0xCE4B;
}

int rewrite_workbook_part(MfileRegistry& reg, std::string& workbook_text, const StoredSettings& s,
                          Direction direction) {
    std::string text = workbook_text;
    if (int rc = rewrite_workbook_text(text, s, direction); rc != RC_OK) return rc;
    if (int rc = write_stream(reg, WORKBOOK_PART, text); rc != RC_OK) return rc;
    workbook_text = std::move(text);
    return RC_OK;
}

int rewrite_workbook_text(std::string& text, const StoredSettings& s, Direction direction) {

    // Removes the write reservation of an earlier masking, or one the user set.
    if (int rc = cut_elements(text, "reservationPassword", is_file_sharing); rc != RC_OK) return rc;

    if (direction == Direction::mask) {
        // A fileSharing element of the newer kind (hashValue, no reservationPassword) goes
        // too: the workbook may hold only one.
        if (int rc = cut_elements(text, "fileSharing", is_file_sharing); rc != RC_OK) return rc;

        // Written with the prefix the part uses for its own elements (x:workbookPr).
        const std::string_view prefix = root_element_prefix(text);
        if (std::size_t at = file_sharing_position(text, prefix); at != std::string::npos) {
            // The limit counts from <workbookPr> to the end; a part without one (the element
            // goes after the root's start tag) is not measured from there.
            const std::string workbook_pr = "<" + std::string(prefix) + "workbookPr";
            if (std::string_view(text).substr(at).starts_with(workbook_pr) && text.size() - at >= WORKBOOK_PR_TAIL_MAX)
                return RC_SIZE_LIMIT;
            // The password bytes are those the caller passes: the pipeline has already
            // turned the password into its CP932 form, which the verifier is defined over.
            const std::string write_password =
                s.password.empty() ? std::string(FALLBACK_WRITE_PASSWORD) : "z" + s.password;
            text.insert(at, file_sharing_element(prefix, write_password));
        }
    }
    return RC_OK;
}

int replace_thumbnail(MfileRegistry& reg, const std::vector<std::string>& entries,
                      std::span<const std::uint8_t> image, Direction direction,
                      std::span<const std::string> kept_extensions) {

    // The thumbnail's extension ("jpeg", "wmf", "png", ...); empty without one.
    std::string ext;
    bool have_types = false, have_rels = false;
    for (const std::string& name : entries) {
        if (name == CONTENT_TYPES_PART) {
            have_types = true;
        } else if (name == ROOT_RELS_PART) {
            have_rels = true;
        } else if (name.starts_with(THUMBNAIL_PREFIX)) {
            ext = thumbnail_extension(name);
        }
    }
    if (!have_types || !have_rels) return RC_FAIL;  // not a workbook package

    std::string types, rels;
    if (int rc = read_part(reg, CONTENT_TYPES_PART, types); rc != RC_OK) return rc;
    if (int rc = read_part(reg, ROOT_RELS_PART, rels); rc != RC_OK) return rc;
    for (const std::string& name : entries)
        if (name.starts_with(THUMBNAIL_PREFIX)) mremove(reg, name);

    const bool thumbnail_relationship = rels.find(THUMBNAIL_PREFIX) != std::string::npos;

    if (direction == Direction::unmask) {
        for (const std::string& ext : kept_extensions)
            if (int rc = keep_thumbnail_type(types, ext); rc != RC_OK) return rc;
        if (!kept_extensions.empty()) {
            // Masking pointed the relationship away from the last thumbnail of the sorted
            // entries, whose backup is the last one too.
            if (int rc = keep_thumbnail_link(rels, thumbnail_relationship, kept_extensions.back()); rc != RC_OK)
                return rc;
        } else if (thumbnail_relationship) {
            // Without a backup the thumbnail from before masking is gone: the restored
            // workbook has none.
            int rc = cut_elements(rels, THUMBNAIL_PREFIX, [](std::string_view) { return true; });
            if (rc != RC_OK) return rc;
        }
        if (int rc = write_stream(reg, CONTENT_TYPES_PART, types); rc != RC_OK) return rc;
        return write_stream(reg, ROOT_RELS_PART, rels);
    }

    const bool jpeg = iequals(ext, "jpeg");
    const bool old_picture = !ext.empty() && !jpeg;
    if (thumbnail_relationship && old_picture) {
        if (int rc = cut_old_thumbnail_type(types, ext, entries); rc != RC_OK) return rc;
    }
    if (!has_jpeg_default(types) && !jpeg) {
        std::size_t at = types.find("</Types>");
        if (at == std::string::npos) return RC_FAIL;
        types.insert(at, JPEG_DEFAULT);
    }
    if (int rc = write_stream(reg, CONTENT_TYPES_PART, types); rc != RC_OK) return rc;

    if (!thumbnail_relationship) {
        if (int rc = insert_relationship(rels, THUMBNAIL_RELATIONSHIP_HEAD); rc != RC_OK) return rc;
    } else if (old_picture) {
        if (int rc = retarget_thumbnail_relationship(rels, ext); rc != RC_OK) return rc;
    }
    if (int rc = write_stream(reg, ROOT_RELS_PART, rels); rc != RC_OK) return rc;

    return write_stream(reg, JPEG_THUMBNAIL_PART,
                        std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}

bool ask_full_calculation(std::string& workbook) {
    const std::string prefix(root_element_prefix(workbook));
    ElementAt at;
    if (next_element(workbook, prefix + "calcPr", 0, workbook.size(), at)) {
        const std::size_t tag_end = workbook.find('>', at.begin);
        const std::size_t old = workbook.find("fullCalcOnLoad=", at.begin);
        if (old != std::string::npos && old < tag_end) {
            const std::size_t quote = old + 15, close = workbook.find(workbook[quote], quote + 1);
            if (close == std::string::npos || close > tag_end) return false;
            workbook.replace(quote + 1, close - quote - 1, "1");
        } else {
            workbook.insert(at.begin + 1 + prefix.size() + 6, " fullCalcOnLoad=\"1\"");
        }
        return true;
    }
    // <calcPr> stands before these in the workbook element.
    static constexpr std::string_view FOLLOWING[] = {"oleSize",       "customWorkbookViews", "pivotCaches",
                                                     "smartTagPr",    "smartTagTypes",       "webPublishing",
                                                     "fileRecoveryPr", "webPublishObjects",  "extLst"};
    std::size_t insert_at = workbook.rfind("</" + prefix + "workbook>");
    if (insert_at == std::string::npos) return false;
    for (std::string_view name : FOLLOWING)
        if (next_element(workbook, prefix + std::string(name), 0, insert_at, at)) insert_at = at.begin;
    workbook.insert(insert_at, "<" + prefix + "calcPr fullCalcOnLoad=\"1\"/>");
    return true;
}

}  // namespace hsc
