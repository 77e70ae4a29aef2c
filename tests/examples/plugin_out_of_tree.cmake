# Installs the library with its host, builds a second plug-in against the
# installed package only and runs the installed host with it against the
# plug-in's own instrument (hygrometer.py); with the sample installed beside
# it, --factory picks either.
cmake_minimum_required(VERSION 3.19)

execute_process(COMMAND ${CMAKE_COMMAND}
        -DBUILD_DIR=${BUILD_DIR} -DPROJECT_DIR=${PROJECT_DIR} -DWORK_DIR=${WORK_DIR}
        -DFLAGS=${FLAGS} -P ${BUILD_SCRIPT}
    COMMAND_ERROR_IS_FATAL ANY)

set(bin ${WORK_DIR}/prefix/bin)
foreach(file configurator-demo device-simulator plugins/libsample-plugin.so)
    if(NOT EXISTS ${bin}/${file})
        message(FATAL_ERROR "the installed tree lacks bin/${file}")
    endif()
endforeach()
file(RENAME ${bin}/plugins/libsample-plugin.so ${WORK_DIR}/libsample-plugin.so)
file(COPY ${WORK_DIR}/build/libhygrometer-plugin.so DESTINATION ${bin}/plugins)

# run(<name> <expected exit status> <pattern> args...)
function(run name expected pattern)
    execute_process(COMMAND python3 ${INSTRUMENT} ${bin}/configurator-demo ${ARGN}
            --report ${WORK_DIR}/${name}.odt --settings ${WORK_DIR}/${name}.ini
        WORKING_DIRECTORY ${WORK_DIR} OUTPUT_VARIABLE output RESULT_VARIABLE result TIMEOUT 180)
    message("-- ${name}:\n${output}")
    if(NOT result EQUAL expected OR NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "${name}: exit status ${result}, expected ${expected} and output matching ${pattern}")
    endif()
endfunction()

set(hygrometer --address 127.0.0.1 --port @PORT@)
run(alone 0 "factory \"Test hygrometer\".*  model: HG-2\n.*  serial: HG-7731\n.*\nreport: .*\ndone\n" ${hygrometer})
file(READ ${WORK_DIR}/alone.ini settings)
if(NOT settings MATCHES "serial=HG-7731" OR NOT settings MATCHES "port=[0-9]+" OR NOT EXISTS ${WORK_DIR}/alone.odt)
    message(FATAL_ERROR "the host wrote no settings or no report for the hygrometer:\n${settings}")
endif()

file(RENAME ${WORK_DIR}/libsample-plugin.so ${bin}/plugins/libsample-plugin.so)
run(both 3 "2 device factories are loaded; choose one with --factory NAME or --factory")
run(by-name 0 "plug-ins: 2 loaded, factory \"Test hygrometer\".*  serial: HG-7731\n.*\ndone\n"
    --factory "test hygrometer" ${hygrometer})
run(by-uuid 0 "factory \"Sample instrument\".*  serial: VX-.*\ndone\n"
    --factory "{6f1c8a52-3d7e-4b19-9a40-2f5e8c1d7b63}")
