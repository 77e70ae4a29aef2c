# Runs one fuzz target the same way every time, so that a commit passes or
# fails for good: first every committed corpus input once, then a fixed
# number of mutations from a fixed seed.  New inputs go to a scratch folder
# that is emptied first, never into the committed corpus.
#   cmake -DFUZZER=exe -DCORPUS=dir -DWORK=dir -DRUNS=n -P run_fuzzer.cmake
file(GLOB inputs LIST_DIRECTORIES false "${CORPUS}/*")
list(SORT inputs)
set(common -timeout=10 -rss_limit_mb=2048)
execute_process(COMMAND ${FUZZER} ${common} -runs=1 ${inputs} RESULT_VARIABLE replay)
if(NOT replay EQUAL 0)
    message(FATAL_ERROR "${FUZZER}: a corpus input failed (exit ${replay})")
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND ${FUZZER} ${common} -seed=1 -runs=${RUNS} -print_final_stats=1
                        ${WORK} ${CORPUS}
                RESULT_VARIABLE fuzzed)
if(NOT fuzzed EQUAL 0)
    message(FATAL_ERROR "${FUZZER}: failed with seed 1 within ${RUNS} runs (exit ${fuzzed})")
endif()
