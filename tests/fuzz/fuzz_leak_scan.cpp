// Any byte string as a shared-string table that is masked, and as a part that is
// scanned for the masked texts: the scan never reads outside the part, decoding never
// grows a text, and a masked text placed as a whole text node of a part is found there.

#include <cstdint>
#include <string>
#include <vector>

#include "core/mask_settings.h"
#include "engine/leak_scan.h"
#include "engine/text_mask.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hsc;
    const auto [options, xml] = fuzz::split_options(data, size);
    static constexpr const char* PARTS[] = {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml", "xl/workbook.xml",
                                            "xl/comments1.xml",     "xl/charts/chart1.xml",     "docProps/core.xml",
                                            "xl/worksheets/_rels/sheet1.xml.rels", "xl/media/image1.png"};
    const char* name = PARTS[options % std::size(PARTS)];

    fuzz::check(decode_xml_text(xml).size() <= xml.size());

    MaskSettings s;
    std::string masked(xml);
    mask_shared_strings_text(masked, {}, 0, s);
    MaskedTexts texts;
    collect_masked_items(xml, masked, texts);

    std::vector<LeakFinding> findings;
    scan_part(name, xml, texts, findings);
    std::size_t total = 0;
    for (const LeakFinding& f : findings) {
        fuzz::check(f.part == name && f.count > 0);
        total += f.count;
    }
    fuzz::check(total <= xml.size());

    // The input's own text, when the set keeps it, is found as a text node of a part.
    const std::string plain = decode_xml_text(xml);
    MaskedTexts one;
    if (plain.find_first_of("<&") == std::string::npos && plain.find("_x") == std::string::npos && one.add(plain)) {
        std::vector<LeakFinding> found;
        scan_part("docProps/core.xml", "<p>" + plain + "</p>", one, found);
        fuzz::check(found.size() == 1 && found[0].kind == LeakKind::doc_properties);
    }
    return 0;
}
