# The include-layer check on two small made-up trees: one that keeps the build order, which must
# pass, and one with a planted violation of each kind, which must fail and name every one.
#
#   cmake -DCHECKER=<CheckIncludeLayers.cmake> -DWORK_DIR=<scratch folder> -P CheckIncludeLayersTest.cmake

set(folders "platform,Ostravo,app,analysis")

function(write_tree root)
  file(REMOVE_RECURSE "${root}")
  # Allowed: own folder, earlier folders, support fakes that need only earlier folders, main.cpp.
  file(WRITE "${root}/src/platform/Files.cpp" "#include \"platform/Files.h\"\n#include <vector>\n")
  file(WRITE "${root}/src/app/Doc.cpp" "#include \"Ostravo/EString.h\"\n#include \"app/Doc.h\"\n")
  file(WRITE "${root}/src/analysis/gui/Dlg.cpp" "#include \"app/Doc.h\"\n  #  include \"analysis/Run.h\"\n")
  # A file of a subfolder counts as the folder at the top of its path.
  file(WRITE "${root}/src/app/tool/gui/Panel.cpp" "#include \"app/tool/Run.h\"\n#include \"Ostravo/EString.h\"\n")
  file(WRITE "${root}/src/main.cpp" "#include \"analysis/gui/Dlg.h\"\n")
  file(WRITE "${root}/tests/support/Framework.h" "#pragma once\n#include \"app/GuiSeam.h\"\n")
  file(WRITE "${root}/tests/support/TempDir.cpp" "#include \"TempDir.h\"\n#include \"platform/Files.h\"\n")
  file(WRITE "${root}/tests/support/TempDir.h" "#pragma once\n")
  file(WRITE "${root}/tests/app/DocTest.cpp" "#include \"support/Framework.h\"\n#include \"support/TempDir.h\"\n")
endfunction()

function(run_checker root result output)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${root} -DFOLDERS=${folders} -P ${CHECKER}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} "${status}" PARENT_SCOPE)
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

# A tree that keeps the order passes.
set(clean "${WORK_DIR}/clean")
write_tree("${clean}")
run_checker("${clean}" status output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The check refused a tree that keeps the build order:\n${output}")
endif()

# The same tree with one planted violation of each kind fails and names each.
set(planted "${WORK_DIR}/planted")
write_tree("${planted}")
# A window of app including the later analysis folder.
file(WRITE "${planted}/src/app/gui/Frame.cpp" "#include \"app/Doc.h\"\n#include \"analysis/RowFlatField.h\"\n")
# A test of Ostravo reaching app through a support fake.
file(WRITE "${planted}/tests/Ostravo/LogTest.cpp" "#include \"support/Framework.h\"\n")
# The support library links only platform.
file(WRITE "${planted}/tests/support/Fake.cpp" "#include \"Ostravo/EString.h\"\n")
# A window in a subfolder of app including the later analysis folder.
file(WRITE "${planted}/src/app/tool/gui/Panel.cpp" "#include \"app/tool/Run.h\"\n#include \"analysis/Run.h\"\n")
# A core file including a later folder's window.
file(WRITE "${planted}/src/platform/Ui.cpp" "#include \"analysis/gui/Dlg.h\"\n")
run_checker("${planted}" status output)
if(status EQUAL 0)
  message(FATAL_ERROR "The check passed a tree with planted violations:\n${output}")
endif()
set(expected
  "src/app/gui/Frame.cpp: app may not include \"analysis/RowFlatField.h\""
  "tests/Ostravo/LogTest.cpp -> tests/support/Framework.h: Ostravo may not include \"app/GuiSeam.h\""
  "tests/support/Fake.cpp: platform may not include \"Ostravo/EString.h\""
  "src/app/tool/gui/Panel.cpp: app may not include \"analysis/Run.h\""
  "src/platform/Ui.cpp: platform may not include \"analysis/gui/Dlg.h\"")
foreach(line IN LISTS expected)
  string(FIND "${output}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "The check did not report: ${line}\nIt said:\n${output}")
  endif()
endforeach()
# Nothing else: the allowed includes of the clean part stay unreported.
string(REGEX MATCHALL "may not include" reported "${output}")
list(LENGTH reported count)
list(LENGTH expected wanted)
if(NOT count EQUAL wanted)
  message(FATAL_ERROR "The check reported ${count} violations, not ${wanted}:\n${output}")
endif()
message(STATUS "The check passes the clean tree and reports each of the ${wanted} planted violations.")
