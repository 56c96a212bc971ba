# Included from the top level once wx, the UI kit and the resources are known (the folder's
# own CMakeLists.txt comes before them: the codec and capture need none of them).
set(VIDEO_SOURCES ${PROJECT_SOURCE_DIR}/modules/video)
# The windows on wx (a static library of their own, so that the window tests reach them
# directly) and the module library, modules/video/video.so beside the program. Like every
# module library it keeps its own copy of the foundation library and the UI kit (hidden
# visibility, nothing of the static libraries re-exported) and exports createModule only.
add_library(video_ui STATIC
  ${VIDEO_SOURCES}/VideoWindowLink.cpp
  ${VIDEO_SOURCES}/SessionReaper.cpp
  ${VIDEO_SOURCES}/CMemBitmap.cpp
  ${VIDEO_SOURCES}/LocalVideoPanel.cpp
  ${VIDEO_SOURCES}/CVideoDialog.cpp
  ${VIDEO_SOURCES}/CVideoApp.cpp
)
target_link_libraries(video_ui PUBLIC video_core ui_kit)
set_target_properties(video_ui PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
orvane_warnings(video_ui)

set(VIDEO_PICTURES ${PROJECT_SOURCE_DIR}/resources/modules/video)
orvane_embed_images(video_images FUNCTION registerVideoImages IMAGES
  128=${VIDEO_PICTURES}/128-video-window.png
  135=${VIDEO_PICTURES}/135-video-button.png
  1021=${VIDEO_PICTURES}/1021-waiting-picture.png
  # The message box's pictures and buttons, the program's own.
  218=${PROJECT_SOURCE_DIR}/resources/images/218-large-button.png
  219=${PROJECT_SOURCE_DIR}/resources/images/219-large-button-pressed.png
  220=${PROJECT_SOURCE_DIR}/resources/images/220-large-button-hover.png
  221=${PROJECT_SOURCE_DIR}/resources/images/221-large-button-default.png
  240=${PROJECT_SOURCE_DIR}/resources/images/240-box-stop.png)

add_library(video MODULE ${VIDEO_SOURCES}/VideoModule.cpp)
target_link_libraries(video PRIVATE video_ui video_images ${wxWidgets_LIBRARIES})
# Hidden visibility does not reach the toolkit's templates the library instantiates: the
# version script keeps everything but createModule local.
target_link_options(video PRIVATE -Wl,--exclude-libs,ALL
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/modules/ModuleExports.map)
set_property(TARGET video APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/modules/ModuleExports.map)
set_target_properties(video PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  PREFIX "" OUTPUT_NAME video LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/ui/modules/video)
orvane_warnings(video)
orvane_install_sounds(video SOUNDS video.wav)
