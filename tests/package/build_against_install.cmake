# Installs the build tree into a private prefix, then configures and builds a
# project against it with find_package(ConfiguratorCommon) (ConfiguratorCommonQt6
# for a Qt 6 build), as a plug-in author does, and optionally runs one of its
# programs.
#   -DBUILD_DIR=<library build tree> -DPROJECT_DIR=<consumer sources>
#   -DWORK_DIR=<scratch> [-DRUN=<program name>] [-DFLAGS=<compiler flags>]
#   [-DQT_MAJOR=5|6] [-DPREFIX=<prefix shared with other builds>]
#   [-DALSO_INSTALL=<other build trees installed into the same prefix first>]
cmake_minimum_required(VERSION 3.19)

if(NOT QT_MAJOR)
    set(QT_MAJOR 5)
endif()
if(QT_MAJOR EQUAL 6)
    set(name configurator-common-qt6)
    set(package ConfiguratorCommonQt6)
    set(include_root include/configurator-common-qt6)
else()
    set(name configurator-common)
    set(package ConfiguratorCommon)
    set(include_root include)
endif()

set(build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT PREFIX)
    set(PREFIX ${WORK_DIR}/prefix)
endif()
set(prefix ${PREFIX})

foreach(tree IN LISTS ALSO_INSTALL BUILD_DIR)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${tree} --prefix ${prefix}
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
endforeach()

foreach(file
        lib/lib${name}.so
        lib/cmake/${package}/${package}Config.cmake
        lib/cmake/${package}/${package}ConfigVersion.cmake
        lib/pkgconfig/${name}.pc
        ${include_root}/configurator-common/connection.h)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "installed package lacks ${file}")
    endif()
endforeach()

# The installed tree must not point back into the source or build tree.
file(GLOB_RECURSE installed_files ${prefix}/lib/cmake/* ${prefix}/lib/pkgconfig/*)
foreach(file IN LISTS installed_files)
    file(READ ${file} text)
    foreach(tree IN LISTS ALSO_INSTALL BUILD_DIR)
        string(FIND "${text}" "${tree}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "${file} refers to the build tree ${tree}")
        endif()
    endforeach()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${build}
        -DCMAKE_PREFIX_PATH=${prefix}
        -DCC_QT_MAJOR=${QT_MAJOR}
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
