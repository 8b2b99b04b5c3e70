// The symbol tables: which names are visible at each block level (scope
// lists), which names can be called (prototypes), the function records with
// their local slot numbering, and the global slot numbering.
//
// The design walks linked lists and takes the first match; these tables keep
// that meaning (records in order, first match wins) but find names through
// hash maps, so lookups do not grow with the number of symbols.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "format/bytecode.hpp"
#include "core/char_classes.hpp"
#include "core/chunked_vector.hpp"
#include "core/symbol_info.hpp"
#include "core/diagnostics.hpp"
#include "core/flat_map.hpp"
#include "core/sink.hpp"
#include "lexer/name_map.hpp"
#include "lexer/word.hpp"
#include "symbols/host_tables.hpp"
#include "symbols/name_table.hpp"

namespace oxbuild {

inline constexpr int kBlockLevels = 256;  // levels 0 to 255
inline constexpr std::size_t kMaxParameters = 256;

// The type keywords and the statement keywords.
inline constexpr std::string_view kReservedWords[] = {"int",   "uint",  "str",      "if",    "elseif",
                                                      "else",  "while", "continue", "break", "return"};
inline constexpr NameFilter kReservedWordFilter(kReservedWords, [](std::string_view word) { return word; });

// Whether the word is a type keyword or a statement keyword.
bool is_reserved_word(std::string_view name);

// Whether the name begins as a name must: with a letter or '_'.
inline bool begins_like_a_name(std::string_view name) {
    return !name.empty() && (is_letter(static_cast<unsigned char>(name[0])) || name[0] == '_');
}

// check_name_rules for a name the quick test does not clear.
bool check_name_rules_fully(Diagnostics& diag, const NameKey& name);

// Checks the rules every new name must pass, in order: not a reserved word,
// not a standard function, begins with a letter or '_'. Reports the first
// that fails (detail ": NAME") and returns false. Inline: every declared
// name comes here, and nearly every one begins with a letter and has a first
// character and length that no reserved word and no standard function has.
inline bool check_name_rules(Diagnostics& diag, const NameKey& name) {
    const std::string_view text = name.text;
    if (begins_like_a_name(text) && !kReservedWordFilter.may_hold(text) && !kStandardFunctionFilter.may_hold(text))
        return true;
    return check_name_rules_fully(diag, name);
}

// The 256 scope lists. Names are declared into the list of the current block
// level; a level's list is freed when its block closes. Lists above the
// current level are always empty, so each name keeps a stack of its
// declarations in level order.
// A table's access to the compilation's names: shared with the other
// tables, or a table of its own when used alone.
class NamesRef {
public:
    NamesRef() : own_(std::make_unique<NameTable>()), names_(own_.get()) {}
    explicit NamesRef(NameTable& names) : names_(&names) {}
    NameTable* operator->() const { return names_; }

private:
    std::unique_ptr<NameTable> own_;
    NameTable* names_;
};

class ScopeTable {
public:
    ScopeTable() = default;
    // The table is the names' only scope table from now on.
    explicit ScopeTable(NameTable& names) : names_(names) { names.reset_field(&NameRecord::scope_top, kNoEntry); }


