# Installs the library with its host, builds a second plug-in against the
# installed package only and runs the installed host with it against the
# plug-in's own instrument (hygrometer.py); then builds the sample plug-in on
# its own against the same package, lays it beside the second one, and
# --factory picks either.  Given the build tree of the other Qt version
# (OTHER_BUILD_DIR), both builds are installed into one prefix and each
# package goes through the same steps with its own host (the Qt 6 build's
# programs are installed in bin/qt6).
#   -DBUILD_DIR -DQT_MAJOR [-DOTHER_BUILD_DIR -DOTHER_QT_MAJOR]
#   -DPROJECT_DIR -DSAMPLE_DIR -DINSTRUMENT -DWORK_DIR -DFLAGS -DBUILD_SCRIPT
cmake_minimum_required(VERSION 3.21)

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
set(builds "${QT_MAJOR}|${BUILD_DIR}")
if(OTHER_BUILD_DIR)
    list(APPEND builds "${OTHER_QT_MAJOR}|${OTHER_BUILD_DIR}")
endif()

# run(<name> <expected exit status> <pattern> args...)
function(run name expected pattern)
    execute_process(COMMAND python3 ${INSTRUMENT} ${bin}/configurator-demo ${ARGN}
            --report ${work}/${name}.odt --settings ${work}/${name}.ini
        WORKING_DIRECTORY ${work} OUTPUT_VARIABLE output RESULT_VARIABLE result TIMEOUT 180)
    message("-- Qt ${major}, ${name}:\n${output}")
    if(NOT result EQUAL expected OR NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "Qt ${major}, ${name}: exit status ${result}, expected ${expected} and output matching ${pattern}")
    endif()
endfunction()

foreach(entry IN LISTS builds)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 major)
    list(GET entry 1 tree)
    set(others ${BUILD_DIR} ${OTHER_BUILD_DIR})
    list(REMOVE_ITEM others ${tree})
    set(work ${WORK_DIR}/qt${major})
    execute_process(COMMAND ${CMAKE_COMMAND}
            -DBUILD_DIR=${tree} -DPROJECT_DIR=${PROJECT_DIR} -DWORK_DIR=${work}
            -DQT_MAJOR=${major} -DPREFIX=${prefix} "-DALSO_INSTALL=${others}"
            -DFLAGS=${FLAGS} -P ${BUILD_SCRIPT}
        COMMAND_ERROR_IS_FATAL ANY)
    if(major EQUAL 6)
        set(bin ${prefix}/bin/qt6)
    else()
        set(bin ${prefix}/bin)
    endif()

    foreach(file configurator-demo device-simulator plugins/libsample-plugin.so)
        if(NOT EXISTS ${bin}/${file})
            message(FATAL_ERROR "the installed tree lacks ${bin}/${file}")
        endif()
    endforeach()
    file(REMOVE ${bin}/plugins/libsample-plugin.so)
    file(COPY ${work}/build/libhygrometer-plugin.so DESTINATION ${bin}/plugins)

    set(hygrometer --address 127.0.0.1 --port @PORT@)
    run(alone 0 "factory \"Test hygrometer\".*  model: HG-2\n.*  serial: HG-7731\n.*\nreport: .*\ndone\n" ${hygrometer})
    file(READ ${work}/alone.ini settings)
    if(NOT settings MATCHES "serial=HG-7731" OR NOT settings MATCHES "port=[0-9]+" OR NOT EXISTS ${work}/alone.odt)
        message(FATAL_ERROR "the host wrote no settings or no report for the hygrometer:\n${settings}")
    endif()

    # The sample as a plug-in author builds it: out of tree, against this
    # package only; it takes the place of the installed one.
    set(sample ${work}/sample-build)
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SAMPLE_DIR} -B ${sample}
            -DCMAKE_PREFIX_PATH=${prefix} -DCC_QT_MAJOR=${major} "-DCMAKE_CXX_FLAGS=${FLAGS}"
            "-DCMAKE_MODULE_LINKER_FLAGS=${FLAGS}" "-DCMAKE_SHARED_LINKER_FLAGS=${FLAGS}"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${sample} -j2 COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
    file(COPY_FILE ${sample}/libsample-plugin.so ${bin}/plugins/libsample-plugin.so)
    run(both 3 "2 device factories are loaded; choose one with --factory NAME or --factory")
    run(by-name 0 "plug-ins: 2 loaded, factory \"Test hygrometer\".*  serial: HG-7731\n.*\ndone\n"
        --factory "test hygrometer" ${hygrometer})
    run(by-uuid 0 "factory \"Sample instrument\".*  serial: VX-.*\ndone\n"
        --factory "{6f1c8a52-3d7e-4b19-9a40-2f5e8c1d7b63}")
endforeach()
