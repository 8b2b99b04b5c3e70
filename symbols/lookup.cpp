#include "symbols/lookup.hpp"

#include "driver/compiler.hpp"

namespace oxbuild {

std::optional<SymbolInfo> lookup_symbol(Compiler& c, NameKey name) {
    const auto found = c.p().scopes.lookup(name, c.block_level());
    if (!found) return std::nullopt;
    return SymbolInfo{found->type, found->slot, found->level};
}

std::int32_t resolve_slot(Compiler& c, TypeCode type, NameKey name, int level) {
    const int type_class = type_class_index(type);
    if (type_class < 0) return 0;
    if (level == 0) {
        const auto slot = c.run.slots.find(SlotTable::kGlobals, type_class, 0, name.text);
        return slot ? *slot : c.run.global_counts[static_cast<std::size_t>(type_class)];
    }
    const auto position = c.run.functions.find_position(c.p().current_function);
    if (!position) return 0;
    const auto slot = c.run.slots.find(static_cast<std::uint32_t>(*position), type_class, level, name.text);
    return slot ? *slot : c.run.functions.records()[*position].local_counts[static_cast<std::size_t>(type_class)];
}

}  // namespace oxbuild