    // declare_symbol: name rules, then no duplicate in the level's list.
    bool declare(Diagnostics& diag, int level, const NameKey& name, TypeCode type) {
        return declare(diag, level, name, names_->intern(name), type);
    }
    // The same for a name already numbered (id is the name's number).
    bool declare(Diagnostics& diag, int level, const NameKey& name, NameId id, TypeCode type) {
        if (!may_declare(diag, level, name, id)) return false;
        push(id, level, type, 0);
        return true;
    }
    // The checks of declare alone: a declaration that passes them is added
    // with add_unchecked once its slot is known. Inline: every declaration
    // comes here.
    bool may_declare(Diagnostics& diag, int level, const NameKey& name, NameId id) const {
        if (!check_name_rules(diag, name)) return false;
        if (find_at(id, level) != kNoEntry) [[unlikely]] {
            report_already_defined(diag, name);
            return false;
        }
        return true;
    }
    // The entry of the name in one level's list.
    std::optional<TypeCode> find(int level, const NameKey& name) const;
    // The innermost declaration visible from the level, with the slot it
    // was added with (0 for declare).
    std::optional<SymbolInfo> lookup(const NameKey& name, int from_level) const {
        std::uint32_t e = top_of(name);
        for (; is_entry(e); e = entries_[e].below)
            if (entries_[e].level <= from_level) return SymbolInfo{entries_[e].type, entries_[e].level, entries_[e].slot};
        if (e == kNoEntry) return std::nullopt;
        return SymbolInfo{level_0_type(e), 0, level_0_slot(e)};
    }
    // Frees a block's list (level 1 and above: level 0 is never freed).
    // Inline: every block closing comes here. Lists above the current
    // level are empty, so the level's entries are on top of their names'
    // stacks.
    void free_level(int level) {
        auto& declared = declared_[static_cast<std::size_t>(level)];
        if (declared.empty()) return;
        for (const std::uint32_t id : declared) {
            std::uint32_t& top = this->top(id);
            if (top == kNoEntry || is_level_0(top) || entries_[top].level != level) continue;
            free_entries_.push_back(top);
            top = entries_[top].below;
        }
        declared.clear();
    }
    void add_unchecked(int level, NameId id, TypeCode type, std::int32_t slot) { push(id, level, type, slot); }

private:
    static constexpr std::uint32_t kNoEntry = kNoRecord;
    // A name's level-0 declaration, the bottom of its stack, is mostly its
    // only one (functions and globals): it is then kept in the reference
    // to it (the name's top, or the below of the entry above it) instead of
    // in an entry, when its slot fits: bit 31, the type, the slot.
    static constexpr std::uint32_t kLevel0 = 0x80000000;
    static constexpr unsigned kSlotBits = 23;
    static constexpr std::uint32_t kSlotMask = (std::uint32_t{1} << kSlotBits) - 1;
    static bool is_entry(std::uint32_t e) { return e < kLevel0; }  // not kNoEntry either
    static bool is_level_0(std::uint32_t e) { return (e & kLevel0) != 0; }  // kNoEntry is never asked
    static TypeCode level_0_type(std::uint32_t e) { return static_cast<TypeCode>((e & ~kLevel0) >> kSlotBits); }
    static std::int32_t level_0_slot(std::uint32_t e) { return static_cast<std::int32_t>(e & kSlotMask); }
    // The reference to a level-0 declaration: itself, else a new entry. A
    // slot of all ones stays out, as kNoEntry would be its reference.
    std::uint32_t level_0(TypeCode type, std::int32_t slot, std::uint32_t below);
    // Each name's declarations form a stack, innermost on top, linked through
    // one pool of entries, so that no name needs an allocation of its own.
    struct Entry {
        TypeCode type;
        std::uint8_t level;
        std::int32_t slot;
        std::uint32_t below;  // the next entry of the same name, or kNoEntry
    };
    // Inline for a name's first declaration at level 0 (a function's or a
    // global's), kept in its reference, and for a block's declaration that
    // reuses a freed entry, as nearly all do once the first function body
    // has closed; the rest go out of line.
    void push(NameId id, int level, TypeCode type, std::int32_t slot) {
        std::uint32_t& top = this->top(id);
        if (level == 0) {
            if (top == kNoEntry && fits_level_0(slot)) {
                top = level_0_reference(type, slot);
                return;
            }
        } else if (!free_entries_.empty()) {
            top = reuse_free_entry({type, static_cast<std::uint8_t>(level), slot, top});
            declared_[static_cast<std::size_t>(level)].push_back(id);
            return;
        }
        push_entry(top, id, level, type, slot);
    }
    static bool fits_level_0(std::int32_t slot) { return slot >= 0 && static_cast<std::uint32_t>(slot) < kSlotMask; }
    static std::uint32_t level_0_reference(TypeCode type, std::int32_t slot) {
        return kLevel0 | static_cast<std::uint32_t>(type) << kSlotBits | static_cast<std::uint32_t>(slot);
    }
    void push_entry(std::uint32_t& top, NameId id, int level, TypeCode type, std::int32_t slot);
    std::uint32_t add_entry(const Entry& entry);
    // Stores the entry in a freed one (there is one) and returns its index.
    std::uint32_t reuse_free_entry(const Entry& entry) {
        const std::uint32_t e = free_entries_.back();
        free_entries_.pop_back();
        entries_[e] = entry;
        return e;
    }
    // The name's entry at the level, or kNoEntry. Entries are stacked in
    // level order, so the walk stops below the level.
    std::uint32_t find_at(NameId id, int level) const {
        if (id == kNoName) return kNoEntry;
        std::uint32_t e = top(id);
        for (; is_entry(e); e = entries_[e].below) {
            if (entries_[e].level == level) return e;
            if (entries_[e].level < level) return kNoEntry;
        }
        return level == 0 ? e : kNoEntry;  // a level-0 declaration in its reference, or none
    }
    static void report_already_defined(Diagnostics& diag, const NameKey& name);
    std::uint32_t top_of(const NameKey& name) const {
        const NameId id = names_->find(name);
        return id == kNoName ? kNoEntry : top(id);
    }
    std::uint32_t& top(NameId id) const { return names_->record(id).scope_top; }

