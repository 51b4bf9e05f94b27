# Helpers shared by the top-level, test and benchmark lists.

function(vantelis_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# One static library per core source folder (vantelis_<folder>), each linking the folders
# listed before it. A folder without sources yet still gets a library so that the order holds.
function(vantelis_core_libraries)
  set(previous "")
  foreach(folder IN LISTS ARGN)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
      ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
    list(FILTER sources EXCLUDE REGEX "/gui/")
    set(lib vantelis_${folder})
    set(cpp_sources ${sources})
    list(FILTER cpp_sources INCLUDE REGEX "\\.cpp$")
    if(cpp_sources)
      add_library(${lib} STATIC ${sources})
      vantelis_warnings(${lib})
      set(scope PUBLIC)
    else()
      add_library(${lib} INTERFACE)
      set(scope INTERFACE)
    endif()
    target_include_directories(${lib} ${scope} ${PROJECT_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${lib} ${scope} ${previous} ${OpenCV_LIBS} PkgConfig::EXIV2 Threads::Threads)
    target_include_directories(${lib} SYSTEM ${scope} ${OpenCV_INCLUDE_DIRS})
    set(previous ${lib})
  endforeach()
endfunction()

# tests/<folder>/*.cpp -> test_<folder> linking vantelis_<folder>;
# tests/<folder>/gui/*.cpp -> test_<folder>_gui linking vantelis_gui.
# Every test is registered with CTest and labelled with its folder.
function(vantelis_test_folder folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB gui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/gui/*.cpp)
  if(sources)
    add_executable(test_${folder} ${sources})
    target_link_libraries(test_${folder} PRIVATE vantelis_${folder} vantelis_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    vantelis_warnings(test_${folder})
    gtest_discover_tests(test_${folder} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES LABELS ${folder} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  if(gui_sources)
    add_executable(test_${folder}_gui ${gui_sources})
    set_target_properties(test_${folder}_gui PROPERTIES AUTOMOC ON)
    target_link_libraries(test_${folder}_gui PRIVATE vantelis_gui vantelis_test_support_gui Qt6::Test GTest::gtest GTest::gmock)
    vantelis_warnings(test_${folder}_gui)
    gtest_discover_tests(test_${folder}_gui DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      PROPERTIES LABELS "${folder};gui" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
