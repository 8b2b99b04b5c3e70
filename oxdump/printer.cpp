// The listing. Its form is stable: tools and tests may parse it.
//
//   module NAME: SIZE bytes
//
//   header                  field names padded to 24 columns, then the value
//     magic, format, module name, copyright, version, comment (quoted,
//     converted from code page 932 to UTF-8), the offsets of the function
//     table, event handler table and the three sections, and the code base
//   function table          OnLoad, OnUnload, OnInterval "-> function N" or
//                           "-> none"; the int, uint and str global counts;
//                           the number of functions
//   event handler table     one line per entry: number, event name ("(blank)"
//                           for the entry no name can match), handler
//   function N (EVENTS)     one block per function in index order: descriptor
//                           offset, entry (code address and @file offset),
//                           local counts per type class, then one line per
//                           parameter: "int& slot 0" or "int unnamed"
//   code: SIZE bytes at OFFSET
//     "function N (EVENTS)" or "outside any function" before the code of each
//     function, in address order; "Lk:" before each jump target, numbered in
//     address order; then one line per instruction:
//       code address (6 columns, right) "  @" file offset (7 columns, left) " "
//       assign VAR = EXPR
//       jump Lk (ADDRESS @OFFSET)
//       jump_if_false EXPR, Lk (ADDRESS @OFFSET)
//       call NAME(ARGS) | call function N(ARGS)
//       return
//     VAR is g. (global) or l. (local), the type class and [slot]:
//     g.int[0], l.str&[1]. EXPR is the token stream in source order:
//     operators in their source form, binary ones between blanks, constants
//     in decimal below 65536 and in hexadecimal above. A by-reference
//     argument is "&VAR"; a string literal is quoted like the text fields.
//   bitmap section: SIZE bytes at OFFSET
//     the palette entries in use (index, #RRGGBB), then per bitmap its
//     number, width, height, stride and data offset
//   wave section: SIZE bytes at OFFSET
//     per wave its number, size, RIFF form type ("none" when shorter than
//     12 bytes) and data offset
//   menu section: SIZE bytes at OFFSET
//     per menu its number, size and offset, then its entries, two columns
//     deeper per nesting level: popup "TEXT" | item "TEXT", id N, value N.
//     Past 32 levels the indentation stops growing and the line begins
//     with "[level N] ".
// Given the module's source, variables and user functions are named as the
// source names them (an unnamed slot keeps its slot form), function titles
// carry the function's name after its number, and before an instruction
// come the lines of its file not shown yet up to its statement's line, each
// as  NAME(LINE): TEXT  (only the statement's line when the code goes back).
// Texts are quoted: \" and \\, \n \t \r, code page 932 characters in UTF-8,
// any other control byte or a byte that forms no character as \xHH.
//
// For example, the code of  int count; OnLoad(int & result) { count = 1;
// result = 0; }  lists as
//
//   function 0 (OnLoad)
//        0  @316     assign g.int[0] = 1
//       14  @330     assign l.int&[0] = 0
//       28  @344     return
#include "oxdump/printer.hpp"

#include <algorithm>
#include <initializer_list>
#include <iomanip>
#include <map>
#include <sstream>

#include "core/text_encoding.hpp"
#include "format/module_format.hpp"
#include "platform/platform.hpp"
#include "symbols/host_tables.hpp"

namespace oxdump {

namespace {

using namespace oxbuild;

constexpr int kLabelWidth = 24;
constexpr int kAddressWidth = 6;
constexpr int kOffsetWidth = 7;
constexpr std::uint32_t kLargestDecimalConstant = 0xFFFF;
constexpr std::size_t kMenuIndent = 4;  // a menu's own entries
constexpr std::size_t kIndentPerLevel = 2;
constexpr std::size_t kMaxMenuIndent = 32;                         // levels
constexpr std::size_t kPaletteEntries = format::kPaletteSize / 4;  // blue, green, red, 0
constexpr std::string_view kTextFieldNames[] = {"module name", "copyright", "version", "comment"};
constexpr std::string_view kBlankEventName = " ";

// Code page 932: half-width katakana are single bytes; a lead byte takes a
// trail byte from these ranges.
constexpr bool is_single_kana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
constexpr bool is_trail_byte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

void append_hex_escape(std::string& out, unsigned char c) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
}

void append_ascii(std::string& out, unsigned char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                append_hex_escape(out, c);
            else
                out += static_cast<char>(c);
    }
}

