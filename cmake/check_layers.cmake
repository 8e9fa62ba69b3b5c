# Fails when a file of src/ includes a header of a higher layer. Run by the build (target
# check_layers) and by ctest, with LAYERS the folders of src/ from the lowest layer up and SRC the
# source folder. A subfolder counts as its top folder (platform/posix is platform).
#
#   cmake -DSRC=src -DLAYERS="platform;log;..." -P cmake/check_layers.cmake

if(NOT SRC OR NOT LAYERS)
  message(FATAL_ERROR "check_layers: SRC and LAYERS are required")
endif()

file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*.h" "${SRC}/*.cpp")
set(broken "")
foreach(file IN LISTS files)
  string(REGEX REPLACE "/.*" "" from "${file}")
  list(FIND LAYERS "${from}" fromRank)
  if(fromRank EQUAL -1)
    string(APPEND broken "\n  ${file}: its folder ${from} is not a layer")
    continue()
  endif()
  file(STRINGS "${SRC}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" target "${line}")
    if(NOT EXISTS "${SRC}/${target}" OR NOT target MATCHES "/")
      continue()  # a system header, or one beside the file
    endif()
    string(REGEX REPLACE "/.*" "" to "${target}")
    list(FIND LAYERS "${to}" toRank)
    if(toRank GREATER fromRank)
      string(APPEND broken "\n  ${file} includes ${target}: ${to} is above ${from}")
    endif()
  endforeach()
endforeach()

if(broken)
  message(FATAL_ERROR "Includes against the layers (${LAYERS}):${broken}")
endif()
