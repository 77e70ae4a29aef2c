# Runs Doxygen and fails when it wrote any warning.
#   cmake -DDOXYGEN=... -DDOXYFILE=... -DWARN_LOG=... -P check-warnings.cmake
file(REMOVE ${WARN_LOG})
execute_process(COMMAND ${DOXYGEN} ${DOXYFILE} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "doxygen failed with exit code ${rc}")
endif()
file(READ ${WARN_LOG} warnings)
if(NOT warnings STREQUAL "")
    message(FATAL_ERROR "doxygen warnings:\n${warnings}")
endif()