// One character of one or two bytes, converted; escaped when it converts
// to nothing readable.
void append_cp932_character(std::string& out, std::string_view character) {
    const std::string converted = cp932_to_utf8(character);
    if (converted.find("\xEF\xBF\xBD") == std::string::npos && !converted.empty()) {
        out += converted;
        return;
    }
    for (const char c : character) append_hex_escape(out, static_cast<unsigned char>(c));
}

// Concatenates text pieces in one go (this also keeps g++ 12 from a false
// -Wrestrict alarm on "literal" + std::string temporaries).
std::string cat(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces) text += piece;
    return text;
}

std::string fixed_label(std::string_view label) {
    std::string text = "  ";
    text += label;
    if (text.size() < kLabelWidth)
        text.resize(kLabelWidth, ' ');
    else
        text += ' ';
    return text;
}

void line(std::ostream& out, std::string_view label, const std::string& value) {
    out << fixed_label(label) << value << '\n';
}

std::string handler_text(std::int32_t handler) {
    return handler == format::kNoHandler ? "-> none" : cat({"-> function ", std::to_string(handler)});
}

std::string constant_text(std::uint32_t value) {
    return value <= kLargestDecimalConstant ? std::to_string(value) : hex(value, 1);
}

// How variables and functions are named: by slot and number, or by the
// names the source gave them when a source map is at hand.
class Names {
public:
    explicit Names(const sourcemap::SourceMap* map) : map_(map) {}

    void enter_function(std::optional<std::size_t> index) { function_ = index; }

    std::string variable(const VariableRef& v) const {
        if (map_ != nullptr) {
            const TypeCode type = type_code(v.type_word);
            const bool local = (v.type_word & LOCAL_FLAG) != 0;
            const auto name = !local ? map_->global_name(type, v.slot)
                              : function_ ? map_->local_name(*function_, type, v.slot)
                                          : std::nullopt;
            if (name) return *name;
        }
        return variable_text(v);
    }

    std::string function(std::size_t index) const {
        if (map_ != nullptr && index < map_->functions.size() && !map_->functions[index].name.empty())
            return map_->functions[index].name;
        return "function " + std::to_string(index);
    }

private:
    const sourcemap::SourceMap* map_;
    std::optional<std::size_t> function_;  // whose locals are named
};

std::string expression_text(const Expression& e, const Names& names) {
    std::string text;
    for (const ExprItem& item : e) {
        if (item.token == EXPR_VAR)
            text += names.variable(item.variable);
        else if (item.token == EXPR_CONST)
            text += constant_text(item.value);
        else if (item.token == EXPR_LPAREN)
            text += '(';
        else if (item.token == EXPR_RPAREN)
            text += ')';
        else if (const OperatorSpelling* op = find_operator(item.token); op->place == OperatorPlace::prefix)
            text += op->text;
        else
            text += cat({" ", op->text, " "});
    }
    return text;
}

std::string argument_text(const Argument& a, const Names& names) {
    switch (a.form) {
        case Argument::Form::expression:
            return expression_text(a.expression, names);
        case Argument::Form::string:
            return quote_text(a.text);
        case Argument::Form::variable:
            break;
    }
    return cat({(a.parameter & TYPE_BY_REFERENCE) != 0 ? "&" : "", names.variable(a.variable)});
}

std::string_view standard_name(std::uint16_t number) {
    for (const StandardFunction& f : standard_functions())
        if (f.number == number) return f.name;
    return "?";
}