    NamesRef names_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> free_entries_;
    std::array<std::vector<std::uint32_t>, kBlockLevels> declared_;  // ids declared per level above 0
};

// The parameter list of a function statement: a scope list of its own until
// the body opens and it becomes the list of level 1.
class ParameterList {
public:
    ParameterList() = default;
    // The list is the names' only parameter list from now on.
    explicit ParameterList(NameTable& names) : names_(names) { names.reset_field(&NameRecord::accepted_in, 0); }

    struct Named {
        NameId id;
        TypeCode type;
    };

    // Empties the list and keeps its room, so that a list reused for every
    // function statement allocates nothing. Inline: every function
    // statement comes here.
    void clear() {
        types.clear();
        slots.clear();
        counters.fill(0);
        accepted_.clear();
        named_.clear();
        if (++generation_ == 0) [[unlikely]] restart_generations();
    }

    // declare_symbol on the list's own scope list.
    bool declare(Diagnostics& diag, const Word& name, TypeCode type) { return declare(diag, name, names_->intern(name), type); }
    bool declare(Diagnostics& diag, std::string_view name, TypeCode type) { return declare(diag, Word(name), type); }
    // The same for a name already numbered (id is the name's number).
    // Inline: every parameter comes here.
    bool declare(Diagnostics& diag, const Word& name, NameId id, TypeCode type) {
        if (!check_name_rules(diag, name)) return false;
        std::uint32_t& accepted_in = names_->record(id).accepted_in;
        if (accepted_in == generation_) [[unlikely]] {
            report_twice(diag, name);
            return false;
        }
        accepted_in = generation_;
        accepted_.push_back({id, type});
        return true;
    }
    // A recorded parameter with a name, whether or not its name was accepted.
    void add_named(NameId id, TypeCode type) { named_.push_back({id, type}); }

    // The names in the list's scope list, for scope list 1 of the body.
    const std::vector<Named>& accepted() const { return accepted_; }
    // Every recorded named parameter in order, for the local slots.
    const std::vector<Named>& named() const { return named_; }

