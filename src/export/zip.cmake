cc_add_sources(
    PUBLIC_HEADERS zipwriter.h
    PRIVATE_HEADERS ziparchivedata_p.h
    SOURCES ziparchivedata.cpp zipwriter.cpp)