// Names of the events each function handles, by function index.
std::map<std::int32_t, std::vector<std::string_view>> handled_events(const Module& m) {
    std::map<std::int32_t, std::vector<std::string_view>> names;
    const auto all_events = events();
    for (std::size_t e = 0; e < kFixedHandlerEvents; ++e) names[m.fixed_handlers[e]].push_back(all_events[e].name);
    for (std::size_t k = 0; k < m.event_handlers.size(); ++k)
        names[m.event_handlers[k]].push_back(all_events[kFixedHandlerEvents + k].name);
    names.erase(format::kNoHandler);
    return names;
}

class Printer {
public:
    Printer(const Module& m, std::ostream& out, const sourcemap::SourceMap* map)
        : m_(m), out_(out), events_(handled_events(m)), map_(map), names_(map) {
        number_labels();
        if (map != nullptr) printed_lines_.assign(map->files.size(), 0);
    }

    void print(std::string_view file_name) {
        out_ << "module " << file_name << ": " << m_.file_size << " bytes\n";
        print_header();
        print_function_table();
        print_event_table();
        for (std::size_t k = 0; k < m_.functions.size(); ++k) print_function(k);
        print_code();
        print_bitmaps();
        print_waves();
        print_menus();
    }

private:
    std::string function_title(std::size_t index) const {
        std::string title = "function " + std::to_string(index);
        if (map_ != nullptr) title.append(" ").append(names_.function(index));
        const auto it = events_.find(static_cast<std::int32_t>(index));
        if (it == events_.end()) return title;
        title += " (";
        for (std::size_t i = 0; i < it->second.size(); ++i) title += (i ? ", " : "") + std::string(it->second[i]);
        return title + ")";
    }

    std::string at(Offset code_address) const { return cat({"@", std::to_string(m_.code_base + code_address)}); }

    void print_header() {
        const Header& h = m_.header;
        out_ << "\nheader\n";
        line(out_, "magic", quote_text(format::kMagic));
        line(out_, "format", std::to_string(h.format));
        for (std::size_t i = 0; i < h.texts.size(); ++i) line(out_, kTextFieldNames[i], quote_text(h.texts[i]));
        line(out_, "function table", std::to_string(h.function_table));
        line(out_, "event handler table", std::to_string(h.event_table));
        line(out_, "bitmap section", std::to_string(h.bitmap_section));
        line(out_, "wave section", std::to_string(h.wave_section));
        line(out_, "menu section", std::to_string(h.menu_section));
        line(out_, "code base", std::to_string(m_.code_base));
    }

    void print_function_table() {
        out_ << "\nfunction table\n";
        const auto all_events = events();
        for (std::size_t e = 0; e < kFixedHandlerEvents; ++e)
            line(out_, all_events[e].name, handler_text(m_.fixed_handlers[e]));
        std::string globals;
        for (std::size_t t = 0; t < m_.global_counts.size(); ++t)
            globals += cat({t ? ", " : "", type_name(static_cast<TypeCode>(TYPE_INT + t)), " ",
                            std::to_string(m_.global_counts[t])});
        line(out_, "globals", globals);
        line(out_, "functions", std::to_string(m_.functions.size()));
    }

    void print_event_table() {
        out_ << "\nevent handler table: " << m_.event_handlers.size() << " entries\n";
        const auto all_events = events();
        for (std::size_t k = 0; k < m_.event_handlers.size(); ++k) {
            const std::string_view name = all_events[kFixedHandlerEvents + k].name;
            line(out_, std::to_string(k + 1) + " " + std::string(name == kBlankEventName ? "(blank)" : name),
                 handler_text(m_.event_handlers[k]));
        }
    }

    void print_function(std::size_t index) {
        const Function& f = m_.functions[index];
        out_ << '\n' << function_title(index) << '\n';
        line(out_, "descriptor", std::to_string(f.descriptor));
        line(out_, "entry", std::to_string(f.entry) + " " + at(f.entry));
        std::string locals;
        for (int c = 0; c < kTypeClassCount; ++c)
            locals += (c ? ", " : "") + std::string(type_name(kTypeClasses[c])) + " " +
                      std::to_string(f.local_counts[static_cast<std::size_t>(c)]);
        line(out_, "locals", locals);
        for (std::size_t k = 0; k < f.parameters.size(); ++k) {
            const Parameter& p = f.parameters[k];
            line(out_, "parameter " + std::to_string(k),
                 std::string(type_name(p.type)) +
                     (p.slot == UNNAMED_PARAMETER_SLOT ? " unnamed" : " slot " + std::to_string(p.slot)));
        }
    }

