#pragma once

// Small workbook packages held in a memory-stream registry, for the engine tests.
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/mask_settings.h"
#include "stream/mfile.h"

namespace hsc::test {

// Per-file values for a direction and a list of zero-based target columns.
inline FileContext context(Direction direction, const std::vector<int>& columns = {}) {
    FileContext ctx;
    ctx.process_direction = direction;
    for (std::size_t i = 0; i < columns.size(); ++i) ctx.target_column_numbers[i] = columns[i];
    ctx.target_column_count = static_cast<int>(columns.size());
    return ctx;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

inline void put_stream(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    Mfile* f = mopen(reg, name, "wb");
    if (!f) throw std::runtime_error("cannot create stream " + std::string(name));
    mwrite_all(f, bytes);
    mclose(f);
}

// The bytes of a live stream, or nullopt-like empty with found=false.
inline bool get_stream(const MfileRegistry& reg, std::string_view name, std::string& bytes) {
    for (const auto& f : reg.slots)
        if (f && f->state != MFILE_REMOVED && f->name == name) {
            const auto data = mdata(f.get());
            bytes.assign(reinterpret_cast<const char*>(data.data()), data.size());
            return true;
        }
    return false;
}

inline std::string stream(const MfileRegistry& reg, std::string_view name) {
    std::string bytes;
    if (!get_stream(reg, name, bytes)) throw std::runtime_error("no stream " + std::string(name));
    return bytes;
}

inline bool has_stream(const MfileRegistry& reg, std::string_view name) {
    std::string bytes;
    return get_stream(reg, name, bytes);
}

// Fills the registry and returns the entry names in the given order.
inline std::vector<std::string> load_package(MfileRegistry& reg, const Entries& entries) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : entries) {
        put_stream(reg, name, bytes);
        names.push_back(name);
    }
    return names;
}

inline const char* kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(</Types>)";

inline const char* kRootRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
    R"(</Relationships>)";

inline const char* kWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<workbookPr defaultThemeVersion="124226"/><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)";

inline std::string shared_strings(const std::vector<std::string>& items) {
    std::string text = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                       "\n"
                       R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    for (const auto& item : items) text += "<si><t>" + item + "</t></si>";
    return text + "</sst>";
}

inline std::string worksheet(const std::string& cells) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n"
           R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData><row r="1">)" +
           cells + "</row></sheetData></worksheet>";
}

inline std::string drawing(const std::string& text) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n"
           R"(<xdr:wsDr xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">)"
           R"(<xdr:twoCellAnchor><xdr:sp><xdr:txBody><a:p><a:r><a:t>)" +
           text + "</a:t></a:r></a:p></xdr:txBody></xdr:sp></xdr:twoCellAnchor></xdr:wsDr>";
}

// The parts every package of these tests carries.
inline Entries base_package() {
    return {{"[Content_Types].xml", kContentTypes}, {"_rels/.rels", kRootRels}, {"xl/workbook.xml", kWorkbook}};
}

}  // namespace hsc::test
