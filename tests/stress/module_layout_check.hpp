// An independent reading of a whole module file that checks every offset,
// count and size against the others: the header's section offsets, the
// function descriptors, every instruction of the code area (so that every
// code address lands on an instruction start), the bitmap, wave and menu
// sections, and that the menu section ends exactly at the end of the file.
// Shared by the stress tests and the fuzz targets.
#pragma once

#include <string>
#include <vector>

namespace oxtest {

// "" when the module is consistent, otherwise what is wrong and where.
std::string check_module_layout(const std::vector<unsigned char>& module);

}  // namespace oxtest
