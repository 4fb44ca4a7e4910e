# Writes a C++ source holding every bitmap named in the resource script as a byte array,
# and the table that findBitmapResource searches (Linux builds).
#   cmake -DRC=<velmorloom.rc> -DOUT=<BitmapData.cpp> -P EmbedBitmaps.cmake
get_filename_component(dir ${RC} DIRECTORY)
file(STRINGS ${RC} lines REGEX "^[0-9]+[ \t]+BITMAP[ \t]+\"[^\"]+\"")
set(arrays "")
set(table "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9]+)[ \t]+BITMAP[ \t]+\"([^\"]+)\"" _ "${line}")
  set(id ${CMAKE_MATCH_1})
  set(file ${CMAKE_MATCH_2})
  file(READ ${dir}/${file} hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR bytes "${length} / 2")
  # 32 bytes to a line
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" hex "${hex}")
  string(APPEND arrays "// ${file}\nalignas(4) const unsigned char bitmap${id}[${bytes}] = {\n${hex}};\n\n")
  string(APPEND table "    {${id}, bitmap${id}, sizeof bitmap${id}},\n")
endforeach()
file(WRITE ${OUT}.tmp
"// Generated from velmorloom.rc by EmbedBitmaps.cmake; do not edit.
#include \"resources/linux/EmbeddedBitmaps.h\"

namespace vl {
namespace {

${arrays}} // namespace

const EmbeddedBitmap embeddedBitmaps[] = {
${table}};
const std::size_t embeddedBitmapCount = sizeof embeddedBitmaps / sizeof embeddedBitmaps[0];

} // namespace vl
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
