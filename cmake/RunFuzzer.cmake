# Fuzzes for a bounded time, starting from the kept corpus; new inputs go to a scratch
# folder of the build, so a test run never changes the source tree.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
set(seeds "")
if(EXISTS ${KEPT}/corpus)
  set(seeds ${KEPT}/corpus)
endif()
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
                        -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus ${seeds}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  string(LENGTH "${err}" n)
  if(n GREATER 6000)
    math(EXPR start "${n} - 6000")
    string(SUBSTRING "${err}" ${start} 6000 err)
  endif()
  message(FATAL_ERROR "fuzzer failed (${rc}); the input is under ${WORK}/artifacts\n${err}")
endif()
