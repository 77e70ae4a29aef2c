cc_add_sources(
    PUBLIC_HEADERS zipreader.h zipwriter.h
    PRIVATE_HEADERS ziparchivedata_p.h
    SOURCES ziparchivedata.cpp zipreader.cpp zipwriter.cpp)

# The reader checks entries with the library's own CRC-32 functions.  They live
# in the encoding folder; a build without that part compiles them in here, into
# the same library.
set(CC_CRC32_DIR ${CMAKE_CURRENT_SOURCE_DIR}/../encoding)
target_include_directories(configurator-common PRIVATE ${CC_CRC32_DIR})
if(NOT "encoding" IN_LIST CC_PARTS)
    target_sources(configurator-common PRIVATE ${CC_CRC32_DIR}/crc32.cpp)
endif()
