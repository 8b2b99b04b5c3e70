#include "symbols/symbol_tables.hpp"

#include <algorithm>
#include <cstring>

#include "core/fatal.hpp"
#include "symbols/host_tables.hpp"

namespace oxbuild {

bool is_reserved_word(std::string_view name) {
    if (!kReservedWordFilter.may_hold(name)) return false;
    for (const std::string_view word : kReservedWords)
        if (word == name) return true;
    return false;
}

bool check_name_rules_fully(Diagnostics& diag, const NameKey& key) {
    const std::string_view name = key.text;
    if (is_reserved_word(name)) {
        diag.report_error_name(msg::reserved_word, name);
        return false;
    }
    if (is_standard_function_name(key)) {
        diag.report_error_name(msg::standard_function_name, name);
        return false;
    }
    if (!begins_like_a_name(name)) {
        diag.report_error_name(msg::name_not_letter, name);
        return false;
    }
    return true;
}

// --- scope lists -----------------------------------------------------------

void ScopeTable::report_already_defined(Diagnostics& diag, const NameKey& name) {
    diag.report_error_name(msg::already_defined, name.text);
}

void ScopeTable::push_entry(std::uint32_t& top, NameId id, int level, TypeCode type, std::int32_t slot) {
    if (level == 0) {
        top = level_0(type, slot, top);
        return;
    }
    top = add_entry({type, static_cast<std::uint8_t>(level), slot, top});
    // No block closes level 0, so its list is never freed and its names
    // need no listing.
    declared_[static_cast<std::size_t>(level)].push_back(id);
}

std::uint32_t ScopeTable::level_0(TypeCode type, std::int32_t slot, std::uint32_t below) {
    if (below == kNoEntry && fits_level_0(slot)) return level_0_reference(type, slot);
    return add_entry({type, 0, slot, below});
}

std::uint32_t ScopeTable::add_entry(const Entry& entry) {
    if (!free_entries_.empty()) return reuse_free_entry(entry);
    // Indexes keep bit 31 clear, for the references to level-0 declarations.
    if (entries_.size() >= kLevel0) fatal_stop("more than 2^31 declarations held at once");
    entries_.push_back(entry);
    return static_cast<std::uint32_t>(entries_.size() - 1);
}

std::optional<TypeCode> ScopeTable::find(int level, const NameKey& name) const {
    const std::uint32_t e = find_at(names_->find(name), level);
    if (e == kNoEntry) return std::nullopt;
    return is_level_0(e) ? level_0_type(e) : entries_[e].type;
}

// --- parameter lists -------------------------------------------------------

void ParameterList::restart_generations() {
    names_->reset_field(&NameRecord::accepted_in, 0);
    generation_ = 1;
}

void ParameterList::report_twice(Diagnostics& diag, const Word& name) {
    diag.report_error_name(msg::already_defined, name.view());
}

// --- prototypes ------------------------------------------------------------

// Room from the start for the host's lists, which every pass adds first.
PrototypeTable::PrototypeTable(NameTable& names) : names_(names) {
    names.reset_field(&NameRecord::prototype, kNone);
    kept_.reserve(standard_functions().size() + events().size());
}

// The first record of a name wins; a later one could never be found.
bool PrototypeTable::claim(NameId id, std::uint32_t index) {
    std::uint32_t& prototype = names_->record(id).prototype;
    if (prototype != kNone) return false;
    prototype = index;
    return true;
}

void PrototypeTable::add_kept(NameId id, std::span<const TypeCode> parameters) {
    if (claim(id, static_cast<std::uint32_t>(kept_.size()) | kKept)) kept_.push_back(Prototype{parameters});
}

namespace {

bool same_list(std::span<const TypeCode> a, std::span<const TypeCode> b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

std::uint32_t hash_of_list(std::span<const TypeCode> parameters) {
    std::uint64_t h = (parameters.size() + 1) * detail::kHashMultiplier;
    for (const TypeCode type : parameters) h = (h ^ type) * detail::kHashMultiplier;
    return static_cast<std::uint32_t>(h >> 32);
}

}  // namespace

// Functions in a row mostly take the same list: the last one is tried
// before the hash.
std::uint32_t PrototypeTable::list_index(std::span<const TypeCode> parameters) {
    if (last_list_ != kNone && same_list(copied(lists_[last_list_]), parameters)) return last_list_;
    last_list_ = hashed_list_index(parameters);
    return last_list_;
}

std::uint32_t PrototypeTable::hashed_list_index(std::span<const TypeCode> parameters) {
    if ((lists_.size() + 1) * 2 > list_slots_.size()) grow_list_slots();
    const std::uint32_t hash = hash_of_list(parameters);
    const std::size_t mask = list_slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        ListSlot& slot = list_slots_[i];
        if (slot.index == kNone) {
            slot = {hash, copy_list(parameters)};
            return slot.index;
        }
        if (slot.hash == hash && same_list(copied(lists_[slot.index]), parameters)) return slot.index;
    }
}

std::uint32_t PrototypeTable::copy_list(std::span<const TypeCode> parameters) {
    // A function's list is at most kMaxParameters long, as its parameter
    // list records them.
    static_assert(kMaxParameters < 1 << 16);
    const std::size_t n = parameters.size();
    if (n > kMaxParameters) fatal_stop("internal: a prototype longer than a parameter list");
    if (lists_.size() >= kKept) fatal_stop("internal: more than 2^31 distinct prototypes");
    TypeCode* list = types_.allot(kLengthBytes + n);
    list[0] = static_cast<TypeCode>(n & 0xFF);
    list[1] = static_cast<TypeCode>(n >> 8);
    for (std::size_t i = 0; i < n; ++i) list[kLengthBytes + i] = parameters[i];
    lists_.push_back(list);
    return static_cast<std::uint32_t>(lists_.size() - 1);
}

void PrototypeTable::grow_list_slots() {
    constexpr std::size_t kFirstListSlots = 16;
    std::vector<ListSlot> old(list_slots_.empty() ? kFirstListSlots : list_slots_.size() * 2);
    old.swap(list_slots_);
    const std::size_t mask = list_slots_.size() - 1;
    for (const ListSlot& slot : old) {
        if (slot.index == kNone) continue;
        std::size_t i = slot.hash & mask;
        while (list_slots_[i].index != kNone) i = (i + 1) & mask;
        list_slots_[i] = slot;
    }
}

// --- slots -----------------------------------------------------------------

std::size_t SlotTable::KeyHash::operator()(const Key& key) const {
    std::uint64_t h = key.name;
    h ^= (static_cast<std::uint64_t>(key.type_class) << 24) ^ (static_cast<std::uint64_t>(key.level) << 16);
    h *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

// A name without a current first entry has no slot at all: its first slot
// always goes to that entry.
std::optional<std::int32_t> SlotTable::find(int type_class, int level, NameId id) const {
    const First* found = id == kNoName ? nullptr : first_.find(id);
    if (found == nullptr) return std::nullopt;
    const First& first = *found;
    if (first.tag == tag(type_class, level)) return first.slot;
    if (!current(first)) return std::nullopt;
    const std::int32_t* slot = map_.find({id, static_cast<std::uint8_t>(type_class), static_cast<std::uint8_t>(level)});
    if (slot == nullptr) return std::nullopt;
    return *slot;
}

std::int32_t SlotTable::add_further(int type_class, int level, NameId id, std::int32_t& count) {
    const Key key{id, static_cast<std::uint8_t>(type_class), static_cast<std::uint8_t>(level)};
    const auto [slot, added] = map_.try_emplace(key, count);
    if (added) ++count;
    return *slot;
}

void SlotTable::restart_epochs() {
    first_.clear_all();
    epoch_ = 1;
}

}  // namespace oxbuild
