# Installs the build tree into a private prefix, then configures and builds a
# project against it with find_package(ConfiguratorCommon), as a plug-in author
# does, and optionally runs one of its programs.
#   -DBUILD_DIR=<library build tree> -DPROJECT_DIR=<consumer sources>
#   -DWORK_DIR=<scratch> [-DRUN=<program name>] [-DFLAGS=<compiler flags>]
cmake_minimum_required(VERSION 3.19)

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)

foreach(file
        lib/libconfigurator-common.so
        lib/cmake/ConfiguratorCommon/ConfiguratorCommonConfig.cmake
        lib/cmake/ConfiguratorCommon/ConfiguratorCommonConfigVersion.cmake
        lib/pkgconfig/configurator-common.pc
        include/configurator-common/connection.h)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "installed package lacks ${file}")
    endif()
endforeach()

# The installed tree must not point back into the source or build tree.
file(GLOB_RECURSE installed_files ${prefix}/lib/cmake/* ${prefix}/lib/pkgconfig/*)
foreach(file IN LISTS installed_files)
    file(READ ${file} text)
    string(FIND "${text}" "${BUILD_DIR}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "${file} refers to the build tree")
    endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${build}
        -DCMAKE_PREFIX_PATH=${prefix}
        "-DCMAKE_CXX_FLAGS=${FLAGS}"
        "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
        "-DCMAKE_SHARED_LINKER_FLAGS=${FLAGS}"
    COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} -j2
    COMMAND_ERROR_IS_FATAL ANY)

if(RUN)
    execute_process(COMMAND ${build}/${RUN}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${RUN} failed: ${result}")
    endif()
endif()
