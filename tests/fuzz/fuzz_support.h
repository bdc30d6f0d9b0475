#pragma once

// Shared by the fuzz targets: every target reads its input from memory.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "stream/mfile.h"

namespace hsc::fuzz {

// A property a target checks does not hold: stop so that the fuzzer keeps the input.
[[noreturn]] inline void fail() { std::abort(); }
inline void check(bool ok) {
    if (!ok) fail();
}

inline void put(MfileRegistry& reg, std::string_view name, std::string_view bytes) {
    Mfile* f = mopen(reg, name, "wb");
    check(f != nullptr && mwrite_all(f, bytes));
    mclose(f);
}

inline std::string get(MfileRegistry& reg, std::string_view name) {
    Mfile* f = mopen(reg, name, "rb");
    if (!f) return {};
    auto bytes = mdata(f);
    std::string out(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    mclose(f);
    return out;
}

// The first byte of the input as options, the rest as the text.
struct Split {
    std::uint8_t options = 0;
    std::string_view rest;
};
inline Split split_options(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    return {data[0], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

}  // namespace hsc::fuzz
