#include "driver/text_encoding.hpp"

#include <cerrno>
#include <iconv.h>

namespace oxbuild {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

class Converter {
public:
    Converter() : cd_(iconv_open("UTF-8", "CP932")) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::string convert(std::string_view text) {
        std::string out;
        char buffer[256];
        char* in = const_cast<char*>(text.data());
        std::size_t in_left = text.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (in_left > 0) {
            char* dst = buffer;
            std::size_t dst_left = sizeof buffer;
            const std::size_t r = iconv(cd_, &in, &in_left, &dst, &dst_left);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
            // An invalid or incomplete sequence: replace one byte and go on.
            out += kReplacement;
            ++in;
            --in_left;
        }
        return out;
    }

private:
    iconv_t cd_;
};

// Without a converter on the machine: ASCII passes, other bytes are replaced.
std::string ascii_only(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) < 0x80) out += ch;
        else out += kReplacement;
    }
    return out;
}

}  // namespace

std::string cp932_to_utf8(std::string_view text) {
    static Converter converter;
    return converter.valid() ? converter.convert(text) : ascii_only(text);
}

}  // namespace oxbuild
