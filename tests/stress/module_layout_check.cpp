#include "stress/module_layout_check.hpp"

#include <array>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string_view>

#include "format/bytecode.hpp"
#include "format/module_format.hpp"
#include "symbols/host_tables.hpp"

namespace oxtest {

namespace {

using namespace oxbuild;
using Bytes = std::vector<unsigned char>;
using Offset = std::uint64_t;

class Broken : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void broken(const std::string& what, Offset at) {
    throw Broken(what + " at offset " + std::to_string(at));
}

void require(bool ok, const std::string& what, Offset at) {
    if (!ok) broken(what, at);
}

// Bounds-checked little-endian reads from a position that moves on, never
// past a limit (the end of the area being read).
class Cursor {
public:
    Cursor(const Bytes& bytes, Offset at, Offset limit) : bytes_(bytes), at_(at), limit_(limit) {
        require(at <= limit && limit <= bytes.size(), "area outside the module", at);
    }
    Offset at() const { return at_; }
    Offset limit() const { return limit_; }
    bool done() const { return at_ == limit_; }
    void seek(Offset at) {
        require(at <= limit_, "offset past its area", at);
        at_ = at;
    }
    std::uint8_t byte() {
        need(1);
        return bytes_[at_++];
    }
    std::uint16_t word() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | (static_cast<std::uint32_t>(word()) << 16);
    }
    void expect_dword(std::uint32_t expected, const char* what) {
        const Offset here = at_;
        const std::uint32_t value = dword();
        require(value == expected, std::string(what) + " is " + std::to_string(value) + ", expected " +
                                       std::to_string(expected), here);
    }

private:
    void need(Offset n) const {
        if (at_ + n > limit_) broken("read past the end of its area", at_);
    }
    const Bytes& bytes_;
    Offset at_;
    Offset limit_;
};

std::uint32_t dword_at(const Bytes& b, Offset at) {
    Cursor c(b, at, b.size());
    return c.dword();
}

struct Function {
    Offset entry = 0;
    std::array<std::uint32_t, kTypeClassCount> locals{};
    std::vector<TypeCode> parameters;
};

struct Layout {
    Offset code_base = 0;
    Offset bitmap_section = 0;
    Offset wave_section = 0;
    Offset menu_section = 0;
    std::array<std::uint32_t, 3> globals{};
    std::vector<Function> functions;
};

constexpr std::uint32_t kNoHandler = 0xFFFFFFFF;
constexpr std::uint32_t kMaxMenuId = 100;
constexpr std::size_t kItemTextMax = 256;
constexpr std::size_t kPopupTextMax = 255;
constexpr std::uint16_t kEightBits = 8;

// Magic, format number, text fields (zero-filled, at least two zeros at the
// end of each) and the fixed and reserved fields.
void check_header(const Bytes& b, Layout& layout) {
    require(b.size() >= format::kHeaderSize, "module shorter than its header", 0);
    require(std::string_view(reinterpret_cast<const char*>(b.data()), 4) == format::kMagic, "bad magic", 0);
    Cursor c(b, format::kFormatOffset, b.size());
    c.expect_dword(format::kFormatNumber, "format number");
    for (std::size_t i = 0; i < std::size(format::kTextFieldOffsets); ++i) {
        const Offset field = format::kTextFieldOffsets[i];
        Offset zero = field;
        while (zero < field + format::kTextFieldWidths[i] && b[zero] != 0) ++zero;
        require(zero - field <= format::kTextFieldLimits[i], "text field longer than its limit", field);
        for (Offset at = zero; at < field + format::kTextFieldWidths[i]; ++at)
            require(b[at] == 0, "text field not zero-filled", at);
    }
    c.seek(format::kFunctionTableOffsetField);
    c.expect_dword(format::kHeaderSize, "function table offset");
    layout.bitmap_section = c.dword();
    c.dword();  // event handler table offset, checked with the function table
    layout.wave_section = c.dword();
    c.expect_dword(0, "reserved field");
    layout.menu_section = c.dword();
    for (std::size_t i = 0; i < format::kTrailingReservedDwords; ++i) c.expect_dword(0, "reserved field");
    require(layout.bitmap_section <= layout.wave_section && layout.wave_section <= layout.menu_section &&
                layout.menu_section <= b.size(),
            "section offsets out of order or past the end", format::kBitmapSectionField);
}

void check_handler(std::uint32_t handler, std::size_t functions, Offset at) {
    require(handler == kNoHandler || handler < functions, "handler field names no user function", at);
}

// One descriptor at R: entry, six local counts, n, n pointers, n parameter
// descriptors whose named slots count up per type class.
Function read_descriptor(const Bytes& b, Offset at) {
    Cursor c(b, at, b.size());
    Function f;
    f.entry = c.dword();
    for (auto& count : f.locals) count = c.dword();
    const std::uint32_t n = c.dword();
    require(n <= 256, "more than 256 parameters", at + format::kDescriptorParameterCount);
    const Offset first = at + format::kDescriptorFixedSize + 4 * Offset{n};
    for (std::uint32_t k = 0; k < n; ++k) c.expect_dword(static_cast<std::uint32_t>(first + 4 * k), "parameter pointer");
    std::array<std::uint32_t, kTypeClassCount> named{};
    for (std::uint32_t k = 0; k < n; ++k) {
        const Offset here = c.at();
        const std::uint16_t type_word = c.word();
        const std::uint16_t slot = c.word();
        const int type_class = (type_word & 0xFF00) == LOCAL_FLAG ? type_class_index(type_word & 0xFF) : -1;
        require(type_class >= 0, "bad parameter type word", here);
        f.parameters.push_back(static_cast<TypeCode>(type_word & 0xFF));
        if (slot == UNNAMED_PARAMETER_SLOT) continue;
        auto& next = named[static_cast<std::size_t>(type_class)];
        require(slot == next, "parameter slot out of sequence", here);
        require(slot < f.locals[static_cast<std::size_t>(type_class)], "parameter slot beyond the local count", here);
        ++next;
    }
    return f;
}

// Function table, event handler table and descriptors; fixes the code base.
void check_function_tables(const Bytes& b, Layout& layout) {
    const std::uint32_t count = dword_at(b, format::kFunctionCountField);
    const Offset event_table = format::kDescriptorOffsetsField + 4 * Offset{count};
    require(event_table + format::kEventTableHeadSize <= b.size(), "function count past the end", format::kFunctionCountField);
    require(dword_at(b, format::kEventTableField) == event_table, "event handler table offset", format::kEventTableField);
    for (std::size_t i = 0; i < kFixedHandlerEvents; ++i)
        check_handler(dword_at(b, format::kLoadHandlerField + 4 * i), count, format::kLoadHandlerField + 4 * i);
    for (std::size_t i = 0; i < layout.globals.size(); ++i) layout.globals[i] = dword_at(b, format::kGlobalCountFields + 4 * i);

    Cursor events_cursor(b, event_table, b.size());
    const std::uint32_t entries = events_cursor.dword();
    require(entries == events().size() - kFixedHandlerEvents, "event handler count", event_table);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const Offset here = events_cursor.at();
        const std::uint32_t handler = events_cursor.dword();
        check_handler(handler, count, here);
        // The first entry's event has a blank for a name; nothing matches it.
        if (i == 0) require(handler == kNoHandler, "the blank event has a handler", here);
    }

