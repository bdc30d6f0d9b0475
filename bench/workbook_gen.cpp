#include "workbook_gen.h"

#include <algorithm>
#include <array>
#include <random>

#include "stream/mfile.h"
#include "package/zip_package.h"

#include <minizip/zip.h>
#include <zlib.h>

namespace hsc::bench {
namespace {

constexpr std::array FAMILY = {"田中", "佐藤", "鈴木", "高橋", "渡辺", "伊藤", "山本", "中村", "小林", "加藤"};
constexpr std::array GIVEN = {"太郎", "花子", "一郎", "美咲", "健太", "さくら", "ユウキ", "翔"};
constexpr std::array CITY = {"東京都港区芝公園", "大阪府大阪市北区梅田", "愛知県名古屋市中村区名駅",
                             "福岡県福岡市博多区博多駅前", "北海道札幌市中央区北一条西"};
constexpr std::array LATIN = {"Tanaka", "Sato", "Suzuki", "Takahashi", "Watanabe", "Ito", "Yamamoto"};

const char* XML_HEAD = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char* MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// One shared-string item; the forms cycle so that every masking path is taken.
std::string item(std::size_t i, std::mt19937& rng) {
    auto pick = [&](const auto& list) { return std::string(list[rng() % list.size()]); };
    auto num = [&](unsigned mod) { return std::to_string(rng() % mod); };
    switch (i % 5) {
        case 0: return "<si><t>" + pick(FAMILY) + " " + pick(GIVEN) + "</t></si>";
        case 1: return "<si><t>" + pick(CITY) + num(9) + "-" + num(30) + "-" + num(20) + "</t></si>";
        case 2:
            return "<si><t>" + pick(LATIN) + " &amp; Co. &lt;" + pick(LATIN) + num(1000) +
                   "@example.jp&gt; TEL 03-" + num(10000) + "-" + num(10000) + "</t></si>";
        case 3:
            return "<si><t xml:space=\"preserve\"> " + pick(FAMILY) + pick(GIVEN) + " 様 (" + pick(LATIN) + ") </t></si>";
        default:
            return "<si><r><rPr><b/><sz val=\"11\"/></rPr><t>" + pick(FAMILY) + "</t></r><r><t xml:space=\"preserve\"> " +
                   pick(CITY) + " 〒" + num(1000) + "-" + num(10000) + "</t></r><phoneticPr fontId=\"1\"/></si>";
    }
}

std::string shared_strings_part(std::size_t count) {
    std::mt19937 rng(20261210);
    std::string text = XML_HEAD;
    text += "<sst xmlns=\"" + std::string(MAIN_NS) + "\" count=\"" + std::to_string(count) + "\" uniqueCount=\"" +
            std::to_string(count) + "\">";
    for (std::size_t i = 0; i < count; ++i) text += item(i, rng);
    return text + "</sst>";
}

// Rows of string cells A, B, D (indices first .. last-1, three per row) and a number in C.
std::string worksheet_part(std::size_t first, std::size_t last) {
    std::string text = XML_HEAD;
    text += "<worksheet xmlns=\"" + std::string(MAIN_NS) +
            "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
            "<dimension ref=\"A1:D1\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
            "<cols><col min=\"1\" max=\"4\" width=\"20\" customWidth=\"1\"/></cols><sheetData>";
    std::size_t row = 1;
    for (std::size_t i = first; i < last; ++row) {
        const std::string r = std::to_string(row);
        text += "<row r=\"" + r + "\" spans=\"1:4\">";
        for (const char* col : {"A", "B", "C", "D"}) {
            if (col[0] == 'C') {
                text += "<c r=\"C" + r + "\" s=\"1\"><v>" + std::to_string(row * 37) + "</v></c>";
            } else if (i < last) {
                text += "<c r=\"" + std::string(col) + r + "\" t=\"s\"><v>" + std::to_string(i++) + "</v></c>";
            }
        }
        text += "</row>";
    }
    text += "</sheetData>";
    return text + "<drawing r:id=\"rId1\"/></worksheet>";
}

std::string drawing_part(std::size_t shapes, std::size_t k) {
    std::string text = XML_HEAD;
    text += "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
            "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\">";
    for (std::size_t i = 0; i < shapes; ++i)
        text += "<xdr:twoCellAnchor><xdr:sp><xdr:txBody><a:bodyPr/><a:p><a:r><a:rPr lang=\"ja-JP\"/><a:t>図形" +
                std::to_string(k) + "-" + std::to_string(i) +
                " 担当: 山田 Yamada TEL 090-1234-5678</a:t></a:r><a:tab/><a:r><a:t xml:space=\"preserve\"> 備考 "
                "Note </a:t></a:r></a:p></xdr:txBody></xdr:sp><xdr:clientData/></xdr:twoCellAnchor>";
    return text + "</xdr:wsDr>";
}

}  // namespace

PackageEntries make_workbook(const WorkbookShape& shape) {
    PackageEntries e;
    std::string types = std::string(XML_HEAD) +
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                        "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                        "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                        "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    for (std::size_t k = 1; k <= shape.drawings; ++k)
        types += "<Override PartName=\"/xl/drawings/drawing" + std::to_string(k) +
                 ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>";
    types += "</Types>";
    e.emplace_back("[Content_Types].xml", types);
    e.emplace_back("_rels/.rels",
                   std::string(XML_HEAD) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
                       "</Relationships>");
    e.emplace_back("xl/workbook.xml",
                   std::string(XML_HEAD) + "<workbook xmlns=\"" + MAIN_NS +
                       "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                       "<workbookPr defaultThemeVersion=\"124226\"/><sheets>"
                       "<sheet name=\"名簿\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"住所\" sheetId=\"2\" r:id=\"rId2\"/>"
                       "</sheets></workbook>");
    e.emplace_back("xl/_rels/workbook.xml.rels",
                   std::string(XML_HEAD) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                       "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet2.xml\"/>"
                       "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                       "</Relationships>");
    const std::size_t half = shape.shared_strings / 2;
    e.emplace_back("xl/worksheets/sheet1.xml", worksheet_part(0, half));
    e.emplace_back("xl/worksheets/sheet2.xml", worksheet_part(half, shape.shared_strings));
    for (std::size_t k = 1; k <= shape.drawings; ++k)
        e.emplace_back("xl/drawings/drawing" + std::to_string(k) + ".xml", drawing_part(shape.shapes_per_drawing, k));
    e.emplace_back("xl/sharedStrings.xml", shared_strings_part(shape.shared_strings));
    return e;
}

std::size_t shared_strings_bytes(const PackageEntries& entries) {
    for (const auto& [name, bytes] : entries)
        if (name == "xl/sharedStrings.xml") return bytes.size();
    return 0;
}

std::string zip_bytes(const PackageEntries& entries) {
    MfileRegistry reg;
    std::vector<std::string> names;
    for (const auto& [name, bytes] : entries) {
        Mfile* f = mopen(reg, name, "wb");
        if (!f || !mwrite_all(f, bytes)) return {};
        mclose(f);
        names.push_back(name);
    }
    ZipArchiveLocation memory;
    tiv_zip_on_memory(memory, 0);
    if (zip_package(reg, ZIP_MODE_MEMORY, "bench.xlsx", {}, names, memory) != 0) return {};
    Mfile* archive = mopen(reg, "bench.xlsx", "rb");
    const auto data = mdata(archive);
    return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

namespace {

constexpr std::array KANA = {"ア", "イ", "ウ", "エ", "オ", "カ", "キ", "ク", "ケ", "コ", "サ", "シ", "ス", "セ", "ソ",
                             "タ", "チ", "ツ", "テ", "ト", "ナ", "ニ", "ヌ", "ネ", "ノ", "ハ", "ヒ", "フ", "ヘ", "ホ"};

// Text of shared string k of the table, of the kind of column k % 8; numbers and kana
// are drawn at random, so that the text compresses about as well as real records do.
std::string table_text(std::size_t k, std::mt19937& rng) {
    auto pick = [&](const auto& list) { return std::string(list[rng() % list.size()]); };
    auto num = [&](unsigned mod) { return std::to_string(rng() % mod); };
    auto kana = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += pick(KANA);
        return s;
    };
    const bool japanese = rng() % 10 < 7;
    switch (k % 8) {
        case 0: return japanese ? pick(FAMILY) + " " + pick(GIVEN) : pick(LATIN) + " " + pick(LATIN);
        case 1: return japanese ? pick(CITY) + num(9) + "-" + num(40) + "-" + num(30) + " " + kana(3) + "ハイツ" + num(900) + "号"
                                : num(999) + " " + pick(LATIN) + " Street, Apt " + num(90);
        case 2: return japanese ? kana(4) + " " + kana(3) : pick(LATIN) + num(10000) + "@example.jp";
        case 3: return japanese ? "担当" + pick(FAMILY) + " 電話0" + num(90) + "-" + num(10000) + "-" + num(10000)
                                : "TEL 0" + num(90) + "-" + num(10000) + "-" + num(10000);
        case 4: return japanese ? "株式会社" + kana(3) + pick(FAMILY) + "商事" : pick(LATIN) + " Trading Co. " + num(1000);
        case 5: return japanese ? "備考:" + kana(2) + "至急対応 " + num(100000) : "Note " + num(100000);
        case 6: return japanese ? "営業第" + num(30) + "課 " + pick(CITY) : "Sales " + num(30);
        default: return japanese ? "会員" + num(10000000) + kana(2) : "ID-" + num(10000000);
    }
}

// A zip file written one deflated entry at a time.
class ZipFileWriter {
public:
    explicit ZipFileWriter(const std::filesystem::path& path) { zf_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE); }
    ~ZipFileWriter() { close(); }
    bool ok() const { return zf_ && ok_; }
    void begin(const std::string& name) {
        zip_fileinfo zi{};
        ok_ = ok_ && zf_ &&
              zipOpenNewFileInZip64(zf_, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
    }
    void put(const std::string& bytes) {
        ok_ = ok_ && zipWriteInFileInZip(zf_, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
    }
    void end() { ok_ = ok_ && zipCloseFileInZip(zf_) == ZIP_OK; }
    void whole(const std::string& name, const std::string& bytes) {
        begin(name);
        put(bytes);
        end();
    }
    bool close() {
        if (zf_) ok_ = zipClose(zf_, nullptr) == ZIP_OK && ok_;
        zf_ = nullptr;
        return ok_;
    }

private:
    zipFile zf_ = nullptr;
    bool ok_ = true;
};

std::string column_letter(std::size_t c) { return std::string(1, static_cast<char>('A' + c)); }

}  // namespace

bool write_table_workbook(const std::filesystem::path& path, std::size_t rows) {
    constexpr std::size_t COLUMNS = 8;
    constexpr std::size_t FLUSH = 1 << 20;
    // Two strings per row and column slot: each string is used by cells of one column.
    const std::size_t strings = std::max<std::size_t>(COLUMNS, 2 * rows / COLUMNS * COLUMNS);
    ZipFileWriter zip(path);
    zip.whole("[Content_Types].xml",
              std::string(XML_HEAD) +
                  "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                  "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                  "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                  "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                  "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                  "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
                  "</Types>");
    zip.whole("_rels/.rels",
              std::string(XML_HEAD) +
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
                  "</Relationships>");
    zip.whole("xl/workbook.xml",
              std::string(XML_HEAD) + "<workbook xmlns=\"" + MAIN_NS +
                  "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                  "<sheets><sheet name=\"顧客\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    zip.whole("xl/_rels/workbook.xml.rels",
              std::string(XML_HEAD) +
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                  "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
                  "</Relationships>");

    zip.begin("xl/worksheets/sheet1.xml");
    std::string text = std::string(XML_HEAD) + "<worksheet xmlns=\"" + MAIN_NS + "\"><dimension ref=\"A1:H" +
                       std::to_string(rows) + "\"/><sheetData>";
    for (std::size_t r = 0; r < rows; ++r) {
        const std::string row = std::to_string(r + 1);
        text += "<row r=\"" + row + "\" spans=\"1:8\">";
        for (std::size_t c = 0; c < COLUMNS; ++c)
            text += "<c r=\"" + column_letter(c) + row + "\" t=\"s\"><v>" +
                    std::to_string((r * COLUMNS + c) % strings) + "</v></c>";
        text += "</row>";
        if (text.size() >= FLUSH) {
            zip.put(text);
            text.clear();
        }
    }
    zip.put(text + "</sheetData></worksheet>");
    zip.end();

    zip.begin("xl/sharedStrings.xml");
    std::mt19937 rng(20261210);
    text = std::string(XML_HEAD) + "<sst xmlns=\"" + MAIN_NS + "\" count=\"" + std::to_string(rows * COLUMNS) +
           "\" uniqueCount=\"" + std::to_string(strings) + "\">";
    for (std::size_t k = 0; k < strings; ++k) {
        text += "<si><t>" + table_text(k, rng) + "</t></si>";
        if (text.size() >= FLUSH) {
            zip.put(text);
            text.clear();
        }
    }
    zip.put(text + "</sst>");
    zip.end();
    return zip.close();
}

FileContext columns_a_b(Direction direction) {
    FileContext ctx;
    ctx.process_direction = direction;
    ctx.target_column_numbers[0] = 0;
    ctx.target_column_numbers[1] = 1;
    ctx.target_column_count = 2;
    return ctx;
}

}  // namespace hsc::bench
