#include "sourcemap/source_map.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include "core/fatal.hpp"
#include "core/listener.hpp"
#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "platform/platform.hpp"

namespace sourcemap {

namespace {

using oxbuild::NameAt;
using oxbuild::SourcePoint;
using oxbuild::TypeCode;

void name_slot(SlotNames& names, TypeCode type, std::int32_t slot, std::string_view name) {
    const int type_class = oxbuild::type_class_index(type);
    if (type_class < 0 || slot < 0) return;
    auto& list = names[static_cast<std::size_t>(type_class)];
    if (list.size() <= static_cast<std::size_t>(slot)) list.resize(static_cast<std::size_t>(slot) + 1);
    if (list[static_cast<std::size_t>(slot)].empty()) list[static_cast<std::size_t>(slot)] = name;
}

std::optional<std::string> slot_name(const SlotNames& names, TypeCode type, std::uint16_t slot) {
    const int type_class = oxbuild::type_class_index(type);
    if (type_class < 0) return std::nullopt;
    const auto& list = names[static_cast<std::size_t>(type_class)];
    if (slot >= list.size() || list[slot].empty()) return std::nullopt;
    return list[slot];
}

// A path made absolute and normal, so that two spellings of one file compare equal.
std::filesystem::path full_path(const std::string& path) {
    std::error_code error;
    const auto full = std::filesystem::weakly_canonical(std::filesystem::path(path), error);
    return error ? std::filesystem::path(path).lexically_normal() : full;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Hears pass 2: the files, each instruction's line, and the functions and
// variables with their ranges. Functions are numbered in the order of their
// definitions, which is the order of the user function indexes.
class MapListener final : public oxbuild::CompileListener {
public:
    explicit MapListener(SourceMap& map) : map_(map) {}

    void file_entered(int file_number, std::string_view name, const std::string& path) override {
        const auto number = static_cast<std::size_t>(file_number);
        if (map_.files.size() <= number) map_.files.resize(number + 1);
        map_.files[number].name = name;
        map_.files[number].path = path;
        map_.files[number].set_text(read_text(path));
    }

    void variable_declared(const NameAt& name, TypeCode type, int level, std::int32_t slot) override {
        const int function = level == 0 ? -1 : static_cast<int>(map_.functions.size()) - 1;
        if (level == 0) name_slot(map_.globals, type, slot, name.name);
        else if (!map_.locals.empty()) name_slot(map_.locals.back(), type, slot, name.name);
        add_variable({std::string(name.name), type, slot, function, false, range_from(name.end)}, level);
    }

    void parameter_declared(const NameAt& name, TypeCode type, std::size_t, std::int32_t slot) override {
        name_slot(parameters_, type, slot, name.name);
        pending_.push_back({std::string(name.name), type, slot, 0, true, range_from(name.end)});
    }

    void function_declared(const NameAt& name, std::span<const TypeCode>, bool definition) override {
        if (definition) {
            map_.locals.push_back(parameters_);
            map_.functions.push_back({std::string(name.name), range_from(name.end)});
            for (VariableInfo& v : pending_) {
                v.function = static_cast<int>(map_.functions.size()) - 1;
                add_variable(std::move(v), 1);
            }
        }
        parameters_ = {};
        pending_.clear();
    }

    // A closing brace ends the scopes of the variables declared inside it,
    // and at level 1 the function.
    void block_closed(int level, const SourcePoint& at) override {
        const int line = line_of(at);
        while (!open_.empty() && open_.back().level >= level) {
            map_.variables[open_.back().variable].range.last_line = line;
            open_.pop_back();
        }
        if (level == 1 && !map_.functions.empty()) map_.functions.back().range.last_line = line;
    }

    // A call is placed at its name: the reader already stands at its first
    // argument, which may be on a later line.
    void function_called(const NameAt& name) override { call_name_ = name.end; }

    void instruction_started(std::int64_t address, const SourcePoint& at, int line, oxbuild::Opcode op) override {
        const SourcePoint place = call_name_.value_or(at);
        call_name_.reset();
        const int word_line = line_of(place);
        map_.lines.push_back({address, place.file_number, word_line > 0 ? word_line : line, place.offset, op});
    }

    // Globals reach the end of the main source.
    void finish() {
        const int last = map_.files.empty() ? 0 : map_.files[0].line_count();
        for (const Open& o : open_) map_.variables[o.variable].range.last_line = last;
        open_.clear();
    }

private:
    struct Open {
        std::size_t variable;
        int level;
    };

    int line_of(const SourcePoint& at) const {
        const auto file = static_cast<std::size_t>(at.file_number);
        return file < map_.files.size() ? map_.files[file].line_of(at.offset) : 0;
    }
    SourceRange range_from(const SourcePoint& at) const {
        const int line = line_of(at);
        return {at.file_number, line, line};
    }
    void add_variable(VariableInfo v, int level) {
        open_.push_back({map_.variables.size(), level});
        map_.variables.push_back(std::move(v));
    }

    SourceMap& map_;
    SlotNames parameters_;               // of the parameter list being read
    std::vector<VariableInfo> pending_;  // likewise, until the list turns out a definition
    std::vector<Open> open_;             // variables whose scope has not closed, innermost last
    std::optional<SourcePoint> call_name_;  // of the call statement whose instruction comes next
};

void name_functions(SourceMap& map, const oxbuild::Compiler& c) {
    map.functions.resize(static_cast<std::size_t>(c.run.functions.user_count()));
    for (const oxbuild::FunctionRecord& r : c.run.functions.records())
        if (r.kind == oxbuild::FunctionKind::user && r.user_index >= 0 &&
            static_cast<std::size_t>(r.user_index) < map.functions.size())
            map.functions[static_cast<std::size_t>(r.user_index)].name = c.run.functions.name_of(r);
}

bool read_module_back(oxbuild::ModuleStream& stream, std::vector<std::uint8_t>& bytes) {
    return stream.read_back([&](unsigned char* data, std::size_t size) { bytes.insert(bytes.end(), data, data + size); });
}

void compile_into(CompiledSource& out, oxbuild::SourceStream& source, const std::string& path,
                  const std::string& display, oxbuild::MessageStyle style) {
    MapListener listener(*out.map);
    std::ostringstream messages;
    oxbuild::Compiler c(messages, style);
    const auto module = oxbuild::ModuleStream::spool();
    c.main_source = &source;
    c.main_source_name = display;
    c.module = module.get();
    c.sink.attach(module.get());
    c.base_dir = oxbuild::platform::source_directory(path);
    c.listen(&listener);
    try {
        (void)oxbuild::compile_passes(c, source);
        if (c.diag.error_count() == 0 && !read_module_back(*module, out.module)) messages << "Fatal Error\n";
    } catch (const oxbuild::FatalStop& stop) {
        messages << "Fatal Error: " << stop.what() << '\n';
    } catch (const std::bad_alloc&) {
        messages << "Fatal Error: out of memory\n";
    }
    listener.finish();
    out.errors = c.diag.error_count();
    if (out.module.empty() && out.errors == 0) out.errors = 1;
    out.messages = messages.str();
    name_functions(*out.map, c);
}

}  // namespace

void SourceFile::set_text(std::string t) {
    text = std::move(t);
    line_starts.assign(1, 0);
    for (std::size_t k = 0; k < text.size(); ++k)
        if (text[k] == '\n' && k + 1 < text.size()) line_starts.push_back(k + 1);
}

int SourceFile::line_of(std::int64_t offset) const {
    const auto at = static_cast<std::size_t>(std::max<std::int64_t>(offset - 1, 0));  // the byte just read
    return static_cast<int>(std::upper_bound(line_starts.begin(), line_starts.end(), at) - line_starts.begin());
}

std::string_view SourceFile::line_text(int line) const {
    if (line < 1 || line > line_count()) return {};
    const std::size_t begin = line_starts[static_cast<std::size_t>(line - 1)];
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin && text[end - 1] == '\r') --end;
    return std::string_view(text).substr(begin, end - begin);
}

const LineRow* SourceMap::line_at(std::int64_t address) const {
    const LineRow* row = row_holding(address);
    return row != nullptr && row->address == address ? row : nullptr;
}

const LineRow* SourceMap::row_holding(std::int64_t address) const {
    const auto row = std::upper_bound(lines.begin(), lines.end(), address,
                                      [](std::int64_t a, const LineRow& r) { return a < r.address; });
    return row == lines.begin() ? nullptr : &*std::prev(row);
}

std::optional<std::string> SourceMap::global_name(TypeCode type, std::uint16_t slot) const {
    return slot_name(globals, type, slot);
}

std::optional<std::string> SourceMap::local_name(std::size_t function, TypeCode type, std::uint16_t slot) const {
    if (function >= locals.size()) return std::nullopt;
    return slot_name(locals[function], type, slot);
}

std::string SourceMap::place_of(std::int64_t address) const {
    const LineRow* row = line_at(address);
    if (row == nullptr || static_cast<std::size_t>(row->file) >= files.size()) return "";
    return files[static_cast<std::size_t>(row->file)].name + "(" + std::to_string(row->line) + ")";
}

std::optional<int> SourceMap::line_with_code(int file, int line) const {
    std::optional<int> best;
    for (const LineRow& r : lines)
        if (r.file == file && r.line >= line && (!best || r.line < *best)) best = r.line;
    return best;
}

std::vector<std::int64_t> SourceMap::addresses_of(int file, int line) const {
    std::vector<std::int64_t> out;
    for (const LineRow& r : lines)
        if (r.file == file && r.line == line) out.push_back(r.address);
    return out;
}

std::optional<int> SourceMap::file_named(std::string_view path) const {
    const std::filesystem::path wanted = full_path(std::string(path));
    for (std::size_t k = 0; k < files.size(); ++k)
        if (files[k].name == path || full_path(files[k].path) == wanted) return static_cast<int>(k);
    return std::nullopt;
}

CompiledSource compile_source(const std::string& path, const std::string& display, oxbuild::MessageStyle style) {
    CompiledSource out;
    const auto source = oxbuild::SourceStream::open(path);
    if (!source) {
        out.opened = false;
        return out;
    }
    out.map = std::make_shared<SourceMap>();
    out.map->files.resize(1);
    out.map->files[0].name = display;
    out.map->files[0].path = path;
    out.map->files[0].set_text(read_text(path));
    compile_into(out, *source, path, display, style);
    return out;
}

bool same_module(const CompiledSource& compiled, std::span<const std::uint8_t> module) {
    return compiled.errors == 0 && std::equal(compiled.module.begin(), compiled.module.end(), module.begin(),
                                              module.end());
}

}  // namespace sourcemap
