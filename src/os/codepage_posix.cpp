#include "os/codepage.h"

#include <iconv.h>

namespace hsc::os {
namespace {

// One iconv descriptor per call: conversions run on several threads at once.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Whole-text conversion; false on any character without a form in the target.
    bool convert(std::string_view in, std::string& out) {
        if (!ok()) return false;
        std::string result(in.size() * 4 + 16, '\0');
        char* src = const_cast<char*>(in.data());
        std::size_t src_left = in.size();
        char* dst = result.data();
        std::size_t dst_left = result.size();
        if (::iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) return false;
        if (::iconv(cd_, nullptr, nullptr, &dst, &dst_left) == static_cast<std::size_t>(-1)) return false;
        result.resize(result.size() - dst_left);
        out = std::move(result);
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

bool utf8_to_cp932(std::string_view utf8, std::string& out) {
    Converter c("CP932", "UTF-8");
    return c.convert(utf8, out);
}

bool cp932_to_utf8(std::string_view cp932, std::string& out) {
    Converter c("UTF-8", "CP932");
    return c.convert(cp932, out);
}

}  // namespace hsc::os
