# Builds the sample plug-in on its own against the installed package, lays it
# beside a copy of the demo and runs the demo with it.  Given a second library
# build (OTHER_*, the other Qt version), both are installed into one prefix and
# the plug-in is built against each package and run in the matching demo.
#   -DBUILD_DIR -DDEMO -DQT_MAJOR [-DOTHER_BUILD_DIR -DOTHER_DEMO -DOTHER_QT_MAJOR]
#   -DPROJECT_DIR -DWORK_DIR -DFLAGS -DBUILD_SCRIPT
cmake_minimum_required(VERSION 3.19)

file(REMOVE_RECURSE ${WORK_DIR})
set(runs "${QT_MAJOR}|${BUILD_DIR}|${DEMO}")
set(shared_prefix "")
if(OTHER_BUILD_DIR)
    list(APPEND runs "${OTHER_QT_MAJOR}|${OTHER_BUILD_DIR}|${OTHER_DEMO}")
    set(shared_prefix ${WORK_DIR}/prefix)
endif()

foreach(run IN LISTS runs)
    string(REPLACE "|" ";" run "${run}")
    list(GET run 0 major)
    list(GET run 1 tree)
    list(GET run 2 demo)
    set(work ${WORK_DIR}/qt${major})
    set(others ${BUILD_DIR} ${OTHER_BUILD_DIR})
    list(REMOVE_ITEM others ${tree})

    execute_process(COMMAND ${CMAKE_COMMAND}
            -DBUILD_DIR=${tree} -DPROJECT_DIR=${PROJECT_DIR} -DWORK_DIR=${work}
            -DQT_MAJOR=${major} -DPREFIX=${shared_prefix} "-DALSO_INSTALL=${others}"
            -DFLAGS=${FLAGS} -P ${BUILD_SCRIPT}
        COMMAND_ERROR_IS_FATAL ANY)

    set(app ${work}/app)
    file(MAKE_DIRECTORY ${app}/plugins)
    file(COPY ${demo} DESTINATION ${app})
    file(GLOB plugin ${work}/build/libsample-plugin.so)
    if(NOT plugin)
        message(FATAL_ERROR "the out-of-tree build made no libsample-plugin.so (Qt ${major})")
    endif()
    file(COPY ${plugin} DESTINATION ${app}/plugins)

    get_filename_component(demo_name ${demo} NAME)
    execute_process(COMMAND ${app}/${demo_name} --report ${work}/report.odt --settings ${work}/settings.ini
        WORKING_DIRECTORY ${work}
        OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 120)
    message("Qt ${major}: ${output}${errors}")
    if(NOT result EQUAL 0 OR NOT output MATCHES "plug-ins: 1 loaded" OR NOT output MATCHES "\ndone")
        message(FATAL_ERROR "the Qt ${major} demo did not run to its end with the out-of-tree plug-in (${result})")
    endif()
endforeach()
