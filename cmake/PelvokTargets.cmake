# Helpers that keep the per-folder CMakeLists short.

# pelvok_add_library(NAME DEPS dep...)
# A static library of every .cpp in the calling folder.
function(pelvok_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# pelvok_add_gtest(NAME SOURCES src... LIBS lib... [LABELS label...])
# One GoogleTest executable whose tests ctest lists one by one.
function(pelvok_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
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
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
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