    Offset descriptor = events_cursor.at();
    for (std::uint32_t f = 0; f < count; ++f) {
        const Offset pointer = format::kDescriptorOffsetsField + 4 * Offset{f};
        require(dword_at(b, pointer) == descriptor, "descriptor offset", pointer);
        layout.functions.push_back(read_descriptor(b, descriptor));
        descriptor += format::kDescriptorFixedSize + format::kDescriptorPerParameter * layout.functions.back().parameters.size();
    }
    layout.code_base = descriptor;
    require(layout.code_base <= layout.bitmap_section, "code base beyond the bitmap section", format::kBitmapSectionField);
    require((layout.bitmap_section - layout.code_base) % 2 == 0, "odd code size", format::kBitmapSectionField);
}

// Walks the code area instruction by instruction, checking every operand,
// and then that every code address lands on an instruction start.
class CodeWalker {
public:
    CodeWalker(const Bytes& b, const Layout& layout)
        : layout_(layout),
          c_(b, layout.code_base, layout.bitmap_section),
          starts_((layout.bitmap_section - layout.code_base) / 2, false) {}

    void walk() {
        while (!c_.done()) instruction();
        for (const auto& [target, at] : targets_) require(is_start(target), "code address on no instruction start", at);
        Offset previous = 0;
        for (const Function& f : layout_.functions) {
            require(is_start(f.entry), "function entry on no instruction start", f.entry);
            require(f.entry > previous || previous == 0, "function entries out of order", f.entry);
            previous = f.entry;
        }
    }

private:
    enum class Want { number, str };

