#pragma once

// The thumbnail replacement over a fuzzed content-types or relationships part.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/mask_settings.h"
#include "core/status.h"
#include "engine/workbook_part.h"
#include "fuzz_support.h"

namespace hsc::fuzz {

inline constexpr const char* CONTENT_TYPES =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Default Extension=\"wmf\" ContentType=\"image/x-wmf\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>";
inline constexpr const char* ROOT_RELS =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "thumbnail\" Target=\"docProps/thumbnail.wmf\"/>"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";

// Any byte string as one of the two parts the thumbnail replacement rewrites (the other
// part is a fixed, valid one), in either direction, with each kind of thumbnail the
// package may already hold.
inline int fuzz_thumbnail_part(bool fuzz_content_types, const std::uint8_t* data, std::size_t size) {
    const auto [options, xml] = split_options(data, size);
    const Direction direction = options & 1 ? Direction::unmask : Direction::mask;
    static const char* const thumbnails[] = {nullptr, "docProps/thumbnail.jpeg", "docProps/thumbnail.wmf",
                                             "docProps/thumbnail.emf", "docProps/thumbnail.png"};
    const char* thumbnail = thumbnails[(options >> 1) % 5];

    MfileRegistry reg;
    std::vector<std::string> entries{"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml"};
    put(reg, "[Content_Types].xml", fuzz_content_types ? xml : std::string_view(CONTENT_TYPES));
    put(reg, "_rels/.rels", fuzz_content_types ? std::string_view(ROOT_RELS) : xml);
    put(reg, "xl/workbook.xml", "<workbook/>");
    if (thumbnail) {
        entries.push_back(thumbnail);
        put(reg, thumbnail, "old picture");
    }
    const int rc = replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), direction);
    if (rc == RC_OK && direction == Direction::mask) {
        const std::string jpeg = get(reg, "docProps/thumbnail.jpeg");
        const auto image = striped_thumbnail_jpeg();
        check(jpeg == std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    }
    if (rc == RC_OK && direction == Direction::unmask) check(msize(reg, "docProps/thumbnail.jpeg") == 0);
    return 0;
}

}  // namespace hsc::fuzz
