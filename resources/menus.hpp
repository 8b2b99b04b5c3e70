// #menu: a tree of pop-ups and command items under a menu number, encoded as
// words into the menu section, the last section of the module.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/resource_records.hpp"

namespace oxbuild {

class Compiler;

// #menu number { entries }   where an entry is
//   POPUP "text" { entries }   or   MENUITEM "text", id, value
void directive_menu(Compiler& c);

// Marker, directory offset, 0, K, K menu offsets, then the encoded menus.
void write_menu_section(Compiler& c);

// The section's size for these menus, for the module's layout.
std::int64_t menu_section_size(const std::vector<Menu>& menus);

}  // namespace oxbuild