    std::vector<TypeCode> types;      // one per recorded parameter, at most 256
    std::vector<std::int32_t> slots;  // slot within its type class, -1 unnamed
    std::array<std::int32_t, kTypeClassCount> counters{};  // named parameters per type class

private:
    NamesRef names_;
    std::vector<Named> accepted_;
    std::vector<Named> named_;
    // Each name's record holds the list (by its generation) that accepted
    // it, so that a clear costs nothing however many names were seen.
    std::uint32_t generation_ = 1;
    // After 2^32 - 1 lists: every record's mark back to none, the count to 1.
    void restart_generations();
    [[gnu::cold]] static void report_twice(Diagnostics& diag, const Word& name);
};

struct Prototype {
    std::span<const TypeCode> parameters;
};

// Rebuilt in each pass: the standard functions, the events, then user
// functions as their first prototype or definition is met.
class PrototypeTable {
public:
    PrototypeTable() = default;
    // The table is the names' only prototype table from now on.
    explicit PrototypeTable(NameTable& names);
    void add(const NameKey& name, std::span<const TypeCode> parameters) { add(names_->intern(name), parameters); }
    void add(NameId id, std::span<const TypeCode> parameters) {
        std::uint32_t& prototype = names_->record(id).prototype;
        if (prototype == kNone) prototype = list_index(parameters);
    }
    // The same with a parameter list that outlives the table (the host's),
    // kept as it is.
    void add_kept(NameId id, std::span<const TypeCode> parameters);
    std::optional<Prototype> find(const NameKey& name) const { return find(names_->find(name)); }
    std::optional<Prototype> find(NameId id) const {
        if (id == kNoName) return std::nullopt;
        const std::uint32_t index = names_->record(id).prototype;
        if (index == kNone) return std::nullopt;
        if ((index & kKept) != 0) return kept_[index & ~kKept];
        return Prototype{copied(lists_[index])};
    }

private:
    static constexpr std::uint32_t kNone = kNoRecord;
    // A prototype's index: a kept list's has this bit set.
    static constexpr std::uint32_t kKept = 0x80000000;
    // A copied list is its length in two bytes, low byte first, then its
    // types, held by a pointer to its first byte: eight bytes a distinct
    // list, and none more for a function that shares one.
    static constexpr std::size_t kLengthBytes = 2;
    static std::span<const TypeCode> copied(const TypeCode* list) {
        return {list + kLengthBytes, static_cast<std::size_t>(list[0] | list[1] << 8)};
    }
    // Numbers the name's prototype unless it has one.
    bool claim(NameId id, std::uint32_t index);
    // The index of a copy of the list: equal lists share one, as most
    // functions take one of a few lists.
    std::uint32_t list_index(std::span<const TypeCode> parameters);
    std::uint32_t hashed_list_index(std::span<const TypeCode> parameters);
    std::uint32_t copy_list(std::span<const TypeCode> parameters);
    void grow_list_slots();

    NamesRef names_;
    std::vector<Prototype> kept_;             // the host's lists, as given
    ChunkedVector<const TypeCode*> lists_;    // copied lists, by index, each once
    Arena<TypeCode> types_;
    // The copied lists by their hash: open addressing, at most half full.
    struct ListSlot {
        std::uint32_t hash = 0;
        std::uint32_t index = kNone;
    };
    std::vector<ListSlot> list_slots_;
    std::uint32_t last_list_ = kNone;  // the list the last user function took
};

enum class FunctionKind : std::uint8_t { user = 0, standard = 1 };

// A record is kept for every function of the program, in 16 bytes: a user
// function's descriptor (its parameter lists and local counts) is kept by
// FunctionDescriptors instead, out of memory past a bound.
struct FunctionRecord {
    NameId name = kNoName;  // set by FunctionTable::add
    std::int32_t user_index = 0;  // position among the user functions
    // The code address of the body, or the standard number. Code addresses
    // are kept in 32 bits, as block records keep them: a module whose code
    // does not fit is refused before anything is written.
    std::int32_t entry = 0;
    FunctionKind kind = FunctionKind::user;
    std::uint16_t parameter_count = 0;  // at most kMaxParameters
};
static_assert(kMaxParameters <= 0xFFFF);
static_assert(sizeof(FunctionRecord) <= 16);

struct FunctionIndex {
    FunctionKind kind;
    std::int32_t call_number;  // standard number, or user function index
};

// Variable slots of one owner (the globals, or the function being compiled,
// the table emptied for each): a slot is keyed by its type class, block level
// and name. Its number is its position among the slots of the same class.
// Most names have one slot: it is kept in
// an entry by the name's number, found without hashing; only a name's further
// slots (the same name at other levels or in other classes) go to a map.
class SlotTable {
public:
    SlotTable() = default;
    explicit SlotTable(NameTable& names) : names_(names) {}

    std::optional<std::int32_t> find(int type_class, int level, const NameKey& name) const {
        return find(type_class, level, names_->find(name));
    }
    std::optional<std::int32_t> find(int type_class, int level, NameId id) const;
    // Adds the slot unless it exists; count is the owner's count for the
    // class. Returns the slot's number.
    std::int32_t add(int type_class, int level, const NameKey& name, std::int32_t& count) {
        return add(type_class, level, names_->intern(name), count);
    }
    // Inline for a name's first slot, the common case; further ones go to
    // the map.
    std::int32_t add(int type_class, int level, NameId id, std::int32_t& count) {
        if (id != kNoName) {
            First& first = first_[id];
            if (first.tag == tag(type_class, level)) return first.slot;
            if (!current(first)) {
                first = {tag(type_class, level), count};
                return count++;
            }
        }
        return add_further(type_class, level, id, count);
    }
    // Empties the table in constant time: an entry counts only when it
    // carries the table's current epoch.
    void clear() {
        map_.clear();
        if (++epoch_ == kEpochs) [[unlikely]] restart_epochs();
    }

private:
    struct Key {
        NameId name;
        std::uint8_t type_class;
        std::uint8_t level;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };

