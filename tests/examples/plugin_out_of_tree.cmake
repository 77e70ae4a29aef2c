# Builds the sample plug-in on its own against the installed package, lays it
# beside a copy of the demo and runs the demo with it.
cmake_minimum_required(VERSION 3.19)

execute_process(COMMAND ${CMAKE_COMMAND}
        -DBUILD_DIR=${BUILD_DIR} -DPROJECT_DIR=${PROJECT_DIR} -DWORK_DIR=${WORK_DIR}
        -DFLAGS=${FLAGS} -P ${BUILD_SCRIPT}
    COMMAND_ERROR_IS_FATAL ANY)

set(app ${WORK_DIR}/app)
file(MAKE_DIRECTORY ${app}/plugins)
file(COPY ${DEMO} DESTINATION ${app})
file(GLOB plugin ${WORK_DIR}/build/libsample-plugin.so)
if(NOT plugin)
    message(FATAL_ERROR "the out-of-tree build made no libsample-plugin.so")
endif()
file(COPY ${plugin} DESTINATION ${app}/plugins)

get_filename_component(demo_name ${DEMO} NAME)
execute_process(COMMAND ${app}/${demo_name} --report ${WORK_DIR}/report.odt --settings ${WORK_DIR}/settings.ini
    WORKING_DIRECTORY ${WORK_DIR}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 120)
message("${output}${errors}")
if(NOT result EQUAL 0 OR NOT output MATCHES "plug-ins: 1 loaded" OR NOT output MATCHES "\ndone")
    message(FATAL_ERROR "the demo did not run to its end with the out-of-tree plug-in (${result})")
endif()
