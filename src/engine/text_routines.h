#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Small routines over byte texts shared by the masking engine. None keeps state.
namespace hsc {

// White space between XML tags and attributes.
inline bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Selectors of the multi-byte character rules.
inline constexpr int ENC_SJIS = 1;
inline constexpr int ENC_EUC = 2;
inline constexpr int ENC_UTF8 = 3;
inline constexpr int ENC_UTF16 = 4;

// Longest item split_next_item hands back.
inline constexpr std::size_t ITEM_MAX = 4000;

// Next non-empty item of a comma-separated text, starting at `offset`. 0 item returned
// (offset left on the comma that ended it, or at the end); 1403 no further item; -9 an
// item longer than 4000 bytes. A comma inside a multi-byte character never splits, and
// one ';' at the very end of the last item is dropped.
int split_next_item(int mode, std::string_view text, std::size_t& offset, std::string& item);

// A cell reference such as B12, $B$12 or AB7 to zero-based row and column.
// 0, or -1 with both set to 0.
int parse_cell_ref(std::string_view ref, int& row, int& column);

// 0 when the text is a decimal number (digits, any commas, at most one '.', a leading
// sign, at least one digit), -1 otherwise.
int is_numeric_text(std::string_view text);

// Upper-cases a-z outside single- or double-quoted sections, in place. -1 when a
// quoted section is still open at the end.
int upper_ascii_unquoted(int mode, std::string& text);

// Number of further bytes of the character that `byte` begins (0 for a single-byte
// character); `position` is advanced by that number.
int mb_extra_bytes(int mode, unsigned char byte, std::size_t& position);

// Natural order of package entry names: drawing2.xml before drawing10.xml when stem and
// extension agree; plain byte order otherwise. Negative, 0 or positive.
int compare_entry_names(std::string_view a, std::string_view b);

// The namespace prefix of an XML part's root element, with its colon ("x:" for
// <x:sst ...>), or empty when the root element has none. Parts written with a prefix use
// it on every element of the main namespace.
std::string_view root_element_prefix(std::string_view xml);

// The '>' that ends a start tag whose attributes begin at `from`, stepping over quoted
// values (which may hold '>'); npos when there is none, or, with `stop_at_lt`, when a
// '<' outside quotes comes first.
std::size_t start_tag_end(std::string_view text, std::size_t from, bool stop_at_lt = false);

// One element found by next_element: its start tag at `begin`, its content in
// [inner_begin, inner_end) (empty for "<si/>"), and `end` just after its end tag; when
// the end tag is missing (`closed` false) the content runs to the end of the range.
struct ElementAt {
    std::size_t begin = 0, inner_begin = 0, inner_end = 0, end = 0;
    bool closed = true;
};

// The next element `<name ...>...</name>` at or after `from` and before `to`, where
// `name` is the qualified name ("si", "x:si"): the name must be followed by whitespace,
// '>' or "/>", so <si>, <si/>, <si attr="..."> all count and <sid> does not. Quoted
// attribute values may hold '>'. false when there is none.
bool next_element(std::string_view text, std::string_view name, std::size_t from, std::size_t to, ElementAt& at);

// Appends the UTF-8 form of code point `c`; nothing for 0 or a value past U+10FFFF.
void append_utf8(std::string& out, char32_t c);

// A name taken from a package (sheet, part, table) as it may be shown: control
// characters (C0, DEL and the C1 range U+0080-U+009F) would reach a terminal as
// commands, so each becomes '?'.
std::string printable(std::string_view name);

// Sorts entry names by compare_entry_names, stably and safely for any set of names.
void sort_entry_names(std::vector<std::string>& names);

}  // namespace hsc