    bool is_start(Offset target) const {
        if (target < layout_.code_base || target >= layout_.bitmap_section) return false;
        const Offset relative = target - layout_.code_base;
        return relative % 2 == 0 && starts_[relative / 2];
    }

    void instruction() {
        const Offset here = c_.at();
        starts_[(here - layout_.code_base) / 2] = true;
        // The code belongs to the last function whose entry is not after it
        // (kNoFunction + 1 wraps to the first function).
        while (function_ + 1 < layout_.functions.size() && layout_.functions[function_ + 1].entry <= here)
            ++function_;
        switch (c_.word()) {
            case OP_ASSIGN: reference(Want::number); expression(); break;
            case OP_JUMP: address(); break;
            case OP_JUMP_IF_FALSE: expression(); address(); break;
            case OP_CALL: call(); break;
            case OP_RETURN: break;
            default: broken("unknown opcode", here);
        }
    }

    void address() {
        const Offset here = c_.at();
        targets_.emplace_back(c_.dword(), here);
    }

    // Type word and index word: a global of a counted slot, or a local of
    // the function the code belongs to.
    void reference(Want want) {
        const Offset here = c_.at();
        const std::uint16_t type_word = c_.word();
        const std::uint16_t index = c_.word();
        const auto code = static_cast<TypeCode>(type_word & 0xFF);
        const int type_class = type_class_index(code);
        require(type_class >= 0 && (type_word & 0xFE00) == 0, "bad type word", here);
        require(is_str_type(code) == (want == Want::str), "variable of the wrong type", here);
        if (type_word & LOCAL_FLAG) {
            require(function_ != kNoFunction, "local variable outside every function", here);
            require(index < layout_.functions[function_].locals[static_cast<std::size_t>(type_class)],
                    "local slot beyond the function's count", here);
        } else {
            require(!(code & TYPE_BY_REFERENCE), "global by reference", here);
            require(index < layout_.globals[static_cast<std::size_t>(type_class)], "global slot beyond the count", here);
        }
    }

    // operand := [prefix] [#prefix] ( '(' expression ')' | VAR ref | CONST dword )
    // expression := operand { binary operand } EXPR_END
    void expression() {
        int open = 0;
        while (true) {
            operand(open);
            while (true) {
                const Offset here = c_.at();
                const std::uint16_t token = c_.word();
                if (token == EXPR_END) {
                    require(open == 0, "expression ends inside parentheses", here);
                    return;
                }
                if (token == EXPR_RPAREN) {
                    require(open-- > 0, "unbalanced ')'", here);
                    continue;
                }
                require(is_binary_operator(token), "expected an operator", here);
                break;
            }
        }
    }

    // Reads prefixes and opening parentheses up to a value.
    void operand(int& open) {
        while (true) {
            const Offset here = c_.at();
            std::uint16_t token = c_.word();
            if (precedence_class(token) == 3 && (token & 0xF) <= 3) token = c_.word();
            if (token == OP_HASH_MINUS || token == OP_HASH_PLUS) token = c_.word();
            if (token == EXPR_LPAREN) {
                ++open;
                continue;
            }
            if (token == EXPR_VAR) return reference(Want::number);
            if (token == EXPR_CONST) {
                c_.dword();
                return;
            }
            broken("expected an operand", here);
        }
    }

    static bool is_binary_operator(std::uint16_t token) {
        static const std::set<std::uint16_t> kBinary = {OP_MUL, OP_DIV, OP_MOD, OP_ADD, OP_SUB, OP_SHL, OP_SHR,
                                                        OP_LT,  OP_GT,  OP_LE,  OP_GE,  OP_EQ,  OP_NE,  OP_AND,
                                                        OP_XOR, OP_OR,  OP_LAND, OP_LOR};
        return kBinary.count(token) != 0;
    }

