# The Windows window (included by the top level in the MinGW builds): the plain dialog logic of
# src/ui, the Win32 views of src/ui/win32, and the resources, whose pictures the host program
# cardwright_artwork draws first. `make windows` builds that program in the host build and
# passes it as CARDWRIGHT_ARTWORK_TOOL.
set(CARDWRIGHT_ARTWORK_TOOL "" CACHE FILEPATH
  "The host-built cardwright_artwork that draws the window's pictures")
if(NOT EXISTS "${CARDWRIGHT_ARTWORK_TOOL}")
  message(FATAL_ERROR "CARDWRIGHT_ARTWORK_TOOL must name the host-built cardwright_artwork "
    "(make windows builds it in build/ and passes it)")
endif()
enable_language(RC)

set(_ui ${PROJECT_SOURCE_DIR}/src/ui)
file(GLOB WIN32_UI_SOURCES CONFIGURE_DEPENDS ${_ui}/win32/*.cpp)
add_library(cardwright_ui STATIC
  ${_ui}/cardwright_dlg.cpp ${_ui}/default_workers.cpp ${_ui}/dir_tree_ctrl.cpp
  ${_ui}/package_versions.cpp ${_ui}/settings_dialogs.cpp ${WIN32_UI_SOURCES})
target_link_libraries(cardwright_ui PUBLIC cardwright_core comctl32 comdlg32 shell32 ole32 gdi32 user32)

# The pictures, then the resource script that takes them.
set(_art ${CMAKE_BINARY_DIR}/artwork)
set(_pictures app.ico pass.ico fail.bmp step1.bmp step2.bmp step3.bmp)
list(TRANSFORM _pictures PREPEND ${_art}/ OUTPUT_VARIABLE _picture_files)
add_custom_command(OUTPUT ${_picture_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_art}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${CARDWRIGHT_ARTWORK_TOOL} ${_art}
  DEPENDS ${CARDWRIGHT_ARTWORK_TOOL}
  COMMENT "Drawing the window's pictures")
string(REGEX MATCH "^([0-9]+)\\.0*([0-9]+)" _ "${PROJECT_VERSION}")
file(WRITE ${_art}/cardwright_version.h.in
  "#define CARDWRIGHT_VERSION_COMMA ${CMAKE_MATCH_1},${CMAKE_MATCH_2},0,0\n"
  "#define CARDWRIGHT_VERSION_TEXT \"${PROJECT_VERSION}\"\n")
configure_file(${_art}/cardwright_version.h.in ${_art}/cardwright_version.h COPYONLY)
add_library(cardwright_resources OBJECT ${_ui}/win32/cardwright.rc)
target_include_directories(cardwright_resources PRIVATE ${_art} ${_ui}/win32 ${PROJECT_SOURCE_DIR}/src)
set_source_files_properties(${_ui}/win32/cardwright.rc PROPERTIES
  OBJECT_DEPENDS "${_picture_files};${_ui}/win32/cardwright.manifest;${_ui}/win32/resource_ids.h")

# One executable, both faces: a window program (nothing flashes up when started from Explorer)
# that writes to its caller's console when given a subcommand.
target_link_libraries(cardwright PRIVATE cardwright_resources)
target_link_options(cardwright PRIVATE -mwindows)

# Something to hand a technician: the program and a short README, packed by `make windows`.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_flavour win64)
else()
  set(_flavour win32)
endif()
set(_zip ${CMAKE_BINARY_DIR}/cardwright-${PROJECT_VERSION}-${_flavour}.zip)
set(_staging ${CMAKE_BINARY_DIR}/zip-staging)
add_custom_command(OUTPUT ${_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_staging} ${_zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_staging}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:cardwright> ${_staging}/cardwright.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/windows/README.txt ${_staging}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${_staging}
          ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip cardwright.exe README.txt
  DEPENDS cardwright ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
  COMMENT "Packing cardwright-${PROJECT_VERSION}-${_flavour}.zip")
add_custom_target(cardwright_zip DEPENDS ${_zip})
