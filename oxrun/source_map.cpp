#include "oxrun/source_map.hpp"

#include <algorithm>
#include <new>
#include <sstream>

#include "core/fatal.hpp"
#include "core/listener.hpp"
#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "platform/platform.hpp"

namespace oxrun {

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

// Hears pass 2: the files, each instruction's line, and the variables of
// the globals and of each function body in the order of the definitions
// (the order of the user function indexes).
class MapListener final : public oxbuild::CompileListener {
public:
    explicit MapListener(SourceMap& map) : map_(map) {}

    void file_entered(int file_number, std::string_view name, const std::string&) override {
        const auto number = static_cast<std::size_t>(file_number);
        if (map_.files.size() <= number) map_.files.resize(number + 1);
        map_.files[number] = name;
    }

    void variable_declared(const NameAt& name, TypeCode type, int level, std::int32_t slot) override {
        if (level == 0) name_slot(map_.globals, type, slot, name.name);
        else if (!map_.locals.empty()) name_slot(map_.locals.back(), type, slot, name.name);
    }

    void parameter_declared(const NameAt& name, TypeCode type, std::size_t, std::int32_t slot) override {
        name_slot(parameters_, type, slot, name.name);
    }

    void function_declared(const NameAt&, std::span<const TypeCode>, bool definition) override {
        if (definition) map_.locals.push_back(parameters_);
        parameters_ = {};
    }

    void instruction_started(std::int64_t address, const SourcePoint& at, int line) override {
        map_.lines.push_back({address, at.file_number, line, at.offset});
    }

private:
    SourceMap& map_;
    SlotNames parameters_;  // of the parameter list being read
};

void name_functions(SourceMap& map, const oxbuild::Compiler& c) {
    map.functions.assign(static_cast<std::size_t>(c.run.functions.user_count()), "");
    for (const oxbuild::FunctionRecord& r : c.run.functions.records())
        if (r.kind == oxbuild::FunctionKind::user && r.user_index >= 0 &&
            static_cast<std::size_t>(r.user_index) < map.functions.size())
            map.functions[static_cast<std::size_t>(r.user_index)] = c.run.functions.name_of(r);
}

bool read_module_back(oxbuild::ModuleStream& stream, std::vector<std::uint8_t>& bytes) {
    return stream.read_back([&](unsigned char* data, std::size_t size) { bytes.insert(bytes.end(), data, data + size); });
}

}  // namespace

const LineRow* SourceMap::line_at(std::int64_t address) const {
    const auto row = std::lower_bound(lines.begin(), lines.end(), address,
                                      [](const LineRow& r, std::int64_t a) { return r.address < a; });
    return row != lines.end() && row->address == address ? &*row : nullptr;
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
    return files[static_cast<std::size_t>(row->file)] + "(" + std::to_string(row->line) + ")";
}

CompiledSource compile_source(const std::string& path, const std::string& display) {
    CompiledSource out;
    const auto source = oxbuild::SourceStream::open(path);
    if (!source) {
        out.opened = false;
        return out;
    }
    out.map = std::make_shared<SourceMap>();
    out.map->files.push_back(display);
    MapListener listener(*out.map);
    std::ostringstream messages;
    oxbuild::Compiler c(messages, oxbuild::MessageStyle::utf8);
    const auto module = oxbuild::ModuleStream::spool();
    c.main_source = source.get();
    c.main_source_name = display;
    c.module = module.get();
    c.sink.attach(module.get());
    c.base_dir = oxbuild::platform::source_directory(path);
    c.listen(&listener);
    try {
        (void)oxbuild::compile_passes(c, *source);
        if (c.diag.error_count() == 0 && !read_module_back(*module, out.module)) messages << "Fatal Error\n";
    } catch (const oxbuild::FatalStop& stop) {
        messages << "Fatal Error: " << stop.what() << '\n';
    } catch (const std::bad_alloc&) {
        messages << "Fatal Error: out of memory\n";
    }
    out.errors = c.diag.error_count();
    if (out.module.empty() && out.errors == 0) out.errors = 1;
    out.messages = messages.str();
    name_functions(*out.map, c);
    return out;
}

}  // namespace oxrun
