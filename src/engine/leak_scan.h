#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/mask_report.h"

// The leak scan: after masking, the original texts of the masked strings are looked for
// everywhere else in the package. Pure functions over (part name, bytes) pairs; no I/O.
namespace hsc {

// Texts shorter than this (in characters) are not looked for: one letter or one kanji
// stands in too many places by chance.
inline constexpr std::size_t LEAK_MIN_CHARS = 2;

// The text an XML run stands for: entity and character references and the _xHHHH_
// escapes of the workbook format decoded. Anything malformed stays as it is written.
std::string decode_xml_text(std::string_view raw);

// The set of masked texts, decoded and trimmed of surrounding whitespace. Texts of
// fewer than LEAK_MIN_CHARS characters and plain numbers ("12", "-3.5") are not kept:
// numbers stand in every part as sizes, counts and positions.
class MaskedTexts {
public:
    MaskedTexts() = default;
    // Moving hands over the blocks; the moved-from set is empty and starts a block of its own.
    MaskedTexts(MaskedTexts&& other) noexcept { *this = std::move(other); }
    MaskedTexts& operator=(MaskedTexts&& other) noexcept;
    // The raw (XML-escaped) text of a masked run or item; true when it was kept. `owners`
    // says whose text it is (bits of the report's columns, see column_bit); a text added
    // again gains the new owners.
    bool add_raw(std::string_view xml_text, std::uint64_t owners = 0);
    // A text already decoded; true when it was kept.
    bool add(std::string_view text, std::uint64_t owners = 0);
    // Whether a decoded, trimmed text is one of the set. Cheap for texts whose length no
    // member has.
    bool contains(std::string_view text) const { return owners_of(text).has_value(); }
    // The owners of a decoded, trimmed text of the set; nothing when it is no member.
    std::optional<std::uint64_t> owners_of(std::string_view text) const;
    std::size_t size() const { return count_; }
    // Room for `n` texts, so that adding them never rehashes.
    void reserve(std::size_t n);
    // Bytes of the shortest text of the set (the largest size_t when it is empty).
    std::size_t shortest() const { return shortest_; }
    bool empty() const { return count_ == 0; }

private:
    // One place of the table: a text and its hash; `data` null when the place is free.
    struct Slot {
        std::size_t hash = 0;
        const char* data = nullptr;
        std::size_t size = 0;
        std::uint64_t owners = 0;
    };
    // A few bits of a text that a lookup checks before it hashes the whole text: most
    // values of a part are no member, and this table stays in the first-level cache.
    static std::size_t filter_slot(std::string_view s) noexcept;
    std::string_view keep(std::string_view text);
    // The place of `text` (hash `hash`) in the table, or the free place where it would go.
    std::size_t place(std::string_view text, std::size_t hash) const noexcept;
    // The table with room for `texts` at most half full, every text in its place anew.
    void rehash(std::size_t texts);

    // The texts live in large blocks, not one allocation each: the set is as large as the
    // masked part of the table.
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* block_next_ = nullptr;
    std::size_t block_left_ = 0;
    // Open addressing with linear probing: one look at memory for most lookups, no
    // allocation for each text. The size is a power of two, never more than half full.
    std::vector<Slot> table_;
    std::size_t count_ = 0;
    std::bitset<1u << 16> filter_;
    std::size_t shortest_ = static_cast<std::size_t>(-1);
    std::size_t longest_ = 0;
};

// True for the texts the set never keeps (too short, a plain number); trims first.
bool too_plain_to_look_for(std::string_view decoded);

// The texts of the shared-string items that masking changes, added to a set one item at
// a time: the item's visible text and its phonetic reading.
class MaskedItemTexts {
public:
    // `prefix`: the element prefix of the table ("" or "x:").
    MaskedItemTexts(std::string_view prefix, MaskedTexts& texts) : prefix_(prefix), texts_(texts) {}
    // `item`: the content of one <si> element, as it was before masking; `owners` as for
    // MaskedTexts::add.
    void add(std::string_view item, std::uint64_t owners = 0);

private:
    std::string prefix_;
    MaskedTexts& texts_;
    std::string visible_, phonetic_;
};

// What masking changed in the shared-string table: item k of `masked` is compared with
// item k of `original`; each one that differs adds its text (and its phonetic reading)
// from `original` to `texts`. The number of items that differ.
std::size_t collect_masked_items(std::string_view original, std::string_view masked, MaskedTexts& texts);

// The same for a drawing part, run by run (<a:t> elements). The number of runs that differ.
std::size_t collect_masked_runs(std::string_view original, std::string_view masked, MaskedTexts& texts);

struct PartBytes {
    std::string_view name;
    std::string_view bytes;
};

// Looks for the texts in one part: every text node and attribute value, in one forward
// pass; a part that is not XML (pictures, binaries, backups) is skipped. Findings are
// added to `findings`, one per kind of this part.
void scan_part(std::string_view name, std::string_view bytes, const MaskedTexts& texts,
               std::vector<LeakFinding>& findings);

// scan_part over every part, in the order given.
std::vector<LeakFinding> scan_for_leaks(std::span<const PartBytes> parts, const MaskedTexts& texts);

}  // namespace hsc