    // A name's first slot since the table was last emptied, in 8 bytes:
    // its tag holds the epoch it was made in (0: none), its type class and
    // its level, so that one comparison tells whether it is the key's.
    struct First {
        std::uint32_t tag = 0;
        std::int32_t slot = 0;
    };
    static constexpr unsigned kLevelBits = 8;
    static constexpr unsigned kClassBits = 3;
    static constexpr unsigned kEpochShift = kLevelBits + kClassBits;
    static constexpr std::uint32_t kEpochs = std::uint32_t{1} << (32 - kEpochShift);
    static_assert(kBlockLevels <= (1 << kLevelBits) && kTypeClassCount <= (1 << kClassBits));
    std::uint32_t tag(int type_class, int level) const {
        return epoch_ << kEpochShift | static_cast<std::uint32_t>(type_class) << kLevelBits | static_cast<std::uint32_t>(level);
    }
    bool current(const First& first) const { return first.tag >> kEpochShift == epoch_; }

    NamesRef names_;
    NameFacts<First> first_;
    std::uint32_t epoch_ = 1;  // below kEpochs
    // After the last epoch: every entry cleared, the epochs counted from 1.
    void restart_epochs();
    // A slot of a name that has its first one under another key, or none.
    std::int32_t add_further(int type_class, int level, NameId id, std::int32_t& count);
    FlatMap<Key, std::int32_t, KeyHash> map_;  // the further slots

public:
    // How many clears make every epoch come round again.
    static constexpr std::uint32_t kClearsPerRound = kEpochs - 1;
};

// Function records live across both passes: made in pass 1, read in pass 2.
class FunctionTable {
public:
    FunctionTable() = default;
    // The table is the names' only function table from now on.
    explicit FunctionTable(NameTable& names) : names_(names) { names.reset_field(&NameRecord::first_function, kNone); }
    // Keeps a copy of the record.
    void add(const NameKey& name, const FunctionRecord& record) { add(names_->intern(name), record); }
    void add(NameId id, const FunctionRecord& given) {
        std::uint32_t& first = names_->record(id).first_function;
        if (first == kNone) first = static_cast<std::uint32_t>(records_.size());
        records_.push_back(given);
        FunctionRecord& record = records_.back();
        if (record.kind == FunctionKind::user) record.user_index = user_count_++;
        record.name = id;
    }
    const FunctionRecord* find(const NameKey& name) const { return find(names_->find(name)); }
    const FunctionRecord* find(NameId id) const {
        if (id == kNoName) return nullptr;
        const std::uint32_t first = names_->record(id).first_function;
        return first == kNone ? nullptr : &records_[first];
    }
    std::optional<FunctionIndex> find_index(const NameKey& name) const { return find_index(names_->find(name)); }
    std::optional<FunctionIndex> find_index(NameId id) const {
        const FunctionRecord* record = find(id);
        if (record == nullptr) return std::nullopt;
        if (record->kind == FunctionKind::standard) return FunctionIndex{record->kind, record->entry};
        return FunctionIndex{record->kind, record->user_index};
    }
    const ChunkedVector<FunctionRecord>& records() const { return records_; }
    std::string_view name_of(const FunctionRecord& record) const { return names_->text(record.name); }
    std::int32_t user_count() const { return user_count_; }

private:
    static constexpr std::uint32_t kNone = kNoRecord;
    NamesRef names_;
    ChunkedVector<FunctionRecord> records_;  // no reallocation peaks as it grows
    std::int32_t user_count_ = 0;
};

// The global slot counts per value type (int, uint, str).
inline constexpr int kGlobalTypes = 3;

}  // namespace oxbuild
