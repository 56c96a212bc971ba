# Writes the source of one embedded image set (see EmbedImages.cmake). Run as
#   cmake -DOUTPUT=<file.cpp> -DFUNCTION=<name> -DIMAGES=<id>=<png>|<id>=<png>|... -P EmbedImagesScript.cmake

string(REPLACE "|" ";" images "${IMAGES}")
set(arrays "")
set(table "")
set(index 0)
foreach(item IN LISTS images)
  if(item STREQUAL "")
    continue()
  endif()
  string(REGEX MATCH "^([0-9]+)=(.+)$" matched "${item}")
  set(id ${CMAKE_MATCH_1})
  set(file ${CMAKE_MATCH_2})
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "${file} is empty")
  endif()
  # Sixteen bytes a line, each as 0xNN.
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  get_filename_component(name "${file}" NAME)
  string(APPEND arrays "// ${name}\nconst unsigned char image${index}[] = {\n${hex}\n};\n\n")
  string(APPEND table "    {${id}, image${index}, sizeof image${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Made by cmake/EmbedImagesScript.cmake from the images of the build; edits are lost.

#include \"ui/kit/EmbeddedImages.h\"

namespace {

${arrays}const orvane::EmbeddedImage images[] = {
${table}};

} // namespace

namespace orvane {

bool ${FUNCTION}()
{
    return registerEmbeddedImages(images, sizeof images / sizeof images[0]);
}

} // namespace orvane
")

file(WRITE "${OUTPUT}" "${source}")
