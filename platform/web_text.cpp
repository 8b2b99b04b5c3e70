// Code page 932 to UTF-8 in the WebAssembly build, whose C library has no
// code page 932 converter: the project's own table, as the language server
// uses.
#include "oxls/cp932.hpp"
#include "platform/platform.hpp"

namespace oxbuild::platform {

std::string cp932_to_utf8(std::string_view text) { return oxls::cp932_to_utf8(text); }

}  // namespace oxbuild::platform