    void number_labels() {
        for (const Instruction& i : m_.code)
            if (i.opcode == OP_JUMP || i.opcode == OP_JUMP_IF_FALSE) labels_[i.jump_target] = 0;
        std::size_t next = 0;
        for (auto& [address, number] : labels_) number = next++;
    }

    std::string target_text(Offset target) const {
        return cat({"L", std::to_string(labels_.at(target)), " (", std::to_string(target), " ", at(target), ")"});
    }

    std::string call_text(const Instruction& i) const {
        std::string text = i.call_kind == CALL_STANDARD ? std::string(standard_name(i.call_number))
                                                        : names_.function(i.call_number);
        text += '(';
        for (std::size_t k = 0; k < i.arguments.size(); ++k)
            text += cat({k ? ", " : "", argument_text(i.arguments[k], names_)});
        return text + ')';
    }

    std::string instruction_text(const Instruction& i) const {
        switch (i.opcode) {
            case OP_ASSIGN:
                return cat({"assign ", names_.variable(i.target_variable), " = ", expression_text(i.expression, names_)});
            case OP_JUMP:
                return cat({"jump ", target_text(i.jump_target)});
            case OP_JUMP_IF_FALSE:
                return cat({"jump_if_false ", expression_text(i.expression, names_), ", ", target_text(i.jump_target)});
            case OP_CALL:
                return cat({"call ", call_text(i)});
            default:
                return "return";
        }
    }

    // Function titles where functions begin, in address order; code before
    // the first function gets a title of its own.
    std::multimap<Offset, std::size_t> titles_by_address() const {
        std::multimap<Offset, std::size_t> titles;
        for (std::size_t k = 0; k < m_.functions.size(); ++k) titles.emplace(m_.functions[k].entry, k);
        return titles;
    }

    void print_code() {
        out_ << "\ncode: " << m_.code_size << " bytes at " << m_.code_base << '\n';
        const auto titles = titles_by_address();
        if (!m_.code.empty() && (titles.empty() || titles.begin()->first > 0)) out_ << "\noutside any function\n";
        for (const Instruction& i : m_.code) {
            const auto [first, last] = titles.equal_range(i.address);
            for (auto it = first; it != last; ++it) {
                out_ << '\n' << function_title(it->second) << '\n';
                names_.enter_function(it->second);
            }
            if (map_ != nullptr) print_source_lines(i.address);
            if (labels_.count(i.address) != 0) out_ << 'L' << labels_.at(i.address) << ":\n";
            out_ << std::right << std::setw(kAddressWidth) << i.address << "  " << std::left
                 << std::setw(kOffsetWidth + 1) << at(i.address) << ' ' << instruction_text(i) << '\n';
        }
        out_ << std::right;
    }

    // The source lines of the instruction's statement that have not been
    // shown yet: those after the last one shown of its file up to its line,
    // or its line alone when the code goes back in the file.
    void print_source_lines(Offset address) {
        const sourcemap::LineRow* row = map_->line_at(address);
        if (row == nullptr || static_cast<std::size_t>(row->file) >= map_->files.size()) return;
        const sourcemap::SourceFile& file = map_->files[static_cast<std::size_t>(row->file)];
        int& shown = printed_lines_[static_cast<std::size_t>(row->file)];
        if (row->line == shown) return;
        for (int line = row->line > shown ? shown + 1 : row->line; line <= row->line; ++line)
            out_ << file.name << '(' << line << "): " << platform::cp932_to_utf8(file.line_text(line)) << '\n';
        shown = row->line;
    }