    // OP_CALL kind number, then one argument per parameter of the callee.
    void call() {
        const Offset here = c_.at();
        const std::uint16_t kind = c_.word();
        const std::uint16_t number = c_.word();
        std::vector<TypeCode> parameters;
        if (kind == CALL_STANDARD) {
            const StandardFunction* found = nullptr;
            for (const StandardFunction& f : standard_functions())
                if (f.number == number) found = &f;
            require(found != nullptr, "call of no standard function", here);
            parameters.assign(found->parameters.begin(), found->parameters.end());
        } else {
            require(kind == CALL_USER && number < layout_.functions.size(), "call of no user function", here);
            parameters = layout_.functions[number].parameters;
        }
        for (const TypeCode parameter : parameters) argument(parameter);
    }

    void argument(TypeCode parameter) {
        if (parameter == TYPE_INT || parameter == TYPE_UINT) return expression();
        if (parameter & TYPE_BY_REFERENCE) return reference(is_str_type(parameter) ? Want::str : Want::number);
        const Offset here = c_.at();
        const std::uint16_t token = c_.word();
        if (token == EXPR_VAR) return reference(Want::str);
        require(token == EXPR_STRING, "bad string argument", here);
        std::size_t length = 0;
        while (c_.byte() != 0) ++length;
        require(length <= kStringArgumentMax, "string argument longer than 255 bytes", here);
        if ((length + 1) % 2 != 0) require(c_.byte() == 0, "string argument not padded with zero", here);
    }

    static constexpr std::size_t kNoFunction = static_cast<std::size_t>(-1);
    const Layout& layout_;
    Cursor c_;
    std::vector<bool> starts_;
    std::vector<std::pair<Offset, Offset>> targets_;  // target, where it is stored
    std::size_t function_ = kNoFunction;
};

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    auto operator<=>(const Colour&) const = default;
};

// One bitmap's data: information header, the shared palette as stored
// (blue, green, red, 0), and pixels that all index entries in use.
void check_bitmap_data(Cursor& c, const std::array<Colour, 256>& palette, std::uint32_t in_use) {
    const Offset here = c.at();
    c.expect_dword(format::kBitmapInfoHeaderSize, "bitmap header size");
    const auto width = static_cast<std::int32_t>(c.dword());
    const auto height = static_cast<std::int32_t>(c.dword());
    require(width > 0 && height > 0, "bitmap dimensions not positive", here);
    require(c.word() == 1, "bitmap planes", here);
    require(c.word() == kEightBits, "bitmap bit count", here);
    c.expect_dword(0, "bitmap compression");
    const Offset image = static_cast<Offset>(format::bitmap_stride(width)) * static_cast<Offset>(height);
    c.expect_dword(static_cast<std::uint32_t>(image), "bitmap image size");
    c.expect_dword(format::kPixelsPerMetre, "bitmap resolution");
    c.expect_dword(format::kPixelsPerMetre, "bitmap resolution");
    c.expect_dword(0, "bitmap colours used");
    c.expect_dword(0, "bitmap colours important");
    for (const Colour& colour : palette) {
        const Offset entry = c.at();
        const std::uint8_t blue = c.byte();
        const std::uint8_t green = c.byte();
        const std::uint8_t red = c.byte();
        require(Colour{red, green, blue} == colour && c.byte() == 0, "bitmap palette differs from the shared palette",
                entry);
    }
    require(c.at() + image <= c.limit(), "bitmap pixels past the section", c.at());
    for (Offset i = 0; i < image; ++i) {
        const Offset pixel = c.at();
        require(c.byte() < in_use, "pixel indexes a palette entry not in use", pixel);
    }
}

// Palette head, shared palette (red, green, blue, 0), directory, bitmaps;
// ends exactly at the wave section.
void check_bitmap_section(const Bytes& b, const Layout& layout) {
    Cursor c(b, layout.bitmap_section, layout.wave_section);
    require(c.word() == format::kPaletteVersion, "palette version", layout.bitmap_section);
    const std::uint32_t in_use = c.word();
    require(in_use >= 1 && in_use <= 256, "palette entries in use", layout.bitmap_section + 2);
    std::array<Colour, 256> palette{};
    std::set<Colour> distinct;
    for (std::uint32_t i = 0; i < palette.size(); ++i) {
        const Offset entry = c.at();
        palette[i] = {.red = c.byte(), .green = c.byte(), .blue = c.byte()};
        require(c.byte() == 0, "palette entry's fourth byte", entry);
        if (i == 0 || i >= in_use) require(palette[i] == Colour{}, "palette entry 0 or unused entry not zero", entry);
        else require(distinct.insert(palette[i]).second, "palette colour twice", entry);
    }
    const std::uint32_t count = c.dword();
    std::vector<Offset> offsets;
    for (std::uint32_t i = 0; i < count; ++i) {
        c.dword();  // the bitmap's number: any value
        offsets.push_back(c.dword());
    }
    for (const Offset offset : offsets) {
        require(offset == c.at(), "bitmap data offset", offset);
        check_bitmap_data(c, palette, in_use);
    }
    require(c.done(), "bitmap section size differs from the header", c.at());
}

