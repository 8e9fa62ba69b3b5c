# The Debian package (make package): the program, its desktop entry and icons (drawn by the
# program's own artwork code), its manual page (help2man over the program's help, with the
# hand-written sections of packaging/cardwright.h2m), bash completion and the JSON keys.
include(GNUInstallDirs)

set(PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(PACKAGING_OUT ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(ICON_SIZES 16 22 24 32 48 64 128 256)

add_executable(render_icon src/ui/qt/tools/render_icon.cpp)
target_link_libraries(render_icon PRIVATE cardwright_ui)
set(ICON_FILES)
foreach(side ${ICON_SIZES})
  list(APPEND ICON_FILES ${PACKAGING_OUT}/icons/${side}x${side}/apps/cardwright.png)
endforeach()
add_custom_command(OUTPUT ${ICON_FILES}
  COMMAND render_icon ${PACKAGING_OUT}/icons
  DEPENDS render_icon
  COMMENT "Drawing the application icon")

find_program(HELP2MAN help2man)
set(MAN_PAGE ${PACKAGING_OUT}/cardwright.1)
add_custom_command(OUTPUT ${MAN_PAGE}.gz
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --source=Cardwright
    --include=${PACKAGING_DIR}/cardwright.h2m --output=${MAN_PAGE} $<TARGET_FILE:cardwright>
  COMMAND gzip -9nf ${MAN_PAGE}
  DEPENDS cardwright ${PACKAGING_DIR}/cardwright.h2m
  COMMENT "Writing the manual page")

# A native package's changelog: this version's entry.
string(TIMESTAMP CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PACKAGING_DIR}/changelog.in ${PACKAGING_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${PACKAGING_OUT}/changelog.gz
  COMMAND gzip -9nkf ${PACKAGING_OUT}/changelog
  DEPENDS ${PACKAGING_OUT}/changelog)

add_custom_target(package_files DEPENDS ${ICON_FILES} ${MAN_PAGE}.gz ${PACKAGING_OUT}/changelog.gz)

install(TARGETS cardwright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PACKAGING_DIR}/cardwright.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(side ${ICON_SIZES})
  install(FILES ${PACKAGING_OUT}/icons/${side}x${side}/apps/cardwright.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps)
endforeach()
install(FILES ${MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PACKAGING_DIR}/cardwright.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME cardwright)
install(FILES ${PACKAGING_DIR}/copyright ${PACKAGING_OUT}/changelog.gz docs/json.md
              docs/manifest.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/cardwright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cardwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Cardwright maintainers <maintainers@users.noreply.c-seed-56ffbc84.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "programs and checks controller CompactFlash cards")
# The extended description; CPack indents its lines and puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Cardwright checks a firmware package (.FWP) against the CompactFlash card of
an industrial controller (an Engine controller or a 3940 or 3950 operator
panel), backs the card up, writes the package's files, reads every file back
and compares CRC-32s, restores the backup when anything fails, and leaves an
upgrade record on the card. It has a Qt window and a command line with JSON
reports.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