    void print_bitmaps() {
        const BitmapSection& s = m_.bitmaps;
        out_ << "\nbitmap section: " << m_.header.wave_section - m_.header.bitmap_section << " bytes at "
             << m_.header.bitmap_section << '\n';
        line(out_, "palette",
             cat({std::to_string(s.colours_in_use), " of ", std::to_string(kPaletteEntries), " entries in use"}));
        for (std::size_t i = 0; i < s.palette.size(); ++i) {
            const PaletteColour& c = s.palette[i];
            std::ostringstream colour;
            colour << std::uppercase << std::hex << std::setfill('0') << std::setw(2) << int{c.red} << std::setw(2)
                   << int{c.green} << std::setw(2) << int{c.blue};
            out_ << "    " << std::setw(3) << i << "  #" << colour.str() << '\n';
        }
        line(out_, "bitmaps", std::to_string(s.bitmaps.size()));
        for (const Bitmap& b : s.bitmaps)
            line(out_, "bitmap " + std::to_string(b.number),
                 "width " + std::to_string(b.width) + ", height " + std::to_string(b.height) + ", stride " +
                     std::to_string(b.stride) + ", data at " + std::to_string(b.data));
    }

    void print_waves() {
        out_ << "\nwave section: " << m_.header.menu_section - m_.header.wave_section << " bytes at "
             << m_.header.wave_section << '\n';
        line(out_, "waves", std::to_string(m_.waves.size()));
        for (const Wave& w : m_.waves)
            line(out_, "wave " + std::to_string(w.number),
                 "size " + std::to_string(w.size) + ", form " + (w.form ? quote_text(*w.form) : "none") + ", data at " +
                     std::to_string(w.data));
    }

    void print_menu_line(const MenuLine& l) {
        out_ << std::string(kMenuIndent + kIndentPerLevel * std::min(l.depth, kMaxMenuIndent), ' ');
        if (l.depth > kMaxMenuIndent) out_ << "[level " << l.depth << "] ";
        if (l.kind == MenuLine::Kind::popup)
            out_ << "popup " << quote_text(l.text) << '\n';
        else
            out_ << "item " << quote_text(l.text) << ", id " << l.id << ", value " << l.value << '\n';
    }

    void print_menus() {
        out_ << "\nmenu section: " << m_.file_size - m_.header.menu_section << " bytes at " << m_.header.menu_section
             << '\n';
        line(out_, "menus", std::to_string(m_.menus.size()));
        for (const Menu& menu : m_.menus) {
            line(out_, "menu " + std::to_string(menu.number),
                 std::to_string(menu.size) + " bytes at " + std::to_string(menu.data));
            for (const MenuLine& l : menu.lines) print_menu_line(l);
        }
    }

    const Module& m_;
    std::ostream& out_;
    std::map<std::int32_t, std::vector<std::string_view>> events_;
    std::map<Offset, std::size_t> labels_;  // jump target -> label number
    const sourcemap::SourceMap* map_;       // nullptr for a listing without the source
    Names names_;
    std::vector<int> printed_lines_;  // by file: the last source line shown
};

}  // namespace

std::string variable_text(const VariableRef& v) {
    const bool local = (v.type_word & LOCAL_FLAG) != 0;
    return cat({local ? "l." : "g.", type_name(type_code(v.type_word)), "[", std::to_string(v.slot), "]"});
}

std::string quote_text(std::string_view cp932) {
    std::string out = "\"";
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        if (c < 0x80)
            append_ascii(out, c);
        else if (is_single_kana(c))
            append_cp932_character(out, cp932.substr(i, 1));
        else if (is_lead_byte(c) && i + 1 < cp932.size() && is_trail_byte(static_cast<unsigned char>(cp932[i + 1]))) {
            append_cp932_character(out, cp932.substr(i, 2));
            ++i;
        } else
            append_hex_escape(out, c);
    }
    return out + "\"";
}

void print_module(const Module& module, std::string_view file_name, std::ostream& out,
                  const sourcemap::SourceMap* source) {
    const auto flags = out.flags();
    Printer(module, out, source).print(file_name);
    out.flags(flags);
}

}  // namespace oxdump