// Directory (number, offset, size) and whole RIFF files; ends exactly at
// the menu section.
void check_wave_section(const Bytes& b, const Layout& layout) {
    Cursor c(b, layout.wave_section, layout.menu_section);
    const std::uint32_t count = c.dword();
    Offset data = c.at() + format::kWaveDirectoryEntry * Offset{count};
    std::vector<std::pair<Offset, Offset>> waves;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Offset here = c.at();
        c.dword();  // the wave's number: any value
        require(c.dword() == data, "wave data offset", here);
        const Offset size = c.dword();
        waves.emplace_back(data, size);
        data += size;
    }
    for (const auto& [offset, size] : waves) {
        require(size >= 4 && offset + size <= layout.menu_section, "wave data past the section", offset);
        require(std::string_view(reinterpret_cast<const char*>(b.data() + offset), 4) == "RIFF", "wave is no RIFF file", offset);
    }
    require(data == layout.menu_section, "wave section size differs from the header", data);
}

// Text bytes, a zero, and one more zero when the length is even.
void check_menu_text(Cursor& c, std::size_t maximum) {
    const Offset here = c.at();
    std::size_t length = 0;
    while (c.byte() != 0) ++length;
    require(length <= maximum, "menu text too long", here);
    if (length % 2 == 0) require(c.byte() == 0, "menu text not padded with zero", here);
}

// Number, entries, end word; pop-ups nest without recursion here too.
void check_menu(Cursor& c) {
    const Offset start = c.at();
    require(c.word() <= kMaxMenuId, "menu number out of range", start);
    std::vector<std::size_t> open_popups;  // entries seen in each open pop-up
    while (true) {
        const Offset here = c.at();
        const std::uint16_t kind = c.word();
        if (kind == format::kMenuEnd) {
            if (open_popups.empty()) return;
            require(open_popups.back() != 0, "pop-up without entries", here);
            open_popups.pop_back();
            continue;
        }
        if (!open_popups.empty()) ++open_popups.back();
        if (kind == format::kMenuPopup) {
            check_menu_text(c, kPopupTextMax);
            open_popups.push_back(0);
        } else {
            require(kind == format::kMenuItem, "unknown menu entry kind", here);
            check_menu_text(c, kItemTextMax);
            require(c.word() <= kMaxMenuId, "menu item ID out of range", here);
            c.dword();  // the item value: any value
        }
    }
}

// Head, menu offsets, encoded menus; ends exactly at the end of the file.
void check_menu_section(const Bytes& b, const Layout& layout) {
    Cursor c(b, layout.menu_section, b.size());
    c.expect_dword(format::kMenuTableMarker, "menu table marker");
    c.expect_dword(static_cast<std::uint32_t>(layout.menu_section + format::kMenuDirectoryDelta), "menu directory offset");
    c.expect_dword(0, "menu reserved field");
    const std::uint32_t count = c.dword();
    std::vector<Offset> offsets;
    for (std::uint32_t i = 0; i < count; ++i) offsets.push_back(c.dword());
    for (const Offset offset : offsets) {
        require(offset == c.at(), "menu offset", offset);
        check_menu(c);
    }
    require(c.done(), "bytes after the menu section", c.at());
}

}  // namespace

std::string check_module_layout(const std::vector<unsigned char>& module) {
    try {
        Layout layout;
        check_header(module, layout);
        check_function_tables(module, layout);
        CodeWalker(module, layout).walk();
        check_bitmap_section(module, layout);
        check_wave_section(module, layout);
        check_menu_section(module, layout);
        return "";
    } catch (const Broken& e) {
        return e.what();
    }
}

}  // namespace oxtest
