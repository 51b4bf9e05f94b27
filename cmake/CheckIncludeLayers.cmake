# Fails when a source or test file includes a header of a folder that builds after its own.
#
#   cmake -DSOURCE_DIR=<repository> -DFOLDERS=platform,Ostravo,... -P CheckIncludeLayers.cmake
#
# FOLDERS is the build order of the core folders (VANTELIS_CORE_FOLDERS, comma-separated). Each
# folder may include its own headers and those of the folders before it, never those after it: the
# later folder's library is not linked yet, and a call back into it must go through a seam the
# later folder installs.
#
# Which folder a file belongs to:
# - src/<folder>/... and tests/<folder>/..., with every subfolder below, gui/ folders included
#   (src/tools/projection/gui/ counts as tools). A window may use its own folder and the earlier
#   ones; later subsystems are reached through their seams.
# - tests/support/*.cpp build the test-support library, which links only platform: they count as
#   platform.
# - A header of tests/support/ counts as the folder of the file that includes it: its includes are
#   followed and checked against that file's folder (a test of Ostravo may not include a fake that
#   needs app/).
# - src/main.cpp wires every folder together and tests/support/gui/*.cpp link the whole GUI
#   library; neither is checked.

if(NOT SOURCE_DIR OR NOT FOLDERS)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<repository> -DFOLDERS=a,b,c -P CheckIncludeLayers.cmake")
endif()
string(REPLACE "," ";" order "${FOLDERS}")
get_filename_component(root "${SOURCE_DIR}" ABSOLUTE)
set(support_dir "${root}/tests/support")

set(violations "")

# Checks the quoted includes of file against folder owner. via names the support headers that
# led here, for the message; depth stops include cycles.
function(check_includes file owner via depth)
  if(depth GREATER 8)
    return()
  endif()
  list(FIND order "${owner}" owner_index)
  get_filename_component(dir "${file}" DIRECTORY)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\"([^\"]+)\"")
      continue()
    endif()
    set(header "${CMAKE_MATCH_1}")
    if(header MATCHES "^([^/]+)/")
      list(FIND order "${CMAKE_MATCH_1}" header_index)
      if(header_index GREATER owner_index)
        file(RELATIVE_PATH shown "${root}" "${file}")
        set(where "${shown}")
        if(via)
          set(where "${via} -> ${shown}")
        endif()
        set(violations "${violations}${where}: ${owner} may not include \"${header}\" (${CMAKE_MATCH_1} builds after ${owner})\n")
      endif()
    endif()
    # Follow the headers of tests/support, wherever the include names them from.
    foreach(candidate "${dir}/${header}" "${root}/tests/${header}")
      get_filename_component(candidate "${candidate}" ABSOLUTE)
      string(FIND "${candidate}" "${support_dir}/" at)
      if(at EQUAL 0 AND EXISTS "${candidate}" AND NOT candidate STREQUAL file)
        file(RELATIVE_PATH shown "${root}" "${file}")
        set(next_via "${shown}")
        if(via)
          set(next_via "${via} -> ${shown}")
        endif()
        math(EXPR next_depth "${depth} + 1")
        check_includes("${candidate}" "${owner}" "${next_via}" ${next_depth})
        break()
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

set(checked 0)
foreach(top src tests)
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${root}/${top}/*.h" "${root}/${top}/*.cpp")
  list(SORT files)
  foreach(file IN LISTS files)
    file(RELATIVE_PATH relative "${root}/${top}" "${file}")
    if(NOT relative MATCHES "^([^/]+)/")
      continue() # src/main.cpp and other files outside the folders
    endif()
    set(folder "${CMAKE_MATCH_1}")
    if(top STREQUAL "tests" AND folder STREQUAL "support")
      if(relative MATCHES "^support/[^/]+\\.cpp$")
        set(folder platform)
      else()
        continue() # support headers are checked as part of their includers; support/gui links everything
      endif()
    endif()
    list(FIND order "${folder}" index)
    if(index LESS 0)
      continue()
    endif()
    check_includes("${file}" "${folder}" "" 0)
    math(EXPR checked "${checked} + 1")
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "No source files found under ${root}/src and ${root}/tests.")
endif()
if(violations)
  # Plain message() keeps one violation per line; FATAL_ERROR would rewrap them.
  message("Includes against the build order (${FOLDERS}):\n${violations}")
  message(FATAL_ERROR "A file includes a header of a folder that builds after its own.")
endif()
message(STATUS "${checked} files include only their own folder and the folders before it.")
