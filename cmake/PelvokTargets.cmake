# Helpers that keep the per-folder CMakeLists short, and the boundaries between the libraries
# enforced by the build: a target sees the headers of its own folder and of the libraries it
# links, nothing else, so an include across a boundary that is not linked fails to compile.

# pelvok_export_folder(TARGET PUBLIC|PRIVATE|INTERFACE FOLDER...)
# Makes "<FOLDER relative to the source root>/name.h" includable for the target (and, PUBLIC or
# INTERFACE, for whatever links it) without putting the source root on its include path: the
# target gets an include directory of its own in the build tree that holds one symbolic link
# per folder, under the folder's relative path.
function(pelvok_export_folder target scope)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  foreach(folder ${ARGN})
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${folder})
    get_filename_component(parent ${root}/${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${folder} ${root}/${relative} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# pelvok_add_library(NAME SOURCES src... [PUBLIC dep...] [PRIVATE dep...])
# A static library of the listed sources of the calling folder, exporting that folder's
# headers. PUBLIC: the libraries its headers include; PRIVATE: those only its sources include.
function(pelvok_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  pelvok_export_folder(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()

# pelvok_add_test_support(NAME FOLDERS folder... LIBS lib...)
# A header-only test helper library: the headers of FOLDERS for the tests that link it, and the
# libraries those headers include.
function(pelvok_add_test_support name)
  cmake_parse_arguments(ARG "" "" "FOLDERS;LIBS" ${ARGN})
  add_library(${name} INTERFACE)
  pelvok_export_folder(${name} INTERFACE ${ARG_FOLDERS})
  target_link_libraries(${name} INTERFACE ${ARG_LIBS})
endfunction()

# pelvok_discovered_test_properties(TARGET [TEST NAME] [LABELS label...] [RUN_SERIAL])
# Properties of the tests gtest_discover_tests found in TARGET, or of its test NAME alone. Its
# own PROPERTIES are one flat list that reads a second label as a property's name (and the
# pairs after it shifted: a TIMEOUT lost), and name no single test, so these are set by a
# ctest include file read after the discovered tests.
function(pelvok_discovered_test_properties target)
  cmake_parse_arguments(ARG "RUN_SERIAL" "TEST" "LABELS" ${ARGN})
  set(properties "")
  if(ARG_LABELS)
    string(APPEND properties " LABELS \"${ARG_LABELS}\"")
  endif()
  if(ARG_RUN_SERIAL)
    string(APPEND properties " RUN_SERIAL TRUE")
  endif()
  if(ARG_TEST)
    set(tests "\"${ARG_TEST}\"")
  else()
    set(tests "\${${target}_TESTS}")
  endif()
  string(MAKE_C_IDENTIFIER "${target}_${ARG_TEST}" id)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${id}_properties.cmake)
  # Nothing to set before the program is built (its tests are not yet discovered).
  file(WRITE ${file} "list(FIND ${target}_TESTS \"${ARG_TEST}\" found)\n"
                     "if(${target}_TESTS AND (\"${ARG_TEST}\" STREQUAL \"\" OR NOT found EQUAL -1))\n"
                     "  set_tests_properties(${tests} PROPERTIES${properties})\n"
                     "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# pelvok_add_gtest(NAME SOURCES src... LIBS lib... [LABELS label...])
# One GoogleTest executable whose tests ctest lists one by one. It sees the headers of its own
# folder and of the libraries it links.
function(pelvok_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  pelvok_export_folder(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    PROPERTIES TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
  if(ARG_LABELS)
    pelvok_discovered_test_properties(${name} LABELS ${ARG_LABELS})
  endif()
endfunction()

# pelvok_add_fuzzer(NAME SOURCE src LIBS lib... [SECONDS n])
# A libFuzzer target (only with PELVOK_FUZZ). ctest replays every input kept
# under tests/fuzz/NAME (corpus/ and crashes/), then fuzzes for SECONDS more.
function(pelvok_add_fuzzer name)
  if(NOT PELVOK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "SOURCE;SECONDS" "LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 5)
  endif()
  add_executable(${name} ${ARG_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(kept ${PROJECT_SOURCE_DIR}/tests/fuzz/${name})
  add_test(NAME ${name}.replay
    COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DKEPT=${kept}
            -P ${PROJECT_SOURCE_DIR}/cmake/ReplayFuzzInputs.cmake)
  add_test(NAME ${name}.fuzz
    COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DKEPT=${kept}
            -DSECONDS=${ARG_SECONDS} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/${name}-work
            -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(${name}.replay ${name}.fuzz PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
