#include "symbols/lookup.hpp"

#include "driver/compiler.hpp"

namespace oxbuild {

std::optional<SymbolInfo> lookup_symbol(Compiler& c, std::string_view name) {
    const auto found = c.p().scopes.lookup(name, c.block_level());
    if (!found) return std::nullopt;
    SymbolInfo info{found->type, 0, found->level};
    const int type_class = type_class_index(found->type);
    if (type_class < 0) return info;
    if (found->level == 0) {
        // Not found only when a declaration failed in pass 1; the count is
        // what a list walk would have counted.
        const auto slot = c.run.slots.find(SlotTable::kGlobals, type_class, 0, name);
        info.slot = slot ? *slot : c.run.global_counts[static_cast<std::size_t>(type_class)];
        return info;
    }
    const auto position = c.run.functions.find_position(c.p().current_function);
    if (!position) return info;
    const auto slot = c.run.slots.find(static_cast<std::uint32_t>(*position), type_class, found->level, name);
    info.slot = slot ? *slot : c.run.functions.records()[*position].local_counts[static_cast<std::size_t>(type_class)];
    return info;
}

}  // namespace oxbuild
