#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"
#include "stream/mfile.h"

namespace hsc {

// The whole text of the part `name` of the package: 0; -2 out of memory; -1 no such
// readable part.
int read_part(MfileRegistry& reg, std::string_view name, std::string& out);

// The signs a masked workbook carries besides its masked text: a write-reservation
// password in xl/workbook.xml and a striped thumbnail instead of a preview.

// Limits of the rewrites; beyond them the result is -9.
inline constexpr std::size_t WORKBOOK_PR_TAIL_MAX = 100000;  // bytes from "<workbookPr" to the end
inline constexpr std::size_t RELATIONSHIP_VALUE_MAX = 8000;  // an Id number, the text after a target

// The write password used when the masking password is empty.
inline constexpr std::string_view FALLBACK_WRITE_PASSWORD = DEFAULT_PASSWORD;

// The legacy 16-bit write-password verifier of the Office formats, over the bytes of the
// text: each byte (sign-extended) rotated within 15 bits by its one-based position, all
// XORed, then XOR length XOR 0xCE4B. Texts longer than 23 bytes give wider values,
// computed in 32-bit arithmetic exactly as the verifier loop does.
std::uint32_t reservation_password_hash(std::string_view text);

// Rewrites the workbook part and writes it back as the stream "xl/workbook.xml", in
// both directions, also when nothing changed. Both directions cut out the fileSharing
// elements that carry a reservation password; masking inserts a new one with the write
// password "z" + password (or the built-in one) where the schema puts it: before <workbookPr>,
// else after <fileVersion>, else first in the root element. workbook_text holds the
// rewritten text afterwards; on failure it is left as it was.
// 0; -1 malformed element; -9 limit; -101 / -103 stream failures.
int rewrite_workbook_part(MfileRegistry& reg, std::string& workbook_text, const StoredSettings& s,
                          Direction direction);

// Asks the spreadsheet program to compute every formula on opening (fullCalcOnLoad of
// <calcPr>, the element added where the schema puts it when there is none). False when
// the text has no workbook element to hold it.
bool ask_full_calculation(std::string& workbook);

// The same rewrite of the text alone, in place; nothing is written. On failure the text
// may be partly rewritten. 0; -1; -9.
int rewrite_workbook_text(std::string& text, const StoredSettings& s, Direction direction);

// Masking: puts image in as "docProps/thumbnail.jpeg" in place of the thumbnail of any
// kind (JPEG, WMF, EMF, PNG, ...), with its relationship in "_rels/.rels" and content
// type in "[Content_Types].xml". Unmasking: removes the thumbnail and its relationship; with
// `kept_extensions` (the caller puts back "docProps/thumbnail.<ext>" from the backup of
// each, in sorted order) every extension keeps a content type and the relationship stays,
// pointed at the last one, which masking had pointed at the striped JPEG.
// 0; -1 a part missing or unreadable, a malformed element; -2 out of
// memory; -9 limit; -101 / -103 stream failures.
int replace_thumbnail(MfileRegistry& reg, const std::vector<std::string>& entries,
                      std::span<const std::uint8_t> image, Direction direction,
                      std::span<const std::string> kept_extensions = {});

// Inserts a relationship before "</Relationships>": `head` is its text up to the number
// of its Id (ending in Id="rId), which takes the next free number after the largest in
// use. 0; -1 no closing tag or an unclosed Id; -9 an Id longer than 8000 characters.
int insert_relationship(std::string& rels, std::string_view head);

// The built-in striped thumbnail: a baseline JPEG of 200 x 200 pixels.
std::span<const std::uint8_t> striped_thumbnail_jpeg();

}  // namespace hsc
