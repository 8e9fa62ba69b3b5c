# The Windows window (included by the top level in the MinGW builds): the plain dialog logic of
# src/ui (cardwright_ui_logic, taken as the Qt window takes it), the Win32 views of
# src/ui/win32, and the resources, whose pictures the host program cardwright_artwork draws
# first. `make windows` builds that program in the host build and passes it as
# CARDWRIGHT_ARTWORK_TOOL.
set(CARDWRIGHT_ARTWORK_TOOL "" CACHE FILEPATH
  "The host-built cardwright_artwork that draws the window's pictures")
if(NOT EXISTS "${CARDWRIGHT_ARTWORK_TOOL}")
  message(FATAL_ERROR "CARDWRIGHT_ARTWORK_TOOL must name the host-built cardwright_artwork "
    "(make windows builds it in build/ and passes it)")
endif()
enable_language(RC)

set(_ui ${PROJECT_SOURCE_DIR}/src/ui)
file(GLOB WIN32_UI_SOURCES CONFIGURE_DEPENDS ${_ui}/win32/*.cpp)
add_library(cardwright_ui STATIC ${WIN32_UI_SOURCES})
target_link_libraries(cardwright_ui PUBLIC cardwright_ui_logic
  comctl32 comdlg32 shell32 ole32 gdi32 user32)

# The pictures, then the resource script that takes them.
set(_art ${CMAKE_BINARY_DIR}/artwork)
# Each mark and label at each scale of PICTURE_SCALES in resource_ids.h (NAME-PERCENT).
file(STRINGS ${_ui}/win32/resource_ids.h _scales REGEX "^#define PICTURE_SCALES ")
string(REGEX MATCHALL "[0-9]+" _scales "${_scales}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_ui}/win32/resource_ids.h)
set(_pictures app.ico)
foreach(_scale IN LISTS _scales)
  list(APPEND _pictures pass-${_scale}.ico fail-${_scale}.bmp step1-${_scale}.bmp
    step2-${_scale}.bmp step3-${_scale}.bmp)
endforeach()
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
set_source_files_properties(${_ui}/win32/cardwright.rc PROPERTIES OBJECT_DEPENDS
  "${_picture_files};${_ui}/win32/cardwright.manifest;${_ui}/win32/resource_ids.h;${_ui}/dialog_layout.h")

# Two programs from the same objects. cardwright.exe is a window program: nothing flashes up
# when it is started from Explorer, and given a subcommand it writes to its caller's console.
# But a shell neither waits for a window program nor hands it the console, so cardwright.com
# is its console twin: typed as "cardwright" the shell finds .com before .exe, waits for the
# job, gives it the console (question, Ctrl-C) and keeps its exit status.
target_link_libraries(cardwright PRIVATE cardwright_resources)
target_link_options(cardwright PRIVATE -mwindows)
add_executable(cardwright_console)
target_link_libraries(cardwright_console PRIVATE cardwright_cli cardwright_ui cardwright_resources)
set_target_properties(cardwright_console PROPERTIES OUTPUT_NAME cardwright SUFFIX .com)
target_link_options(cardwright_console PRIVATE -mconsole)

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
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:cardwright_console> ${_staging}/cardwright.com
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/windows/README.txt ${_staging}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${_staging}
          ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip cardwright.exe cardwright.com README.txt
  DEPENDS cardwright cardwright_console ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
  COMMENT "Packing cardwright-${PROJECT_VERSION}-${_flavour}.zip")
add_custom_target(cardwright_zip DEPENDS ${_zip})

# The installer (NSIS, packaging/windows/cardwright.nsi): both programs, the Start menu entry,
# the uninstaller under "Apps", the PATH if ticked. `make windows` builds it beside the zip.
find_program(CARDWRIGHT_MAKENSIS makensis REQUIRED)
set(_setup ${CMAKE_BINARY_DIR}/cardwright-${PROJECT_VERSION}-setup.exe)
set(_nsi ${PROJECT_SOURCE_DIR}/packaging/windows/cardwright.nsi)
string(REGEX MATCH "^([0-9]+)\\.0*([0-9]+)" _ "${PROJECT_VERSION}")
add_custom_command(OUTPUT ${_setup}
  COMMAND ${CARDWRIGHT_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION}
          -DVERSION_QUAD=${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.0.0 -DFLAVOUR=${_flavour}
          -DPROGRAM_EXE=$<TARGET_FILE:cardwright> -DPROGRAM_COM=$<TARGET_FILE:cardwright_console>
          -DREADME=${PROJECT_SOURCE_DIR}/docs/windows/README.txt -DICON=${_art}/app.ico
          -DOUTFILE=${_setup} ${_nsi}
  DEPENDS cardwright cardwright_console ${_nsi} ${PROJECT_SOURCE_DIR}/docs/windows/README.txt
          ${_art}/app.ico
  COMMENT "Building cardwright-${PROJECT_VERSION}-setup.exe (${_flavour})")
add_custom_target(cardwright_setup DEPENDS ${_setup})
