# The Windows builds' tests as entries of the host build's ctest: scripts/wine-test.sh runs
# each cross build's unit tests and cardwright.exe end to end under Wine. The cross builds
# themselves come from `make windows-tests` (the Makefile's test target builds them first);
# an entry whose build or Wine is missing reports itself skipped, with the reason.
set(CARDWRIGHT_WINDOWS_BUILDS
  "${PROJECT_SOURCE_DIR}/build-win64;${PROJECT_SOURCE_DIR}/build-win32"
  CACHE STRING "The cross builds whose tests run under Wine")
foreach(winbuild IN LISTS CARDWRIGHT_WINDOWS_BUILDS)
  get_filename_component(flavour ${winbuild} NAME)
  foreach(mode unit cli)
    add_test(NAME wine_${flavour}_${mode}
      COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh ${mode} ${winbuild}
              ${CMAKE_BINARY_DIR}/wine)
    # One Wine prefix, one wineserver: the entries take turns.
    set_tests_properties(wine_${flavour}_${mode} PROPERTIES
      SKIP_RETURN_CODE 77 RESOURCE_LOCK wine LABELS "wine;slow" TIMEOUT 900)
  endforeach()
endforeach()
