// Any byte string as _rels/.rels, through the thumbnail replacement in either direction,
// with each kind of thumbnail the package may already hold.

#include <cstdint>
#include <string>
#include <vector>

#include "core/mask_settings.h"
#include "core/status.h"
#include "engine/workbook_part.h"
#include "fuzz_support.h"

namespace {

[[maybe_unused]] constexpr const char* CONTENT_TYPES =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Default Extension=\"wmf\" ContentType=\"image/x-wmf\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>";
[[maybe_unused]] constexpr const char* ROOT_RELS =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "thumbnail\" Target=\"docProps/thumbnail.wmf\"/>"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, xml] = fuzz::split_options(data, size);
    const int direction = options & 1 ? DIRECTION_UNMASK : DIRECTION_MASK;
    static const char* const thumbnails[] = {nullptr, "docProps/thumbnail.jpeg", "docProps/thumbnail.wmf",
                                             "docProps/thumbnail.emf", "docProps/thumbnail.png"};
    const char* thumbnail = thumbnails[(options >> 1) % 5];

    MfileRegistry reg;
    std::vector<std::string> entries{"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml"};
    fuzz::put(reg, "_rels/.rels", xml);
    fuzz::put(reg, "[Content_Types].xml", CONTENT_TYPES);
    fuzz::put(reg, "xl/workbook.xml", "<workbook/>");
    if (thumbnail) {
        entries.push_back(thumbnail);
        fuzz::put(reg, thumbnail, "old picture");
    }
    const int rc = replace_thumbnail(reg, entries, striped_thumbnail_jpeg(), direction);
    if (rc == RC_OK && direction == DIRECTION_MASK) {
        const std::string jpeg = fuzz::get(reg, "docProps/thumbnail.jpeg");
        const auto image = striped_thumbnail_jpeg();
        fuzz::check(jpeg == std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    }
    if (rc == RC_OK && direction == DIRECTION_UNMASK) fuzz::check(msize(reg, "docProps/thumbnail.jpeg") == 0);
    return 0;
}
