#include "symbols/symbol_tables.hpp"

#include <algorithm>
#include <cstring>

#include "symbols/host_tables.hpp"

namespace oxbuild {

bool is_reserved_word(std::string_view name) {
    static constexpr std::string_view kReserved[] = {"int", "uint", "str", "if", "elseif",
                                                      "else", "while", "continue", "break", "return"};
    static constexpr NameFilter kFilter(kReserved, [](std::string_view word) { return word; });
    if (!kFilter.may_hold(name)) return false;
    for (const std::string_view word : kReserved)
        if (word == name) return true;
    return false;
}

bool check_name_rules(Diagnostics& diag, const NameKey& key) {
    const std::string_view name = key.text;
    if (is_reserved_word(name)) {
        diag.report_error_name(msg::reserved_word, name);
        return false;
    }
    if (is_standard_function_name(key)) {
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

bool ScopeTable::declare(Diagnostics& diag, int level, const NameKey& name, TypeCode type) {
    if (!check_name_rules(diag, name)) return false;
    if (find(level, name)) {
        diag.report_error_name(msg::already_defined, name.text);
        return false;
    }
    add_unchecked(level, name, type);
    return true;
}

void ScopeTable::add_unchecked(int level, const NameKey& name, TypeCode type, std::int32_t slot) {
    const NameId id = names_->intern(name);
    if (id >= tops_.size()) tops_.resize(id + 1, kNoEntry);
    std::uint32_t& top = tops_[id];
    const Entry entry{type, static_cast<std::uint8_t>(level), slot, top};
    if (free_entries_.empty()) {
        top = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back(entry);
    } else {
        top = free_entries_.back();
        free_entries_.pop_back();
        entries_[top] = entry;
    }
    declared_[static_cast<std::size_t>(level)].push_back(id);
}

std::optional<TypeCode> ScopeTable::find(int level, const NameKey& name) const {
    for (std::uint32_t e = top_of(name); e != kNoEntry; e = entries_[e].below) {
        if (entries_[e].level == level) return entries_[e].type;
        if (entries_[e].level < level) break;
    }
    return std::nullopt;
}

void ScopeTable::set_slot(int level, const NameKey& name, std::int32_t slot) {
    for (std::uint32_t e = top_of(name); e != kNoEntry; e = entries_[e].below) {
        if (entries_[e].level == level) {
            entries_[e].slot = slot;
            return;
        }
    }
}

// Lists above the current level are empty, so the level's entries are on
// top of their names' stacks.
void ScopeTable::free_level(int level) {
    auto& declared = declared_[static_cast<std::size_t>(level)];
    for (const std::uint32_t id : declared) {
        const std::uint32_t top = tops_[id];
        if (top == kNoEntry || entries_[top].level != level) continue;
        tops_[id] = entries_[top].below;
        free_entries_.push_back(top);
    }
    declared.clear();
}

// --- parameter lists -------------------------------------------------------

void ParameterList::clear() {
    types.clear();
    slots.clear();
    counters.fill(0);
    accepted_.clear();
    named_.clear();
    if (++generation_ == 0) {
        std::fill(accepted_in_.begin(), accepted_in_.end(), 0);
        generation_ = 1;
    }
}

bool ParameterList::declare(Diagnostics& diag, const Word& name, TypeCode type) {
    if (!check_name_rules(diag, name)) return false;
    const NameId id = names_->intern(name);
    if (id >= accepted_in_.size()) accepted_in_.resize(id + 1, 0);
    if (accepted_in_[id] == generation_) {
        diag.report_error_name(msg::already_defined, name.view());
        return false;
    }
    accepted_in_[id] = generation_;
    accepted_.push_back({name, type});
    return true;
}

// --- prototypes ------------------------------------------------------------

void PrototypeTable::add(const NameKey& name, std::span<const TypeCode> parameters) {
    const NameId id = names_->intern(name);
    if (id >= index_.size()) index_.resize(id + 1, kNone);
    // The first record of a name wins; a later one could never be found.
    if (index_[id] != kNone) return;
    index_[id] = static_cast<std::uint32_t>(prototypes_.size());
    prototypes_.push_back(Prototype{types_.copy(parameters)});
}

const Prototype* PrototypeTable::find(const NameKey& name) const {
    const NameId id = names_->find(name);
    if (id >= index_.size() || index_[id] == kNone) return nullptr;
    return &prototypes_[index_[id]];
}

// --- slots -----------------------------------------------------------------

std::size_t SlotTable::KeyHash::operator()(const Key& key) const {
    std::uint64_t h = (static_cast<std::uint64_t>(key.owner) << 32) ^ key.name;
    h ^= (static_cast<std::uint64_t>(key.type_class) << 24) ^ (static_cast<std::uint64_t>(key.level) << 16);
    h *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

std::optional<std::int32_t> SlotTable::find(std::uint32_t owner, int type_class, int level, const NameKey& name) const {
    const NameId id = names_->find(name);
    if (id == kNoName) return std::nullopt;
    const std::int32_t* slot =
        map_.find({owner, id, static_cast<std::uint8_t>(type_class), static_cast<std::uint8_t>(level)});
    if (slot == nullptr) return std::nullopt;
    return *slot;
}

std::int32_t SlotTable::add(std::uint32_t owner, int type_class, int level, const NameKey& name, std::int32_t& count) {
    const Key key{owner, names_->intern(name), static_cast<std::uint8_t>(type_class), static_cast<std::uint8_t>(level)};
    const auto [slot, added] = map_.try_emplace(key, count);
    if (added) ++count;
    return *slot;
}

// --- functions -------------------------------------------------------------

void FunctionTable::add(const NameKey& name, FunctionRecord record) {
    if (record.kind == FunctionKind::user) record.user_index = user_count_++;
    record.parameter_types = types_.copy(record.parameter_types);
    record.parameter_slots = slots_.copy(record.parameter_slots);
    const NameId id = names_->intern(name);
    record.name = id;
    if (id >= first_.size()) first_.resize(id + 1, kNone);
    if (first_[id] == kNone) first_[id] = static_cast<std::uint32_t>(records_.size());
    records_.push_back(std::move(record));
}

std::optional<std::size_t> FunctionTable::find_position(const NameKey& name) const {
    const NameId id = names_->find(name);
    if (id >= first_.size() || first_[id] == kNone) return std::nullopt;
    return first_[id];
}

const FunctionRecord* FunctionTable::find(const NameKey& name) const {
    const auto position = find_position(name);
    return position ? &records_[*position] : nullptr;
}

std::optional<FunctionIndex> FunctionTable::find_index(const NameKey& name) const {
    const FunctionRecord* record = find(name);
    if (record == nullptr) return std::nullopt;
    if (record->kind == FunctionKind::standard)
        return FunctionIndex{record->kind, static_cast<std::int32_t>(record->entry)};
    return FunctionIndex{record->kind, record->user_index};
}

}  // namespace oxbuild
