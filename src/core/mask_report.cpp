#include "core/mask_report.h"

#include <algorithm>

namespace hsc {

std::string_view leak_kind_name(LeakKind kind) {
    switch (kind) {
        case LeakKind::shared_strings: return "shared-strings";
        case LeakKind::inline_strings: return "inline-strings";
        case LeakKind::formula_results: return "formula-results";
        case LeakKind::formulas: return "formulas";
        case LeakKind::comments: return "comments";
        case LeakKind::vml: return "vml";
        case LeakKind::shapes: return "shapes";
        case LeakKind::charts: return "charts";
        case LeakKind::pivot_cache: return "pivot-cache";
        case LeakKind::pivot_table: return "pivot-table";
        case LeakKind::doc_properties: return "doc-properties";
        case LeakKind::headers_footers: return "headers-footers";
        case LeakKind::defined_names: return "defined-names";
        case LeakKind::sheet_names: return "sheet-names";
        case LeakKind::hyperlinks: return "hyperlinks";
        case LeakKind::data_validation: return "data-validation";
        case LeakKind::filters: return "filters";
        case LeakKind::scenarios: return "scenarios";
        case LeakKind::external_links: return "external-links";
        case LeakKind::custom_xml: return "custom-xml";
        case LeakKind::other: break;
    }
    return "other";
}

std::vector<ReportWarning> report_warnings(const MaskReport& report) {
    std::vector<ReportWarning> warnings;
    if (!report.produced) return warnings;
    if (report.nothing_masked()) warnings.push_back({std::string(WARNING_NOTHING_MASKED), {}, {}});
    if (report.unmasked_items > 0)
        warnings.push_back({std::string(WARNING_UNMASKED_STRINGS), {"xl/sharedStrings.xml"}, {}});
    if (report.inline_cells_left > 0) warnings.push_back({std::string(WARNING_UNMASKED_INLINE_STRINGS), {}, {}});
    if (report.values.left > 0) warnings.push_back({std::string(WARNING_UNMASKED_VALUES), report.values_left_parts, {}});
    warnings.insert(warnings.end(), report.column_warnings.begin(), report.column_warnings.end());
    for (const LeakFinding& f : report.leaks) {
        const std::string kind(leak_kind_name(f.kind));
        auto it = warnings.begin();
        while (it != warnings.end() && it->kind != kind) ++it;
        if (it == warnings.end()) {
            warnings.push_back({kind, {}, {}});
            it = warnings.end() - 1;
        }
        if (std::find(it->parts.begin(), it->parts.end(), f.part) == it->parts.end()) it->parts.push_back(f.part);
    }
    return warnings;
}

}  // namespace hsc
