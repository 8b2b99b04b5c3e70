#include "symbols/symbol_tables.hpp"

#include <cstring>

#include "symbols/host_tables.hpp"

namespace oxbuild {

bool is_reserved_word(std::string_view name) {
    static constexpr std::string_view kReserved[] = {"int", "uint", "str", "if", "elseif",
                                                      "else", "while", "continue", "break", "return"};
    for (const std::string_view word : kReserved)
        if (word == name) return true;
    return false;
}

bool check_name_rules(Diagnostics& diag, std::string_view name) {
    if (is_reserved_word(name)) {
        diag.report_error_name(msg::reserved_word, name);
        return false;
    }
    if (is_standard_function_name(name)) {
        diag.report_error_name(msg::standard_function_name, name);
        return false;
    }
    if (name.empty() || !(is_letter(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
        diag.report_error_name(msg::name_not_letter, name);
        return false;
    }
    return true;
}

// --- scope lists -----------------------------------------------------------

bool ScopeTable::declare(Diagnostics& diag, int level, std::string_view name, TypeCode type) {
    if (!check_name_rules(diag, name)) return false;
    if (find(level, name)) {
        diag.report_error_name(msg::already_defined, name);
        return false;
    }
    add_unchecked(level, name, type);
    return true;
}

void ScopeTable::add_unchecked(int level, std::string_view name, TypeCode type) {
    auto it = names_.find(name);
    if (it == names_.end()) it = names_.emplace(std::string(name), Stack{}).first;
    it->second.push_back({type, level});
    declared_[static_cast<std::size_t>(level)].push_back(&it->second);
}

std::optional<TypeCode> ScopeTable::find(int level, std::string_view name) const {
    const auto it = names_.find(name);
    if (it == names_.end()) return std::nullopt;
    for (auto e = it->second.rbegin(); e != it->second.rend(); ++e) {
        if (e->level == level) return e->type;
        if (e->level < level) break;
    }
    return std::nullopt;
}

std::optional<ScopeTable::Found> ScopeTable::lookup(std::string_view name, int from_level) const {
    const auto it = names_.find(name);
    if (it == names_.end()) return std::nullopt;
    for (auto e = it->second.rbegin(); e != it->second.rend(); ++e)
        if (e->level <= from_level) return Found{e->type, e->level};
    return std::nullopt;
}

void ScopeTable::free_level(int level) {
    auto& declared = declared_[static_cast<std::size_t>(level)];
    for (Stack* stack : declared) {
        for (auto e = stack->end(); e != stack->begin(); --e) {
            if ((e - 1)->level == level) {
                stack->erase(e - 1);
                break;
            }
        }
    }
    declared.clear();
}

// --- parameter lists -------------------------------------------------------

bool ParameterList::declare(Diagnostics& diag, std::string_view name, TypeCode type) {
    if (!check_name_rules(diag, name)) return false;
    if (seen_.count(name) != 0) {
        diag.report_error_name(msg::already_defined, name);
        return false;
    }
    seen_.emplace(name);
    accepted_.push_back({std::string(name), type});
    return true;
}

// --- prototypes ------------------------------------------------------------

void PrototypeTable::add(std::string_view name, std::vector<TypeCode> parameters) {
    // The first record of a name wins; a later one could never be found.
    map_.try_emplace(std::string(name), Prototype{std::move(parameters)});
}

const Prototype* PrototypeTable::find(std::string_view name) const {
    const auto it = map_.find(name);
    return it == map_.end() ? nullptr : &it->second;
}

// --- slots -----------------------------------------------------------------

bool SlotTable::Key::operator==(const Key& other) const {
    return owner == other.owner && type_class == other.type_class && level == other.level &&
           length == other.length && std::memcmp(name, other.name, length) == 0;
}

std::size_t SlotTable::KeyHash::operator()(const Key& key) const {
    std::size_t h = std::hash<std::string_view>{}(std::string_view(key.name, key.length));
    h ^= (static_cast<std::size_t>(key.owner) << 16) ^ (static_cast<std::size_t>(key.type_class) << 8) ^ key.level;
    return h * 0x9E3779B97F4A7C15ull;
}

SlotTable::Key SlotTable::make_key(std::uint32_t owner, int type_class, int level, std::string_view name) {
    Key key{};
    key.owner = owner;
    key.type_class = static_cast<std::uint8_t>(type_class);
    key.level = static_cast<std::uint8_t>(level);
    key.length = static_cast<std::uint8_t>(name.size() < kWordMax ? name.size() : kWordMax);
    std::memcpy(key.name, name.data(), key.length);
    return key;
}

std::optional<std::int32_t> SlotTable::find(std::uint32_t owner, int type_class, int level,
                                            std::string_view name) const {
    const auto it = map_.find(make_key(owner, type_class, level, name));
    if (it == map_.end()) return std::nullopt;
    return it->second;
}

void SlotTable::add(std::uint32_t owner, int type_class, int level, std::string_view name, std::int32_t& count) {
    if (map_.try_emplace(make_key(owner, type_class, level, name), count).second) ++count;
}

// --- functions -------------------------------------------------------------

void FunctionTable::add(FunctionRecord record) {
    if (record.kind == FunctionKind::user) record.user_index = user_count_++;
    first_.try_emplace(record.name, records_.size());
    records_.push_back(std::move(record));
}

std::optional<std::size_t> FunctionTable::find_position(std::string_view name) const {
    const auto it = first_.find(name);
    if (it == first_.end()) return std::nullopt;
    return it->second;
}

const FunctionRecord* FunctionTable::find(std::string_view name) const {
    const auto position = find_position(name);
    return position ? &records_[*position] : nullptr;
}

std::optional<FunctionIndex> FunctionTable::find_index(std::string_view name) const {
    const FunctionRecord* record = find(name);
    if (record == nullptr) return std::nullopt;
    if (record->kind == FunctionKind::standard)
        return FunctionIndex{record->kind, static_cast<std::int32_t>(record->entry)};
    return FunctionIndex{record->kind, record->user_index};
}

}  // namespace oxbuild
