# Images embedded in a deliverable at build time.
#
#   orvane_embed_images(<target> FUNCTION <name> IMAGES <id>=<file.png> ...)
#
# makes the static library <target> with one function, `bool orvane::<name>()`, that hands
# the table of listed PNGs to ui/kit (ui/kit/EmbeddedImages.h), which decodes each and
# registers it under its resource id with the resource bitmaps; the images themselves stay
# plain data (the caller declares the function in a header of its own). It answers false when an image
# failed to decode; the others are registered all the same. Relative file names are taken
# from the calling folder. The bytes are written into a generated source in the build tree
# by a CMake script, so the build needs no other tool, and the source is made again whenever
# one of the images changes. The library is built position-independent with hidden
# visibility, so a module library can link its own set.

set(ORVANE_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedImagesScript.cmake)

function(orvane_embed_images target)
  cmake_parse_arguments(E "" "FUNCTION" "IMAGES" ${ARGN})
  if(NOT E_FUNCTION OR NOT E_IMAGES)
    message(FATAL_ERROR "orvane_embed_images(${target}): FUNCTION and IMAGES are required")
  endif()
  set(entries "")
  set(files "")
  set(seen "")
  foreach(item IN LISTS E_IMAGES)
    if(NOT item MATCHES "^([0-9]+)=(.+)$")
      message(FATAL_ERROR "orvane_embed_images(${target}): '${item}' is not <id>=<file>")
    endif()
    set(id ${CMAKE_MATCH_1})
    get_filename_component(file "${CMAKE_MATCH_2}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(id IN_LIST seen)
      message(FATAL_ERROR "orvane_embed_images(${target}): id ${id} is listed twice")
    endif()
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "orvane_embed_images(${target}): ${file} does not exist")
    endif()
    list(APPEND seen ${id})
    list(APPEND files "${file}")
    # '|' between entries: a ';' would split the argument of the command line.
    string(APPEND entries "${id}=${file}|")
  endforeach()

  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DFUNCTION=${E_FUNCTION} "-DIMAGES=${entries}"
            -P ${ORVANE_EMBED_SCRIPT}
    DEPENDS ${files} ${ORVANE_EMBED_SCRIPT}
    COMMENT "Embedding the images of ${target}"
    VERBATIM)

  add_library(${target} STATIC ${output})
  target_link_libraries(${target} PUBLIC ui_kit)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  orvane_warnings(${target})
endfunction()
